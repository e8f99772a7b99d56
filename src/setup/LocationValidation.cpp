// The zip code check of the setup dialog: OK with a new zip code asks the location search,
// the dialog's timer polls the answer, Cancel stops the check or leaves the dialog.

#include "acquisition/LocationPage.h"
#include "bridge/LegacyForms.h"
#include "desktop/Dialogs.h"
#include "retrieval/PageRetriever.h"
#include "settings/RegistryValues.h"
#include "setup/FrmSetup.h"
#include "setup/SetupChoices.h"
#include "support/Error.h"
#include "support/Log.h"
#include "support/StringUtils.h"

#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include <algorithm>

namespace nimbuscope {

namespace {

constexpr qint32 kZipCodeMode = 1;
constexpr char kQueryPath[] = "/zipcity.php?inputstring=";
const QString kNoaaError = QStringLiteral("FrmSetup: zipcode validation returned NOAA error");
const QString kNotResponding = QStringLiteral("ERROR: NOAA website not responding");
const QString kCannotConnect = QStringLiteral("ERROR: Cannot connect to the NOAA website");
constexpr qint32 kMsPerSecond = 1000;
// The whole check may take this many network time-outs: time enough for a slow answer and
// a redirection, not for a page that never ends.
constexpr qint32 kZipcodeCheckTimeouts = 4;

qint32 zipcodeCheckTickLimit(qint32 networkTimeoutSeconds) {
    return std::max(networkTimeoutSeconds, 1) * kZipcodeCheckTimeouts * kMsPerSecond /
           FrmSetup::kTimerZipcodeMs;
}

QString contentErrorMessage() {
    return QStringLiteral("ERROR: NOAA website content error\r\n"
                          "              or possible unsupported proxy environment");
}

QString noRadarMessage() {
    return QStringLiteral("ERROR: No NOAA radar covers this zip code.\r\n"
                          "Choose the nearest radar site under City instead.");
}

} // namespace

void FrmSetup::Ok_Click() {
    trappedVoid(kit_.log, QStringLiteral("Ok_Click"), [&] {
        RegistryValues& s = kit_.settings;
        if (OptionZipCode->isChecked()) {
            s.saveLocationMode(kZipCodeMode);
        }
        const QString zipcode = zipcodeTextBox->text();
        if (zipcode == s.getZipCode()) {
            saveSettings();
            return;
        }
        if (!isFiveDigitZip(zipcode)) {
            kit_.dialogs.messageBox(QStringLiteral("Invalid zipcode - must be five digits"), this);
            return;
        }
        startZipcodeCheck(zipcode);
    });
}

void FrmSetup::startZipcodeCheck(const QString& zipcode) {
    zipcodeCheckTicks_ = 0;
    TimerZipcode.start();
    setControlsEnabled(false);
    prompt->hide();
    ValidatingZipcode->show();
    zipcityQuery_ = QStringLiteral("http://") + kit_.settings.getValidationServerHost() +
                    QLatin1String(kQueryPath) + zipcode;

    PageRetriever* retriever = nullptr;
    try {
        retriever = &kit_.myHTTPRetrieve.obtain();
    } catch (const Error&) {
        // Reported below, as no component.
    }
    if (retriever == nullptr) {
        kit_.log.logDebug(QStringLiteral("FrmSetup: download object init failed"));
        kit_.dialogs.messageBox(QStringLiteral("ERROR: Download object init failure"), this);
        CancelButton_Click();
        return;
    }
    retriever->SetRcvTimeout(kit_.settings.getTimeout() * kMsPerSecond);
    const QString answer = retriever->RetrieveAsync(zipcityQuery_);
    if (answer != QLatin1String("ok")) {
        kit_.log.logDebug(QStringLiteral("FrmSetup: zipcode validation init failed: ") + answer);
        kit_.dialogs.messageBox(kCannotConnect, this);
        CancelButton_Click();
    }
}

void FrmSetup::TimerZipcode_Timer() {
    trappedVoid(kit_.log, QStringLiteral("TimerZipcode_Timer"), [&] {
        PageRetriever* retriever = kit_.myHTTPRetrieve.get();
        const qint16 status = retriever != nullptr
                                  ? retriever->RetrieveAsyncCompleted(zipcityQuery_)
                                  : qint16(PageRetriever::UnknownRequest);
        if (status == PageRetriever::Running) {
            if (++zipcodeCheckTicks_ >= zipcodeCheckTickLimit(kit_.settings.getTimeout())) {
                // A page that trickles in for ever must not keep the dialog checking.
                TimerZipcode.stop();
                kit_.log.logError(
                    QStringLiteral("ERROR :: TimerZipcode_Timer :: no answer in ") +
                    QString::number(zipcodeCheckTicks_ * kTimerZipcodeMs / kMsPerSecond) +
                    QStringLiteral(" seconds - ") + loggableText(zipcityQuery_));
                zipcodeCheckFailed(QStringLiteral("FrmSetup: zipcode validation timed out"),
                                   kCannotConnect);
            }
            return;
        }
        TimerZipcode.stop();
        if (status != PageRetriever::Done) {
            if (retriever != nullptr) {
                kit_.log.logError(transferFailureLine(QStringLiteral("TimerZipcode_Timer"),
                                                      zipcityQuery_, status));
                retriever->FreePage(zipcityQuery_);
            }
            // An HTTP error answer is the server's error page, told by its status.
            if (PageRetriever::httpStatusOf(status) != 0) {
                zipcodeCheckFailed(kNoaaError, kNotResponding);
            } else {
                zipcodeCheckFailed(
                    QStringLiteral("FrmSetup: zipcode validation status check failed"),
                    kCannotConnect);
            }
            return;
        }
        finishZipcodeCheck();
    });
}

void FrmSetup::finishZipcodeCheck() {
    PageRetriever& retriever = *kit_.myHTTPRetrieve.get();
    kit_.log.logDebug(QStringLiteral("FrmSetup: getting zipcode info at: ") + zipcityQuery_);
    const QString page = ansiToText(retriever.RetrieveAsyncPage(zipcityQuery_));
    const QByteArray resultBytes = retriever.GetResultURL(zipcityQuery_);
    const QString resultURL = resultBytes.size() > 1 ? ansiToText(resultBytes) : QString();
    retriever.FreePage(zipcityQuery_);

    if (page.contains(QLatin1String("error.jpg"), Qt::CaseInsensitive) ||
        page.contains(QLatin1String("error has occurred"), Qt::CaseInsensitive)) {
        zipcodeCheckFailed(QStringLiteral("FrmSetup: zipcode validation returned no match"),
                           QStringLiteral("ERROR: Invalid zipcode"));
        return;
    }
    if (page.contains(QLatin1String("Server Error"), Qt::CaseInsensitive)) {
        zipcodeCheckFailed(kNoaaError, kNotResponding);
        return;
    }
    // The legacy-forms bridge answers for a place no radar covers: a real place, but
    // storing it would leave the saver without frames.
    if (isNoRadarPage(page)) {
        zipcodeCheckFailed(QStringLiteral("FrmSetup: zipcode validation found no radar"),
                           noRadarMessage());
        return;
    }
    const QString text = normaliseQuotes(page);
    RegistryValues& s = kit_.settings;
    const LocationPageConfig config{s.getServiceDomain(), s.getAlternateServerURL(),
                                    s.getTemplateURL()};
    // A page whose radar link gives no usable template is no location: storing it would
    // leave the saver with nothing to download.
    const std::optional<LocationStatics> statics = usableLocationStatics(text, config, kit_.log);
    if (!statics) {
        zipcodeCheckFailed(QStringLiteral("FrmSetup:***") + text, contentErrorMessage());
        return;
    }
    const QString& templateURL = statics->templateURL;
    const QString& cityState = statics->cityState;
    s.saveTemplateURL(templateURL);
    kit_.log.logDebug(QStringLiteral("FrmSetup: templateURL=(") + templateURL +
                      QStringLiteral(")"));
    s.saveCityState(cityState);
    s.saveCurrentConditionsURL(resultURL);
    kit_.log.logDebug(QStringLiteral("FrmSetup: redirectURL=(") + resultURL + QStringLiteral(")"));
    if (kit_.zipcodeValidated) {
        kit_.zipcodeValidated();
    }
    saveSettings();
}

void FrmSetup::zipcodeCheckFailed(const QString& debugLine, const QString& message) {
    kit_.log.logDebug(debugLine);
    kit_.dialogs.messageBox(message, this);
    CancelButton_Click();
}

void FrmSetup::CancelButton_Click() {
    trappedVoid(kit_.log, QStringLiteral("CancelButton_Click"), [&] {
        if (!ValidatingZipcode->isHidden()) {
            TimerZipcode.stop();
            ValidatingZipcode->hide();
            prompt->show();
            setControlsEnabled(true);
            kit_.log.logDebug(QStringLiteral("FrmSetup: cancelling zipcityQuery"));
            // Without a component (its creation failed) there is nothing to stop.
            if (PageRetriever* retriever = kit_.myHTTPRetrieve.get()) {
                retriever->KillAsyncRetrieve(QString());
                retriever->FreePage(zipcityQuery_);
            }
            kit_.log.logDebug(QStringLiteral("FrmSetup: cancelled zipcityQuery"));
            zipcityQuery_.clear();
            return;
        }
        putBackLocationAtLoad();
        Cancel = true;
        hideDialog(QDialog::Rejected);
    });
}

void FrmSetup::putBackLocationAtLoad() {
    // Only what changed is written back, so a Cancel that changed nothing writes nothing.
    RegistryValues& s = kit_.settings;
    if (s.getLocationMode(true) != atLoad_.locationMode) {
        s.saveLocationMode(atLoad_.locationMode);
    }
    if (s.getZipCode() != atLoad_.zipcode) {
        s.saveZipCode(atLoad_.zipcode);
    }
    if (s.getCityState() != atLoad_.cityState) {
        s.saveCityState(atLoad_.cityState);
    }
    if (s.getTemplateURL() != atLoad_.templateURL) {
        s.saveTemplateURL(atLoad_.templateURL);
    }
}

} // namespace nimbuscope
