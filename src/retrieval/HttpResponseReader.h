#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QPair>

namespace nimbuscope {

/// Reads one HTTP/1.x response from the bytes of its connection, piece by piece as they
/// arrive. The head (status line and header fields) and the body are bounded, so a server
/// can make the read fail but never make it grow past the bounds, whatever it sends.
class HttpResponseReader {
public:
    /// The status line and every header field together, informational heads included.
    static constexpr qsizetype kMaxHeadBytes = 32 * 1024;
    static constexpr int kMaxHeaderFields = 100;
    /// A chunk-size line with its extensions.
    static constexpr qsizetype kMaxChunkLine = 1024;

    enum class State { Head, Body, Complete, Failed };
    enum class Failure {
        None,
        HeadTooLarge, ///< more head bytes or header fields than the bounds allow
        BodyTooLarge, ///< a body (announced or received) over the cap
        Invalid,      ///< not an HTTP/1.x response
        Truncated,    ///< the connection closed before the response was whole
    };

    explicit HttpResponseReader(qsizetype bodyCap) : bodyCap_(bodyCap) {}

    /// Takes the next bytes of the connection; bytes past the end of the response are
    /// ignored. Does nothing once the read is complete or failed.
    void feed(QByteArrayView bytes);
    /// The connection closed: a body delimited by the close is complete, anything else
    /// is cut short.
    void closed();

    State state() const { return state_; }
    Failure failure() const { return failure_; }
    /// The final status code; 0 until a head has been read.
    int statusCode() const { return statusCode_; }
    /// The first value of header `name` (any case), trimmed; empty when absent.
    QByteArray header(QByteArrayView name) const;
    const QByteArray& body() const { return body_; }
    /// Bytes taken so far, heads and framing included.
    qint64 bytesReceived() const { return received_; }

private:
    enum class Framing { None, Length, Chunked, UntilClose };
    enum class ChunkPart { Size, Data, DataEnd, Trailer };

    void feedHead(QByteArrayView& bytes);
    bool parseHead(QByteArrayView head);
    void startBody();
    void feedBody(QByteArrayView& bytes);
    void feedChunked(QByteArrayView& bytes);
    /// Takes bytes up to and including the next line feed into `line_`; true when a whole
    /// line is there. A line longer than `limit` fails the read as `failure`.
    bool takeLine(QByteArrayView& bytes, qsizetype limit, Failure failure);
    void appendBody(QByteArrayView bytes);
    void fail(Failure failure);

    qsizetype bodyCap_;
    State state_ = State::Head;
    Failure failure_ = Failure::None;
    qint64 received_ = 0;

    QByteArray head_;
    qsizetype headBytes_ = 0; // over all heads read, informational ones included
    int statusCode_ = 0;
    QList<QPair<QByteArray, QByteArray>> headers_;

    Framing framing_ = Framing::None;
    qint64 remaining_ = 0; // of the body (Length) or of the chunk (Chunked)
    ChunkPart chunkPart_ = ChunkPart::Size;
    QByteArray line_;
    QByteArray body_;
};

} // namespace nimbuscope
