#include "noaa-sim/SimOptions.h"
#include "noaa-sim/HostSettings.h"
#include "noaa-sim/SiteTable.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

using namespace nimbuscope::noaasim;

namespace {

ParsedCommandLine parse(std::initializer_list<const char*> args) {
    return parseCommandLine(std::vector<std::string>(args.begin(), args.end()));
}

} // namespace

TEST(CommandLine, TakesValuesAfterASpaceOrAnEqualsSign) {
    const auto p =
        parse({"--port", "8080", "--frames=17", "--list-form", "rooted", "--sites=/x.tsv",
               "--radar-list", "/RadarList.txt", "--print-reg", "out.reg", "--fault",
               "/radar/loopdata/*=drop", "--fault=/zipcity.php?inputstring=64106=delay:500"});
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.options.port, 8080);
    EXPECT_EQ(p.options.frames, 17);
    EXPECT_EQ(p.options.listForm, ListForm::Rooted);
    EXPECT_EQ(p.options.sitesFile, "/x.tsv");
    EXPECT_EQ(p.options.radarListFile, "/RadarList.txt");
    EXPECT_EQ(p.options.printRegFile, "out.reg");
    ASSERT_EQ(p.options.faults.size(), 2u);
    EXPECT_EQ(p.options.faults[0].pattern, "/radar/loopdata/*");
    EXPECT_EQ(p.options.faults[1].pattern, "/zipcity.php?inputstring=64106");
    EXPECT_EQ(p.options.faults[1].fault.amount, 500);
}

TEST(CommandLine, OfflineDropsEverythingAndLocalhostSwapsTheAlternate) {
    const auto offline = parse({"--offline"});
    ASSERT_EQ(offline.options.faults.size(), 1u);
    EXPECT_EQ(offline.options.faults[0].pattern, "*");
    EXPECT_EQ(offline.options.faults[0].fault.kind, FaultKind::Drop);
    const auto local = parse({"--host", "localhost"});
    EXPECT_EQ(local.error, "");
    EXPECT_EQ(local.options.alternateHost, "127.0.0.1");
    EXPECT_TRUE(parse({"-h"}).options.help);
    const auto today = parse({"--today", "--time-form=mixed"});
    EXPECT_EQ(today.error, "");
    EXPECT_TRUE(today.options.today);
    EXPECT_EQ(today.options.timeForm, TimeForm::Mixed);
    EXPECT_FALSE(parse({}).options.today);
}

TEST(CommandLine, RefusesWhatItCannotHonour) {
    const std::vector<std::vector<const char*>> rows = {{"--port"},
                                                        {"--port", "x"},
                                                        {"--port", "70000"},
                                                        {"--port", "-1"},
                                                        {"--host", "0.0.0.0"},
                                                        {"--host", "10.0.0.1"},
                                                        {"--host", "example.com"},
                                                        {"--alternate-host", "127.0.0.1"},
                                                        {"--frames", "251"},
                                                        {"--list-form", "upward"},
                                                        {"--time-form", "ranges"},
                                                        {"--today=1"},
                                                        {"--fault", "nonsense"},
                                                        {"--sites="},
                                                        {"--radar-list"},
                                                        {"--bogus"},
                                                        {"--alert", "Tornado Warning:Severe:45"},
                                                        {"--today", "--alert", "Fog:Dense:45"},
                                                        {"--today", "--alert", "Fog:Minor:0"},
                                                        {"--today", "--alert", "Minor:45"},
                                                        {"extra"}};
    for (const auto& args : rows)
        EXPECT_NE(parseCommandLine(std::vector<std::string>(args.begin(), args.end())).error, "")
            << args.front();
}

TEST(LoopbackHosts, AreTheLocalhostNameAndDottedQuadsIn127) {
    for (const char* good : {"localhost", "127.0.0.1", "127.1.2.3", "127.255.255.255"})
        EXPECT_TRUE(isLoopbackHost(good)) << good;
    for (const char* bad : {"128.0.0.1", "127.0.0", "127.0.0.1.1", "127.0.0.256", "127..0.1", "::1",
                            "0.0.0.0", "", "127.0.0.1 "})
        EXPECT_FALSE(isLoopbackHost(bad)) << bad;
}

TEST(HostSettings, PointEverySettingAtTheSimulator) {
    const auto settings = hostSettings("127.0.0.1", 50123, "localhost");
    std::vector<std::string> lines;
    for (const auto& s : settings)
        lines.push_back(s.name + "=" + s.value);
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "forecastServerURL=http://127.0.0.1:50123/",
                         "validationServerHost=127.0.0.1:50123",
                         "radarServerURL=http://127.0.0.1:50123/",
                         "alternateServerURL=http://127.0.0.1:50123/",
                         "serviceDomain=127.0.0.1:50123",
                         "primaryRegionLabel=127.0.0.1",
                         "alternateRegionLabel=localhost",
                     }));
    EXPECT_EQ(registryFragment({{"forecastServerURL", "http://127.0.0.1:1/"}, {"odd", "a\"b\\c"}}),
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_CURRENT_USER\\Software\\Calderwick\\Nimbuscope]\n"
              "\"forecastServerURL\"=\"http://127.0.0.1:1/\"\n"
              "\"odd\"=\"a\\\"b\\\\c\"\n");
}

TEST(SiteTable, KnowsAHandfulOfLocationsWithoutAFile) {
    const SiteTable table = SiteTable::builtIn();
    for (const auto& [zip, site, city] :
         {std::tuple{"64106", "KEAX", "Kansas City, MO"}, std::tuple{"80301", "KFTG", "Denver, CO"},
          std::tuple{"98101", "KATX", "Seattle, WA"}}) {
        const SiteEntry* e = table.byZip(zip);
        ASSERT_NE(e, nullptr) << zip;
        EXPECT_EQ(e->site, site);
        EXPECT_EQ(e->cityState(), city);
    }
    EXPECT_EQ(table.byZip("00000"), nullptr);
    EXPECT_EQ(table.byCity("kansas city, mo")->zip, "64106");
    EXPECT_EQ(table.byCity("Kansas City MO")->zip, "64106");
    EXPECT_EQ(table.byCity("SEATTLE")->zip, "98101");
    EXPECT_EQ(table.byCity("Kansas"), nullptr);
    EXPECT_EQ(table.byCity(" , "), nullptr);
}

TEST(SiteTable, ReadsTheCitiesOfARadarSiteList) {
    SiteTable table = SiteTable::builtIn();
    const int taken = table.addRadarList(
        "STATE: KS\r\n"
        "\"http://h/radar/latest/DS.p19r0/si.ktwx.shtml\",\"Topeka\",\"66614\"\r\n"
        "\r\n"
        "\"http://h/radar/latest/DS.p19r0/si.kddc.shtml\",\"Dodge City\",\"KS\",\"67801\"\n"
        "\"http://h/radar/latest/DS.p19r0/index.shtml\",\"No Site\",\"67000\"\r"
        "\"http://h/radar/latest/DS.p19r0/si.kict.shtml\",\"Short Zip\",\"672\"\r\n"
        "state: MO\r\n"
        "\"HTTP://h/radar/latest/DS.p19r0/SI.KEAX.shtml\",\"Independence\",\"64106\"");
    EXPECT_EQ(taken, 3);
    EXPECT_EQ(table.byZip("66614")->cityState(), "Topeka, KS");
    EXPECT_EQ(table.byZip("66614")->site, "KTWX");
    EXPECT_EQ(table.byZip("67801")->city, "Dodge City");
    EXPECT_EQ(table.byZip("64106")->cityState(), "Independence, MO") << "replaces the built-in";
    EXPECT_EQ(table.byZip("67000"), nullptr);
}

TEST(SiteTable, AnswersEveryCityOfTheShippedRadarSiteList) {
    std::ifstream in(NIMBUSCOPE_RADAR_LIST, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    SiteTable table;
    EXPECT_EQ(table.addRadarList(text), 156);
}

TEST(SiteTable, ReadsTabSeparatedRowsByTheirHeaderAndSkipsBadOnes) {
    SiteTable table = SiteTable::builtIn();
    const std::size_t before = table.entries().size();
    const int taken = table.addTsv("zip\tstate\tcity\tsite\tsource\r\n"
                                   "64118\tMO\tKansas City\tkeax\tx\r\n"
                                   "64106\tMO\tIndependence\tKEAX\ty\n"
                                   "6410\tMO\tShort Zip\tKEAX\n"
                                   "12345\tNY\tNo Site\t\n"
                                   "99999\tAK\tToo Few\n");
    EXPECT_EQ(taken, 2);
    EXPECT_EQ(table.entries().size(), before + 1) << "64106 replaced, 64118 added";
    EXPECT_EQ(table.byZip("64118")->site, "KEAX");
    EXPECT_EQ(table.byZip("64106")->city, "Independence");
    EXPECT_EQ(table.addTsv("site\tcity\tzip\nKEAX\tKansas City\t64106\n"), -1) << "no state column";
}
