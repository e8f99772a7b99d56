#include "retrieval/HttpResponseReader.h"

#include <gtest/gtest.h>

using namespace nimbuscope;

// Every answer is read the same whether its bytes come at once or one by one.
TEST(HttpResponseReaderTest, FramingBoundsAndDamage) {
    using Reader = HttpResponseReader;
    using F = Reader::Failure;
    const QByteArray ok = "HTTP/1.1 200 OK\r\n";
    QByteArray manyFields = ok;
    for (int i = 0; i <= Reader::kMaxHeaderFields; ++i) {
        manyFields += "X-" + QByteArray::number(i) + ": v\r\n";
    }
    const struct {
        const char* name;
        QByteArray bytes;
        bool closed;
        F failure;
        QByteArray body;
    } rows[] = {
        {"length", ok + "Content-Length: 5\r\n\r\nhelloEXTRA", false, F::None, "hello"},
        {"bare line feeds", "HTTP/1.0 200 OK\nContent-Length: 2\n\nhi", false, F::None, "hi"},
        {"chunked",
         ok + "Transfer-Encoding: chunked\r\n\r\n5;x=1\r\nhello\r\n1\r\n!\r\n0\r\nT: 1\r\n\r\n",
         false, F::None, "hello!"},
        {"until close", ok + "\r\nbody", true, F::None, "body"},
        {"no content", "HTTP/1.1 204 No Content\r\n\r\n", false, F::None, ""},
        {"informational first", "HTTP/1.1 100 Continue\r\n\r\n" + ok + "Content-Length: 1\r\n\r\nx",
         false, F::None, "x"},
        {"folded field", ok + "A: b\r\n c\r\nContent-Length: 1\r\n\r\nx", false, F::None, "x"},
        {"too many fields", manyFields + "\r\n", false, F::HeadTooLarge, ""},
        {"head never ends", ok + "X: " + QByteArray(Reader::kMaxHeadBytes, 'a'), false,
         F::HeadTooLarge, ""},
        {"announced too long", ok + "Content-Length: 1025\r\n\r\n", false, F::BodyTooLarge, ""},
        {"chunks too long",
         ok + "Transfer-Encoding: chunked\r\n\r\n400\r\n" + QByteArray(1024, 'x') + "\r\n1\r\n",
         false, F::BodyTooLarge, ""},
        {"until close too long", ok + "\r\n" + QByteArray(1025, 'x'), true, F::BodyTooLarge, ""},
        {"not HTTP", "SSH-2.0-OpenSSH\r\n\r\n", false, F::Invalid, ""},
        {"two lengths", ok + "Content-Length: 1\r\nContent-Length: 2\r\n\r\n", false, F::Invalid,
         ""},
        {"bad chunk size", ok + "Transfer-Encoding: chunked\r\n\r\nzz\r\n", false, F::Invalid, ""},
        {"endless chunk line", ok + "Transfer-Encoding: chunked\r\n\r\n" + QByteArray(2000, '1'),
         false, F::Invalid, ""},
        {"cut short", ok + "Content-Length: 10\r\n\r\nhalf", true, F::Truncated, ""},
        {"head cut short", ok + "Content-Le", true, F::Truncated, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        for (const bool byteByByte : {false, true}) {
            Reader reader(1024);
            if (byteByByte) {
                for (const char c : row.bytes) {
                    reader.feed(QByteArrayView(&c, 1));
                }
            } else {
                reader.feed(row.bytes);
            }
            if (row.closed) {
                reader.closed();
            }
            EXPECT_EQ(reader.failure(), row.failure) << byteByByte;
            EXPECT_EQ(reader.state(),
                      row.failure == F::None ? Reader::State::Complete : Reader::State::Failed)
                << byteByByte;
            EXPECT_EQ(reader.body(), row.body) << byteByByte;
        }
    }
}
