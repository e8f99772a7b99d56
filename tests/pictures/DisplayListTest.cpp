#include "pictures/DisplayList.h"

#include "common/DisplayTestRig.h"

#include <gtest/gtest.h>

#include <functional>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

class DisplayListTest : public ::testing::Test {
protected:
    DisplayListTest() : list(rig.log) {}

    /// Adds a frame of one radar, unless its file is a cached radar-unavailable answer.
    bool add(const QString& name, bool active) {
        return list.addItem(path(name), QStringLiteral("Short Range Radar"), name, false, active,
                            false, QStringLiteral("DS.p19r0"));
    }
    QString path(const QString& name) const { return rig.dataPath(name); }

    DisplayTestRig rig;
    DisplayList list;
};

TEST_F(DisplayListTest, HoldsAtMost299ItemsAndNoCachedRadarUnavailableFrame) {
    rig.frameFile(QStringLiteral("short.noaa"), 5999, QByteArray("\x00\x00\x3B", 3));
    EXPECT_FALSE(add(QStringLiteral("short.noaa"), true));
    for (int i = 0; i < DisplayList::kMaxItems; ++i) {
        ASSERT_TRUE(add(QStringLiteral("f%1.noaa").arg(i), true)) << "item " << i + 1;
    }
    EXPECT_FALSE(add(QStringLiteral("one-too-many.noaa"), true));
    EXPECT_EQ(list.numDLitems(), 299);
    EXPECT_EQ(list.getNextItem(298).index, 298);
}
TEST_F(DisplayListTest, GetNextItemWrapsRoundToTheFirstActiveItem) {
    for (const char* name : {"a", "c", "e"}) {
        add(QLatin1String(name), false);
        add(QLatin1String(name) + u'+', true);
    }
    const struct {
        qint16 start;
        qint16 expected;
    } rows[] = {{0, 1}, {2, 3}, {3, 3}, {4, 5}, {6, 1}, {250, 1}};
    for (const auto& row : rows) {
        EXPECT_EQ(list.getNextItem(row.start).index, row.expected) << "start " << row.start;
    }
    EXPECT_EQ(rig.errorLog(), QByteArray());
}

struct CycleCase {
    const char* quirk;
    std::vector<std::pair<const char*, bool>> items; // radarID, active
    std::vector<int> starts;
    std::vector<int> ends;
};

TEST_F(DisplayListTest, CycleCountsMarkRunsOfActiveItemsWithEqualRadar) {
    const CycleCase cases[] = {
        {"inactive item does not break a cycle",
         {{"A", true}, {"A", true}, {"B", false}, {"A", true}, {"B", true}, {"B", true}},
         {0, 4},
         {3, 5}},
        {"single active item", {{"A", false}, {"A", true}, {"A", false}}, {1}, {1}},
        {"nothing active gets no flag", {{"A", false}, {"B", false}}, {}, {}},
        {"radar switching back", {{"A", true}, {"B", true}, {"A", true}}, {0, 1, 2}, {0, 1, 2}},
    };
    for (const CycleCase& c : cases) {
        list.initDisplayList(true, false);
        int n = 0;
        for (const auto& [radar, active] : c.items) {
            // The cycle flag is set here so that stale flags must be cleared.
            list.addItem(path(QString::number(n++)), {}, {}, true, active, false,
                         QString::fromLatin1(radar));
        }
        list.calculateAllCycleCounts();
        std::vector<int> starts, ends;
        for (int i = 0; i < list.numDLitems(); ++i) {
            if (list.itemAt(i).cycleStart) {
                starts.push_back(i);
            }
            if (list.itemAt(i).cycleEnd) {
                ends.push_back(i);
            }
        }
        EXPECT_EQ(starts, c.starts) << c.quirk;
        EXPECT_EQ(ends, c.ends) << c.quirk;
    }
}

TEST_F(DisplayListTest, KeepsPicturesOnlyWithinTheMemoryBudget) {
    // One shared 16 MB picture counted once per item: the budget is about what the items
    // hold, whoever else shares it.
    QImage large(2048, 2048, QImage::Format_RGB32);
    large.fill(Qt::red);
    const KeptPicture picture(large);
    const int fitting = int(DisplayList::kPictureBudgetBytes / picture.byteCount());
    for (int i = 0; i <= fitting; ++i) {
        add(QStringLiteral("f%1.noaa").arg(i), true);
    }
    for (int i = 0; i < fitting; ++i) {
        ASSERT_TRUE(list.setPicture(i, picture)) << i;
    }
    EXPECT_FALSE(list.setPicture(fitting, picture));
    EXPECT_TRUE(list.picture(fitting).isNull());

    EXPECT_TRUE(list.setPicture(0, picture)) << "replacing a picture frees its share first";
    list.setPicture(0, KeptPicture());
    EXPECT_TRUE(list.setPicture(fitting, picture)) << "releasing one makes room";
    EXPECT_EQ(list.pictureBytes(), fitting * picture.byteCount());
}

/// The pictures a rebuild of the list keeps for the frames that are listed again.
class DisplayListImagesTest : public DisplayListTest {
protected:
    /// A shown frame holding a packed picture, as preloading keeps it; returns the picture.
    KeptPicture addShown(const QString& name) {
        QImage image(4, 3, QImage::Format_RGB32);
        image.fill(Qt::green);
        const KeptPicture picture = KeptPicture::compact(image);
        list.addItem(path(name), {}, name, false, true, false, QStringLiteral("R"));
        const qint16 index = qint16(list.numDLitems() - 1);
        list.setPicture(index, picture);
        list.setPictureLoaded(index, true);
        return picture;
    }
};

TEST_F(DisplayListImagesTest, RebuildWithPreloadingKeepsTheSamePictureForTheSameFile) {
    const KeptPicture a = addShown(QStringLiteral("a.noaa"));
    ASSERT_TRUE(a.isPacked());
    addShown(QStringLiteral("b.noaa"));
    list.initDisplayList(false, true);
    EXPECT_EQ(list.images().backupCount(), 2);

    // Listed again, still to be downloaded, as the frame list adds it.
    ASSERT_TRUE(
        list.addItem(path("a.noaa"), {}, "a.noaa", false, false, true, QStringLiteral("R")));
    list.images().restore();

    const DisplayItem item = list.itemAt(0);
    EXPECT_TRUE(item.active);
    EXPECT_FALSE(item.needsDownloading) << "a restored frame is not fetched again";
    EXPECT_TRUE(item.pictureLoaded);
    EXPECT_EQ(list.picture(0).identity(), a.identity()) << "shared, not copied";
    EXPECT_FALSE(list.images().hasBackup());
}

} // namespace
