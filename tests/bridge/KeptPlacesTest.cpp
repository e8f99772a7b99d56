#include "support/FolderHandle.h"

#include "RecordedAnswers.h"

#include <QTemporaryDir>

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
    EXPECT_EQ(QFile::permissions(file),
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
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
    for (const QStringList& row : goldenRows("kept-places.tsv")) {
        SCOPED_TRACE(row[0].toStdString());
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QString(row[2]).replace("\\t", "\t").replace("\\n", "\n").toUtf8());
        f.close();
        EXPECT_EQ(newRunAsksThePoints(), row[1] == QLatin1String("ignored"));
        EXPECT_FALSE(newRunAsksThePoints());
    }
}
