#include "LegacyFormsBridgeRig.h"

#include <sys/stat.h>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

/// A bridge in a new run: nothing in memory, the same cache folder.
class KeptPlacesTest : public LegacyFormsBridgeTest {
protected:
    KeptPlacesTest() {
        config.keepFolder = [this] { return FolderHandle::open(dir.path()); };
    }

    QStringList askInNewRun(const QString& address) {
        bridge.reset();
        transport.sent.clear();
        EXPECT_EQ(ask(address).status, PageRetriever::Done);
        return transport.urls();
    }

    QString file() const { return dir.filePath(QString(kKeptPlacesFileName)); }
    void writeFile(const QByteArray& text) {
        QFile f(file());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(KeptPlacesTest, ASecondRunWithinAWeekAsksNeitherTheSearchNorThePoints) {
    EXPECT_TRUE(askInNewRun(kSearch).contains(kPointsSent));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(file()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    now = now.addDays(6);
    const QStringList secondRun = askInNewRun(kSearch);
    EXPECT_FALSE(secondRun.contains(kSearchSent) || secondRun.contains(kPointsSent))
        << secondRun.join(u' ').toStdString();
    EXPECT_TRUE(secondRun.contains(kLatestOf.arg("KOLM"))) << "observations are never kept";

    // Seven days after they were learnt, both are asked again, and kept anew.
    now = now.addDays(1);
    const QStringList weekLater = askInNewRun(kSearch);
    EXPECT_TRUE(weekLater.contains(kSearchSent) && weekLater.contains(kPointsSent));
    EXPECT_FALSE(askInNewRun(kSearch).contains(kPointsSent));
}

TEST_F(KeptPlacesTest, ADamagedOrForeignFileIsIgnoredAndReplaced) {
    const QByteArray good =
        R"({"nimbuscope-places":2,"places":[{"learnt":"2022-03-02T20:00:00Z",)"
        R"("key":"38.8860,-77.0940","radarStation":"KLWX","city":"Arlington","state":"VA",)"
        R"("stations":["KOLM"]}],"searches":[]})";
    const struct {
        const char* name;
        QByteArray text;
    } rows[] = {
        {"foreign", "<html>not ours</html>\n"},
        {"cut off", good.chopped(1)},
        {"the first, tab-separated form", "nimbuscope-places 1\nP\t2022-03-02T20:00:00Z\t"
                                          "38.8860,-77.0940\tKLWX\tArlington\tVA\tKOLM\n"},
        {"markup in the city", QByteArray(good).replace("Arlington", "<b>x</b>")},
        {"site out of form", QByteArray(good).replace("KLWX", "../x")},
        {"latitude out of range", QByteArray(good).replace("38.8860", "98.8860")},
        {"learnt time not a time", QByteArray(good).replace("2022-03-02T20:00:00Z", "soon")},
        {"station not text", QByteArray(good).replace(R"(["KOLM"])", "[7]")},
        {"search without coordinates",
         QByteArray(good).replace(
             R"("searches":[])",
             R"("searches":[{"learnt":"2022-03-02T20:00:00Z","text":"22201","lon":-77.1}])")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_NO_FATAL_FAILURE(writeFile(row.text));
        const QStringList urls = askInNewRun(kSearch);
        EXPECT_TRUE(urls.contains(kPointsSent)) << "nothing of the file is trusted";
        EXPECT_FALSE(askInNewRun(kSearch).contains(kPointsSent)) << "the file was rewritten";
    }
    ASSERT_NO_FATAL_FAILURE(writeFile(good));
    EXPECT_FALSE(askInNewRun(kSearch).contains(kPointsSent)) << "the rows' damage alone counts";
}
