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

    /// Adds a frame whose file does not exist, so the cache check never refuses it.
    bool add(const QString& name, bool active, const QString& radar = QStringLiteral("DS.p19r0"),
             bool needsDownloading = false) {
        return list.addItem(rig.dataPath(name), QStringLiteral("Short Range Radar"),
                            QStringLiteral("http://x/") + name, false, active, needsDownloading,
                            radar);
    }
    QString path(const QString& name) const { return rig.dataPath(name); }

    DisplayTestRig rig;
    DisplayList list;
};

void expectEmptyRecord(const DisplayItem& item) {
    EXPECT_EQ(item.index, -1);
    EXPECT_FALSE(item.active || item.needsDownloading || item.cycleStart || item.cycleEnd ||
                 item.pictureLoaded);
    EXPECT_TRUE(item.fileName.isEmpty() && item.caption.isEmpty() && item.radarID.isEmpty());
    EXPECT_TRUE(item.picture.isNull());
}

QImage somePicture() {
    QImage image(4, 3, QImage::Format_RGB32);
    image.fill(Qt::green);
    return image;
}

TEST_F(DisplayListTest, HoldsAtMost299Items) {
    for (int i = 0; i < DisplayList::kMaxItems; ++i) {
        ASSERT_TRUE(add(QStringLiteral("f%1.noaa").arg(i), true)) << "item " << i + 1;
    }
    EXPECT_FALSE(add(QStringLiteral("one-too-many.noaa"), true));
    EXPECT_EQ(list.numDLitems(), 299);
    EXPECT_EQ(list.getNextItem(298).index, 298);
}

TEST_F(DisplayListTest, AddItemRefusesACachedRadarUnavailableFrame) {
    rig.frameFile(QStringLiteral("short.noaa"), 5999, QByteArray("\x00\x00\x3B", 3));
    rig.frameFile(QStringLiteral("good.noaa"), 6000, QByteArray("\x00\x00\x3B", 3));
    EXPECT_FALSE(add(QStringLiteral("short.noaa"), true));
    EXPECT_EQ(list.numDLitems(), 0);
    EXPECT_TRUE(add(QStringLiteral("good.noaa"), true));
    EXPECT_TRUE(add(QStringLiteral("not-yet-fetched.noaa"), false));
    EXPECT_EQ(list.numDLitems(), 2);
}

struct SetterCase {
    const char* name;
    std::function<void(DisplayList&, qint16, bool)> set;
    std::function<bool(const DisplayItem&)> get;
};

TEST_F(DisplayListTest, FlagSettersChangeOnlyItemsInTheList) {
    const SetterCase setters[] = {
        {"needsDownloading",
         [](DisplayList& l, qint16 i, bool v) { l.setItemNeedsDownloadingFlag(i, v); },
         [](const DisplayItem& it) { return it.needsDownloading; }},
        {"active", [](DisplayList& l, qint16 i, bool v) { l.setItemActiveFlag(i, v); },
         [](const DisplayItem& it) { return it.active; }},
        {"pictureLoaded", [](DisplayList& l, qint16 i, bool v) { l.setPictureLoaded(i, v); },
         [](const DisplayItem& it) { return it.pictureLoaded; }},
    };
    add(QStringLiteral("a.noaa"), false);
    add(QStringLiteral("b.noaa"), false);
    for (const SetterCase& s : setters) {
        s.set(list, -1, true);
        s.set(list, 2, true); // numDLitems
        EXPECT_FALSE(s.get(list.itemAt(0)) || s.get(list.itemAt(1))) << s.name;
        s.set(list, 1, true);
        EXPECT_TRUE(s.get(list.itemAt(1))) << s.name;
        EXPECT_FALSE(s.get(list.itemAt(0))) << s.name;
    }
    EXPECT_EQ(rig.errorLog(), QByteArray()) << "ignored without a message";
}

TEST_F(DisplayListTest, FindItemByFileNameWantsAnActiveItemWithTheExactPath) {
    add(QStringLiteral("a.noaa"), false);
    add(QStringLiteral("a.noaa"), true);
    add(QStringLiteral("b.noaa"), true);
    EXPECT_EQ(list.findItemByFileName(path(QStringLiteral("a.noaa"))).index, 1);
    expectEmptyRecord(list.findItemByFileName(path(QStringLiteral("A.noaa"))));
    expectEmptyRecord(list.findItemByFileName(QStringLiteral("a.noaa")));
}

TEST_F(DisplayListTest, GetNextItemForDownloadScansForwardOnly) {
    add(QStringLiteral("a.noaa"), false, QStringLiteral("A"), true);
    add(QStringLiteral("b.noaa"), true);
    add(QStringLiteral("c.noaa"), false, QStringLiteral("A"), true);
    add(QStringLiteral("d.noaa"), true);
    const struct {
        qint32 start;
        qint16 expected;
    } rows[] = {{0, 0}, {1, 2}, {2, 2}, {3, -1}, {4, -1}, {-1, -1}, {40000, -1}};
    for (const auto& row : rows) {
        EXPECT_EQ(list.getNextItemForDownload(row.start).index, row.expected)
            << "start " << row.start;
    }
}

TEST_F(DisplayListTest, GetNextItemWrapsRoundToTheFirstActiveItem) {
    add(QStringLiteral("a.noaa"), false);
    add(QStringLiteral("b.noaa"), true);
    add(QStringLiteral("c.noaa"), false);
    add(QStringLiteral("d.noaa"), true);
    add(QStringLiteral("e.noaa"), false);
    const struct {
        qint16 start;
        qint16 expected;
    } rows[] = {{0, 1}, {1, 1}, {2, 3}, {3, 3}, {4, 1}, {5, 1}, {250, 1}};
    for (const auto& row : rows) {
        EXPECT_EQ(list.getNextItem(row.start).index, row.expected) << "start " << row.start;
    }
    EXPECT_EQ(rig.errorLog(), QByteArray());
}

TEST_F(DisplayListTest, GetNextItemGivesTheEmptyRecordWithNothingActiveOrANegativeCursor) {
    expectEmptyRecord(list.getNextItem(0));
    add(QStringLiteral("a.noaa"), false);
    add(QStringLiteral("b.noaa"), false);
    expectEmptyRecord(list.getNextItem(1));
    list.setItemActiveFlag(0, true);
    expectEmptyRecord(list.getNextItem(-1));
    EXPECT_TRUE(
        rig.errorLog().contains("ERROR :: getNextItem :: (9) - Subscript out of range :: \r\n"))
        << rig.errorLog().constData();
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
        std::vector<int> starts;
        std::vector<int> ends;
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

TEST_F(DisplayListTest, InitDisplayListEmptiesTheTableAndReleasesPictures) {
    add(QStringLiteral("a.noaa"), true);
    list.downloadIndex = 0;
    const QImage held = somePicture();
    list.setPicture(0, KeptPicture(held));
    list.setPictureLoaded(0, true);
    ASSERT_FALSE(held.isDetached());

    list.initDisplayList(true, true);
    EXPECT_EQ(list.numDLitems(), 0);
    EXPECT_EQ(list.downloadIndex, -1);
    EXPECT_TRUE(held.isDetached()) << "nobody else holds the picture any more";
    EXPECT_FALSE(list.images().hasBackup());
    EXPECT_EQ(list.findItemByFileName(path(QStringLiteral("a.noaa"))).index, -1);
    add(QStringLiteral("b.noaa"), false);
    EXPECT_TRUE(list.picture(0).isNull()) << "a new item starts without a picture";
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
    EXPECT_TRUE(list.setPicture(0, KeptPicture()));
    EXPECT_TRUE(list.setPicture(fitting, picture)) << "releasing one makes room";
    EXPECT_EQ(list.pictureBytes(), fitting * picture.byteCount());
}

/// The pictures a rebuild of the list keeps for the frames that are listed again.
class DisplayListImagesTest : public DisplayListTest {
protected:
    /// A frame still to be downloaded, as the frame list adds it.
    void addToFetch(const QString& name) {
        ASSERT_TRUE(list.addItem(path(name), {}, name, false, false, true, QStringLiteral("R")));
    }
    /// A shown frame holding `picture`, by default a packed one as preloading keeps it;
    /// returns the picture.
    KeptPicture addShown(const QString& name, bool loaded = true,
                         KeptPicture picture = KeptPicture::compact(somePicture())) {
        list.addItem(path(name), {}, name, false, true, false, QStringLiteral("R"));
        const qint16 index = qint16(list.numDLitems() - 1);
        list.setPicture(index, picture);
        list.setPictureLoaded(index, loaded);
        return picture;
    }
};

TEST_F(DisplayListImagesTest, RebuildWithPreloadingKeepsTheSamePictureForTheSameFile) {
    const KeptPicture a = addShown(QStringLiteral("a.noaa"));
    ASSERT_TRUE(a.isPacked());
    addShown(QStringLiteral("b.noaa"));
    list.initDisplayList(false, true);
    EXPECT_TRUE(list.images().hasBackup());
    EXPECT_EQ(list.images().backupCount(), 2);

    addToFetch(QStringLiteral("a.noaa"));
    list.images().restore();

    const DisplayItem item = list.itemAt(0);
    EXPECT_TRUE(item.active);
    EXPECT_FALSE(item.needsDownloading) << "a restored frame is not fetched again";
    EXPECT_TRUE(item.pictureLoaded);
    EXPECT_EQ(list.picture(0).identity(), a.identity()) << "shared, not copied";
    EXPECT_FALSE(list.images().hasBackup());
}

TEST_F(DisplayListImagesTest, RestoreGivesEachPictureToTheFirstExactPathOnly) {
    addShown(QStringLiteral("a.noaa"));
    list.initDisplayList(false, true);
    for (const char* name : {"A.noaa", "a.noaa ", "a.noaa", "a.noaa"}) {
        addToFetch(QLatin1String(name));
    }
    list.images().restore();
    for (qint16 i = 0; i < 4; ++i) {
        const bool restored = i == 2;
        EXPECT_EQ(list.itemAt(i).needsDownloading, !restored) << i;
        EXPECT_EQ(list.itemAt(i).active, restored) << i;
        EXPECT_EQ(list.picture(i).isNull(), !restored) << i;
    }
}

TEST_F(DisplayListImagesTest, OnlyLoadedPicturesAreBackedUp) {
    const struct {
        const char* quirk;
        bool hasPicture;
        bool loaded;
        bool expectBackup;
    } rows[] = {
        {"preloading off: no picture held", false, false, false},
        {"picture held but not marked loaded", true, false, false},
        {"picture loaded", true, true, true},
    };
    for (const auto& row : rows) {
        list.initDisplayList(true, true);
        if (row.hasPicture) {
            addShown(QStringLiteral("a.noaa"), row.loaded);
        } else {
            addToFetch(QStringLiteral("a.noaa"));
        }
        list.images().backup();
        EXPECT_EQ(list.images().hasBackup(), row.expectBackup) << row.quirk;
    }
}

TEST_F(DisplayListImagesTest, RebuildChoosesBackupOrClear) {
    const struct {
        bool forceClear;
        bool preloadImages;
        bool expectBackup;
    } rows[] = {
        {false, true, true}, {true, true, false}, {false, false, false}, {true, false, false}};
    for (const auto& row : rows) {
        list.initDisplayList(true, false);
        addShown(QStringLiteral("a.noaa"));
        list.initDisplayList(row.forceClear, row.preloadImages);
        EXPECT_EQ(list.images().hasBackup(), row.expectBackup)
            << "forceClear " << row.forceClear << ", preload " << row.preloadImages;
    }
}

TEST_F(DisplayListImagesTest, ClearReleasesTheSavedPictures) {
    // Held as decoded, so that the references to it can be seen.
    const QImage held = somePicture();
    addShown(QStringLiteral("a.noaa"), true, KeptPicture(held));
    list.initDisplayList(false, true);
    ASSERT_FALSE(held.isDetached()) << "the backup holds the second reference";
    list.images().clear();
    EXPECT_TRUE(held.isDetached());
    EXPECT_FALSE(list.images().hasBackup());

    addToFetch(QStringLiteral("a.noaa"));
    list.images().restore();
    EXPECT_TRUE(list.itemAt(0).needsDownloading) << "a cleared backup restores nothing";
    EXPECT_FALSE(list.itemAt(0).active);
    EXPECT_EQ(rig.errorLog(), QByteArray());
}

} // namespace
