// The location page parsers over arbitrary server text.
#include "FuzzSupport.h"

#include "acquisition/LocationPage.h"

using namespace nimbuscope;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzz::FuzzWorld world;
    const QString page = locationPageText(fuzz::bytesOf(data, size));
    LocationPageConfig config;
    config.serviceDomain = QStringLiteral("weather.gov");
    config.alternateServerURL = QStringLiteral("http://www.srh.noaa.gov/");

    QString templateURL;
    QString cityState;
    if (parseZipCityStatics(page, templateURL, cityState, config, world.log)) {
        config.templateURL = templateURL;
    }
    QString imageURL;
    QString forecast;
    qint16 temperature = kNoTemperature;
    parseZipCityDynamics(page, imageURL, forecast, temperature, config, world.log);
    conditionsCaptions(temperature, forecast);
    isLocationErrorPage(page);
    radarTemplateFromPageURL(page.left(200));
    return 0;
}
