#include "support/FolderHandle.h"

#include "RecordedAnswers.h"

#include <QTemporaryDir>

#include <sys/stat.h>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

/// A bridge in a new run: nothing in memory, the same cache folder.
class KeptPlacesTest : public RecordedPlaceTest {
protected:
    KeptPlacesTest() {
        config.keepFolder = [this] { return FolderHandle::open(dir.path()); };
    }

    /// Whether a search in a new run had to ask where the place is.
    bool newRunAsksThePoints() {
        bridge.reset();
        transport.sent.clear();
        EXPECT_EQ(ask(kSearch).status, PageRetriever::Done);
        EXPECT_TRUE(transport.urls().contains(kLatestOf.arg("KOLM")))
            << "observations are never kept";
        return transport.urls().contains(kPointsSent);
    }

    QTemporaryDir dir;
    const QString file = dir.filePath(QString(kKeptPlacesFileName));
};

} // namespace

TEST_F(KeptPlacesTest, ASecondRunWithinAWeekAsksNeitherTheSearchNorThePoints) {
    EXPECT_TRUE(newRunAsksThePoints());
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    now = now.addDays(6);
    EXPECT_FALSE(newRunAsksThePoints());
    EXPECT_FALSE(transport.urls().contains(kSearchSent));
    // Seven days after they were learnt, both are asked again, and kept anew.
    now = now.addDays(1);
    EXPECT_TRUE(newRunAsksThePoints());
    EXPECT_TRUE(transport.urls().contains(kSearchSent));
    EXPECT_FALSE(newRunAsksThePoints());
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
        {"good", good},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(row.text);
        f.close();
        // Nothing of a damaged file is trusted, and it is rewritten; the rows' damage alone counts.
        EXPECT_EQ(newRunAsksThePoints(), row.text != good);
        EXPECT_FALSE(newRunAsksThePoints());
    }
}
