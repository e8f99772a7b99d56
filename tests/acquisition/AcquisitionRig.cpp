#include "AcquisitionRig.h"

#include "common/RegistryValue.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImage>

namespace nimbuscope::test {

namespace {

QByteArray encoded(const QImage& picture, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, format);
    return bytes;
}

} // namespace

AcquisitionRig::AcquisitionRig()
    : settings(registry, platform, log), sys(platform, log, clock), list(log) {
    dataDir_ = world.tmp() + QStringLiteral("/Nimbuscope/tmp-tester/data/");
    QDir().mkpath(dataDir_);
    dataFolder_ = FolderHandle::open(dataDir_);
    settings.loadRegistryValues();
    settings.saveZipCode(QString::fromLatin1(kZip));

    window.resize(1024, 768);
    progress = std::make_unique<MyProgress>(&window, log);
    controls.window = &window;
    controls.currentConditionsPictureBox = new PictureBox(&window, true);
    for (QLabel** l :
         {&controls.ItemCaption, &controls.ImageInfo, &controls.ImageDate, &controls.currentTime,
          &controls.currentTempF, &controls.currentConditions, &controls.CurrentRadarTimes,
          &controls.currentRadarTimesLabel, &controls.DownloadInfo,
          &controls.DownloadInfoChannelName, &controls.NetworkProblem, &controls.NetworkProblem2,
          &controls.retryCount, &controls.RadarImagesMissing, &controls.EscToChange}) {
        *l = new QLabel(QStringLiteral("design caption"), &window);
    }
    controls.progress = progress.get();
    controls.Timer1 = &Timer1;
    controls.TimeOfDay = &TimeOfDay;
    controls.AsyncDownloadTimer = &AsyncDownloadTimer;
    controls.Win9xPwdDismiss = &Win9xPwdDismiss;
    state.screenWidth = 1024;
    state.screenHeight = 768;
    state.zipcode = QString::fromLatin1(kZip);
    state.nimbuscopeTmp = world.tmp() + QStringLiteral("/Nimbuscope/tmp-tester");
    window.show();

    auto fake = std::make_unique<FakeRetriever>();
    net = fake.get();
    myHTTPRetrieve.reset(std::move(fake));
    ada = std::make_unique<AcquireDataAsync>(AcquisitionServices{
        report, state, list, settings, log, clock, sys, myHTTPRetrieve,
        [this](bool skipCleanup) {
            ++endCalls;
            endSkipCleanup = skipCleanup;
            throw ProgramEnded{};
        },
        [] {},
        [this](const QString& dir) { return dir == dataDir_ ? dataFolder_ : nullptr; },
        [this](QIODevice& device, const QByteArray& bytes) {
            return writeBody ? writeBody(device, bytes) : device.write(bytes);
        }});
}

QString AcquisitionRig::conditionsImageURL() {
    return QStringLiteral("http://forecast.weather.gov/images/wtf/ovc.jpg");
}
QString AcquisitionRig::listURL(const QString& product) {
    return QStringLiteral("http://radar.weather.gov/radar/loopdata/") + product +
           QStringLiteral("/ktwx.txt");
}
QString AcquisitionRig::frameURL(const QString& product, const QString& gifName,
                                 const QString& host) {
    return QStringLiteral("http://") + host + QStringLiteral("/radar/images/") + product +
           QStringLiteral("/SI.ktwx/") + gifName;
}

bool AcquisitionRig::exists(const QString& name) const {
    return QFileInfo(cached(name)).isFile();
}

void AcquisitionRig::setNumberSetting(const char* valueName, qint32 value) {
    storeRegistryValue(registry, HKEY_LOCAL_MACHINE, QLatin1String(RegistryValues::kProductKey),
                       QLatin1String(valueName), value);
    settings.loadRegistryValues();
}

bool AcquisitionRig::startPass(bool refreshLocation, const QString& zipcode) {
    list.initDisplayList(false, state.preloadImages);
    return ada->getWeatherRadar(state.zipcode, data(), refreshLocation, zipcode);
}

void AcquisitionRig::runTicks() {
    for (int i = 0; i < 3000 && AsyncDownloadTimer.isEnabled(); ++i) {
        clock.advanceMs(100);
        ada->AsyncDownloadManager();
    }
}

void AcquisitionRig::serveLocation() {
    const QString page = QStringLiteral("http://forecast.weather.gov/MapClick.php?zoneid=KSZ040");
    const QByteArray bytes = fixtureBytes(QStringLiteral("absolute_radar_link.html"));
    net->serve(QStringLiteral("http://forecast.weather.gov/zipcity.php?inputstring=66604"),
               {{FakeRetriever::Running, FakeRetriever::Done}, bytes, page.toLatin1()});
    net->serve(page, bytes);
    net->serve(conditionsImageURL(), conditionsBody());
}

QStringList AcquisitionRig::serveList(const QString& product, int frames, int newestMinute) {
    QStringList out;
    QByteArray text;
    for (int i = frames - 1; i >= 0; --i) {
        const DateTime t = DateTime::fromParts(2026, 12, 5, 21, newestMinute).addMinutes(-5 * i);
        const QString gif = QStringLiteral("ktwx.dd.") +
                            t.toQDateTime().toString(QStringLiteral("yyyyMMdd.HHmm")) +
                            QStringLiteral(".gif");
        out.append(gif);
        text += frameURL(product, gif).toLatin1() + '\n';
    }
    net->serve(listURL(product), text);
    return out;
}

void AcquisitionRig::serveFrames(const QString& product, const QStringList& gifNames) {
    for (const QString& gif : gifNames) {
        net->serve(frameURL(product, gif), frameBody());
    }
}

void AcquisitionRig::serveEverything(int frames) {
    serveLocation();
    serveFrames(kShort, serveList(kShort, frames));
    serveFrames(kLong, serveList(kLong, frames, 35));
}

QByteArray AcquisitionRig::frameBody() {
    // Truecolour noise of 40 colours: it decodes to 32 bits a pixel, and its size passes
    // the radar-unavailable check. The trailing GIF trailer marks the file complete.
    QImage picture(160, 160, QImage::Format_RGB32);
    quint32 seed = 12345;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            seed = seed * 1103515245u + 12345u;
            const int c = int((seed >> 16) % 40);
            picture.setPixel(x, y, qRgb(c * 6, 255 - c * 5, (c * 37) % 256));
        }
    }
    return encoded(picture, "PNG") + ';';
}

QByteArray AcquisitionRig::conditionsBody() {
    QImage picture(30, 30, QImage::Format_RGB32);
    picture.fill(qRgb(80, 120, 200));
    return encoded(picture, "JPEG");
}

} // namespace nimbuscope::test
