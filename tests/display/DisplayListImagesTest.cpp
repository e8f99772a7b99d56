#include "display/DisplayList.h"

#include "DisplayTestRig.h"

#include <gtest/gtest.h>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

QImage redSquare() {
    QImage decoded(2, 2, QImage::Format_RGB32);
    decoded.fill(Qt::red);
    return decoded;
}

class DisplayListImagesTest : public ::testing::Test {
protected:
    DisplayListImagesTest() : list(rig.log) {}

    QString path(const QString& name) const {
        return rig.world.root() + QStringLiteral("/data/") + name;
    }
    /// A frame still to be downloaded, as the frame list adds it.
    void addToFetch(const QString& name) {
        ASSERT_TRUE(list.addItem(path(name), {}, name, false, false, true, QStringLiteral("R")));
    }
    /// A shown frame holding `picture`, by default a packed one as preloading keeps it;
    /// returns the picture.
    KeptPicture addShown(const QString& name, bool loaded = true,
                         KeptPicture picture = KeptPicture::compact(redSquare())) {
        list.addItem(path(name), {}, name, false, true, false, QStringLiteral("R"));
        const qint16 index = qint16(list.numDLitems() - 1);
        list.setPicture(index, picture);
        list.setPictureLoaded(index, loaded);
        return picture;
    }

    DisplayTestRig rig;
    DisplayList list;
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
    const QImage held = redSquare();
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
