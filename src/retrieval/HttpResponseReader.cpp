#include "retrieval/HttpResponseReader.h"

namespace nimbuscope {

namespace {

constexpr int kNoContent = 204;
constexpr int kNotModified = 304;
constexpr int kSwitchingProtocols = 101;
constexpr int kFirstFinalStatus = 200;
// More hexadecimal digits than this cannot be a chunk the cap lets through.
constexpr qsizetype kMaxChunkSizeDigits = 15;

QByteArrayView withoutLineEnd(QByteArrayView line) {
    if (line.endsWith('\n')) {
        line.chop(1);
    }
    if (line.endsWith('\r')) {
        line.chop(1);
    }
    return line;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// "HTTP/1.x NNN reason": the status code, or 0 for anything else.
int statusOf(QByteArrayView line) {
    if (line.size() < 12 || !line.startsWith("HTTP/1.") || line[8] != ' ' ||
        (line.size() > 12 && line[12] != ' ')) {
        return 0;
    }
    int code = 0;
    for (qsizetype i = 9; i < 12; ++i) {
        if (line[i] < '0' || line[i] > '9') {
            return 0;
        }
        code = code * 10 + (line[i] - '0');
    }
    return code >= 100 ? code : 0;
}

bool isToken(QByteArrayView name) {
    if (name.isEmpty()) {
        return false;
    }
    for (const char c : name) {
        if (c <= ' ' || c >= 0x7f || c == ':') {
            return false;
        }
    }
    return true;
}

// The size of a chunk-size line ("1a3;ext=x"), or -1 when it is not one.
qint64 chunkSizeOf(QByteArrayView line) {
    const qsizetype semicolon = line.indexOf(';');
    QByteArrayView digits = (semicolon >= 0 ? line.first(semicolon) : line).trimmed();
    if (digits.isEmpty() || digits.size() > kMaxChunkSizeDigits) {
        return -1;
    }
    bool ok = false;
    const qint64 size = digits.toByteArray().toLongLong(&ok, 16);
    return ok && size >= 0 ? size : -1;
}

} // namespace

QByteArray HttpResponseReader::header(QByteArrayView name) const {
    for (const auto& [key, value] : headers_) {
        if (key.compare(name, Qt::CaseInsensitive) == 0) {
            return value;
        }
    }
    return {};
}

void HttpResponseReader::feed(QByteArrayView bytes) {
    received_ += bytes.size();
    while (!bytes.isEmpty() && (state_ == State::Head || state_ == State::Body)) {
        if (state_ == State::Head) {
            feedHead(bytes);
        } else {
            feedBody(bytes);
        }
    }
}

void HttpResponseReader::closed() {
    if (state_ == State::Body && framing_ == Framing::UntilClose) {
        state_ = State::Complete;
    } else if (state_ == State::Head || state_ == State::Body) {
        fail(Failure::Truncated);
    }
}

void HttpResponseReader::feedHead(QByteArrayView& bytes) {
    // Blank lines before a status line are passed over, as HTTP allows.
    while (head_.isEmpty() && !bytes.isEmpty() &&
           (bytes.front() == '\r' || bytes.front() == '\n')) {
        bytes = bytes.sliced(1);
        ++headBytes_;
    }
    const qsizetype room = kMaxHeadBytes - headBytes_;
    const qsizetype oldSize = head_.size();
    const qsizetype take = qMin(bytes.size(), room - oldSize + 1);
    head_.append(bytes.first(qMax<qsizetype>(take, 0)));
    // The head ends with an empty line: a line feed followed by another, or by CR LF.
    qsizetype end = -1;
    for (qsizetype lf = head_.indexOf('\n', qMax<qsizetype>(oldSize - 3, 0)); lf >= 0 && end < 0;
         lf = head_.indexOf('\n', lf + 1)) {
        if (lf + 1 < head_.size() && head_[lf + 1] == '\n') {
            end = lf + 2;
        } else if (lf + 2 < head_.size() && head_[lf + 1] == '\r' && head_[lf + 2] == '\n') {
            end = lf + 3;
        }
    }
    if (end < 0) {
        if (head_.size() > room) {
            fail(Failure::HeadTooLarge);
        }
        bytes = bytes.sliced(qMin(bytes.size(), qMax<qsizetype>(take, 0)));
        return;
    }
    bytes = bytes.sliced(qMax<qsizetype>(end - oldSize, 0));
    headBytes_ += end;
    head_.truncate(end);
    const QByteArray head = std::exchange(head_, {});
    if (!parseHead(head)) {
        return;
    }
    if (statusCode_ < kFirstFinalStatus) {
        // An informational answer comes before the real one, which follows.
        if (statusCode_ == kSwitchingProtocols) {
            fail(Failure::Invalid);
        }
        headers_.clear();
        return;
    }
    startBody();
}

bool HttpResponseReader::parseHead(QByteArrayView head) {
    qsizetype start = 0;
    bool first = true;
    while (start < head.size()) {
        const qsizetype lf = head.indexOf('\n', start);
        const QByteArrayView line = withoutLineEnd(head.sliced(start, lf + 1 - start));
        start = lf + 1;
        if (first) {
            statusCode_ = statusOf(line);
            first = false;
            if (statusCode_ == 0) {
                fail(Failure::Invalid);
                return false;
            }
        } else if (line.isEmpty()) {
            break;
        } else if (isBlank(line.front())) {
            // An old-style continuation of the field before it.
            if (headers_.isEmpty()) {
                fail(Failure::Invalid);
                return false;
            }
            headers_.last().second += ' ' + line.trimmed().toByteArray();
        } else {
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0 || !isToken(line.first(colon))) {
                fail(Failure::Invalid);
                return false;
            }
            if (headers_.size() >= kMaxHeaderFields) {
                fail(Failure::HeadTooLarge);
                return false;
            }
            headers_.append(
                {line.first(colon).toByteArray(), line.sliced(colon + 1).trimmed().toByteArray()});
        }
    }
    return true;
}

void HttpResponseReader::startBody() {
    state_ = State::Body;
    if (statusCode_ == kNoContent || statusCode_ == kNotModified) {
        state_ = State::Complete;
        return;
    }
    const QByteArray coding = header("Transfer-Encoding");
    if (!coding.isEmpty()) {
        // Chunked when it is the last coding; any other coding runs until the close.
        framing_ =
            coding.toLower().trimmed().endsWith("chunked") ? Framing::Chunked : Framing::UntilClose;
        return;
    }
    qint64 length = -1;
    for (const auto& [key, value] : headers_) {
        if (key.compare("Content-Length", Qt::CaseInsensitive) != 0) {
            continue;
        }
        bool ok = false;
        const qint64 given = value.toLongLong(&ok);
        if (!ok || given < 0 || (length >= 0 && given != length)) {
            fail(Failure::Invalid);
            return;
        }
        length = given;
    }
    if (length < 0) {
        framing_ = Framing::UntilClose;
    } else if (length > bodyCap_) {
        fail(Failure::BodyTooLarge);
    } else if (length == 0) {
        state_ = State::Complete;
    } else {
        framing_ = Framing::Length;
        remaining_ = length;
    }
}

void HttpResponseReader::feedBody(QByteArrayView& bytes) {
    switch (framing_) {
    case Framing::Length: {
        const qsizetype n = qsizetype(qMin<qint64>(bytes.size(), remaining_));
        appendBody(bytes.first(n));
        bytes = bytes.sliced(n);
        remaining_ -= n;
        if (remaining_ == 0 && state_ == State::Body) {
            state_ = State::Complete;
        }
        return;
    }
    case Framing::Chunked:
        feedChunked(bytes);
        return;
    case Framing::UntilClose:
    case Framing::None:
        appendBody(bytes);
        bytes = {};
        return;
    }
}

void HttpResponseReader::feedChunked(QByteArrayView& bytes) {
    while (!bytes.isEmpty() && state_ == State::Body) {
        if (chunkPart_ == ChunkPart::Data) {
            const qsizetype n = qsizetype(qMin<qint64>(bytes.size(), remaining_));
            appendBody(bytes.first(n));
            bytes = bytes.sliced(n);
            remaining_ -= n;
            chunkPart_ = remaining_ == 0 ? ChunkPart::DataEnd : ChunkPart::Data;
            continue;
        }
        const bool trailer = chunkPart_ == ChunkPart::Trailer;
        const qsizetype limit = chunkPart_ == ChunkPart::Size ? kMaxChunkLine
                                : trailer                     ? kMaxHeadBytes - headBytes_
                                                              : 0;
        if (!takeLine(bytes, limit, trailer ? Failure::HeadTooLarge : Failure::Invalid)) {
            return;
        }
        const QByteArray line = withoutLineEnd(std::exchange(line_, {})).toByteArray();
        if (chunkPart_ == ChunkPart::Size) {
            const qint64 size = chunkSizeOf(line);
            if (size < 0) {
                fail(Failure::Invalid);
            } else if (body_.size() + size > bodyCap_) {
                fail(Failure::BodyTooLarge);
            } else {
                remaining_ = size;
                chunkPart_ = size == 0 ? ChunkPart::Trailer : ChunkPart::Data;
            }
        } else if (chunkPart_ == ChunkPart::DataEnd) {
            if (!line.isEmpty()) {
                fail(Failure::Invalid);
            }
            chunkPart_ = ChunkPart::Size;
        } else {
            headBytes_ += line.size() + 2;
            if (line.isEmpty()) {
                state_ = State::Complete;
            }
        }
    }
}

bool HttpResponseReader::takeLine(QByteArrayView& bytes, qsizetype limit, Failure failure) {
    const qsizetype lf = bytes.indexOf('\n');
    const qsizetype n = lf < 0 ? bytes.size() : lf + 1;
    if (line_.size() + n > limit + 2) { // the limit counts the line without its CR LF
        fail(failure);
        return false;
    }
    line_.append(bytes.first(n));
    bytes = bytes.sliced(n);
    return lf >= 0;
}

void HttpResponseReader::appendBody(QByteArrayView bytes) {
    if (body_.size() + bytes.size() > bodyCap_) {
        fail(Failure::BodyTooLarge);
        return;
    }
    body_.append(bytes);
}

void HttpResponseReader::fail(Failure failure) {
    state_ = State::Failed;
    failure_ = failure;
    body_.clear();
    head_.clear();
    line_.clear();
}

} // namespace nimbuscope
