// Decoding a cached frame file, or a conditions picture in memory: hostile GIF and JPEG
// files, including headers that declare huge pictures. A picture that decodes must stay
// within the limit, a GIF decoded straight to 8 bits must equal Qt's reading of it, and the
// indexed form must keep every pixel.
#include "FuzzSupport.h"

#include "pictures/FramePicture.h"
#include "support/Error.h"

#include <QGuiApplication>

using namespace nimbuscope;

namespace {

constexpr qint64 kBytesPerMB = 1024 * 1024;

QImage straight(const QImage& picture) {
    return picture.convertToFormat(picture.hasAlphaChannel() ? QImage::Format_ARGB32
                                                             : QImage::Format_RGB32);
}

bool isJpeg(const QByteArray& bytes) {
    return bytes.startsWith("\xff\xd8");
}

/// A GIF decoded straight to 8 bits must show exactly what Qt's reader shows.
bool sameAsQtReader(const QImage& indexed, const QByteArray& bytes) {
    const QImage expected = decodeWithQtReader(bytes);
    return !expected.isNull() && !expected.hasAlphaChannel() && !indexed.hasAlphaChannel() &&
           indexed.convertToFormat(QImage::Format_ARGB32) ==
               expected.convertToFormat(QImage::Format_ARGB32);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // The picture readers are plugins, found through the application as in the saver.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    // The readers warn about every damaged input; millions of lines would bury a finding.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QString path =
        fuzz::scratchFolder() + QStringLiteral("/66604.DS.p19r0.frame.noaa");
    const QByteArray bytes = fuzz::bytesOf(data, size);
    fuzz::writeScratchFile(path, bytes);
    // The conditions picture is decoded from memory: the same bytes, the same answer.
    const QImage fromMemory = decodePicture(bytes);
    QImage picture;
    try {
        picture = loadFramePicture(path);
    } catch (const Error& e) {
        if (e.number() != kInvalidPictureError || !fromMemory.isNull()) {
            abort();
        }
        return 0;
    }
    // Qt hands libjpeg a JPEG held in memory whole and one in a file in chunks, and a damaged
    // one decodes to different garbage either way; any other picture must match exactly.
    if (fromMemory.size() != picture.size() || (fromMemory != picture && !isJpeg(bytes))) {
        abort();
    }
    if (picture.sizeInBytes() > kPictureAllocationLimitMB * kBytesPerMB) {
        abort();
    }
    if (picture.format() == QImage::Format_Indexed8 && !sameAsQtReader(picture, bytes)) {
        abort();
    }
    const QImage indexed = toIndexed8IfFewColours(picture);
    if (indexed.format() == QImage::Format_Indexed8 && straight(indexed) != straight(picture)) {
        abort();
    }
    return 0;
}
