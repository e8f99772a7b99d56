// An HTTP response as a server sends it, read by the bounded reader. The first byte sets how
// the rest is cut into pieces (as a connection delivers it); the read must end the same
// whether the bytes come at once or in pieces, and never hold more than its bounds.
#include "FuzzSupport.h"

#include "retrieval/HttpResponseReader.h"

#include <cstdlib>

using namespace nimbuscope;

namespace {

constexpr qsizetype kBodyCap = 4096;

HttpResponseReader read(QByteArrayView bytes, qsizetype piece) {
    HttpResponseReader reader(kBodyCap);
    for (qsizetype at = 0; at < bytes.size(); at += piece) {
        reader.feed(bytes.sliced(at, std::min(piece, bytes.size() - at)));
    }
    reader.closed();
    return reader;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const QByteArray bytes = fuzz::bytesOf(data + 1, size - 1);
    const HttpResponseReader whole = read(bytes, std::max<qsizetype>(1, bytes.size()));
    const HttpResponseReader pieces = read(bytes, 1 + data[0] % 17);
    if (whole.state() == HttpResponseReader::State::Head ||
        whole.state() == HttpResponseReader::State::Body) {
        abort(); // a closed connection always ends the read
    }
    if (whole.body().size() > kBodyCap || pieces.body().size() > kBodyCap) {
        abort();
    }
    if (whole.state() != pieces.state() || whole.failure() != pieces.failure() ||
        whole.statusCode() != pieces.statusCode() || whole.body() != pieces.body()) {
        abort();
    }
    return 0;
}
