#include "retrieval/CacheFiles.h"
#include "acquisition/CachePurge.h"
#include "bridge/BridgePlaces.h"
#include "pictures/DisplayList.h"
#include "support/Error.h"

#include "ParserTestSupport.h"

#include <QDir>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

class CacheFilesTest : public ParserTest {
protected:
    CacheFilesTest()
        : folder(world.root() + QStringLiteral("/data/")),
          handle((QDir().mkpath(folder), FolderHandle::open(folder))), h(handle.get()) {}
    QStringList names() const { return QDir(folder).entryList(QDir::Files | QDir::Hidden); }

    QString folder;
    std::shared_ptr<FolderHandle> handle;
    const FolderHandle* h;
};

} // namespace

TEST(CacheNameRules, OnlyPlainNamesStartingWithAZipCodeAreCacheFiles) {
    const QString f = QStringLiteral("/tmp/c/data/");
    for (const QStringList& row : goldenRows(QStringLiteral("cache_names.golden"))) {
        EXPECT_EQ(isCacheFileIn(f, row[0]) ? "cache file" : "", row[1]) << row[0].toStdString();
    }
    for (const QString& control : {QString(QChar(0)), QStringLiteral("\n")}) {
        EXPECT_FALSE(isCacheFileIn(f, f + "66604.DS.p19r0.x" + control + ".noaa"));
    }
    EXPECT_FALSE(isCacheFileIn(f.chopped(1), f + "66604.x.noaa")) << "folder without separator";
}

TEST_F(CacheFilesTest, AReplaceWritesExactlyTheBytesOrRaisesAndKeepsTheOldFile) {
    const QString path = folder + "66604.DS.p19r0.x.noaa";
    replaceCacheFile(h, path, "old frame bytes");
    replaceCacheFile(h, path, "frame");
    EXPECT_EQ(world.readFile(path), "frame");
    QDir().mkpath(folder + "66604.dir.noaa/occupied");
    const CacheWriteBody halfWay = [](QIODevice& device, const QByteArray& bytes) {
        device.write(bytes.left(3));
        return qint64(-1);
    };
    const CacheWriteBody shortWrite = [](QIODevice& device, const QByteArray& bytes) {
        return device.write(bytes.left(bytes.size() - 1));
    };
    const struct {
        const FolderHandle* folder;
        QString path;
        CacheWriteBody body;
        int number;
    } rows[] = {
        {h, path, halfWay, err::PathFileAccessError},
        {h, path, shortWrite, err::PathFileAccessError},
        {h, folder + "66604.dir.noaa", {}, err::PathFileAccessError},     // a folder in the way
        {nullptr, folder + "66604.x.noaa", {}, err::PathFileAccessError}, // no cache folder
        {h, folder + "../66604.x.noaa", {}, err::BadFileNameOrNumber},
        {h, world.root() + "/66604.x.noaa", {}, err::BadFileNameOrNumber},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path.toStdString());
        EXPECT_EQ(raisedNumber([&] { replaceCacheFile(row.folder, row.path, "new", row.body); }),
                  row.number);
    }
    EXPECT_EQ(world.readFile(path), "frame");
    EXPECT_EQ(names(), QStringList({"66604.DS.p19r0.x.noaa"})) << "no temporary file is left";
    EXPECT_FALSE(QFileInfo::exists(world.root() + "/66604.x.noaa"));
}

TEST_F(CacheFilesTest, PurgesOnlyDeleteRegularFilesOfTheFolder) {
    DisplayList list(log);
    // Big enough not to be taken for the server's radar-unavailable answer.
    const QString shown =
        world.writeFile(folder + "66604.p.shown.noaa", QByteArray(7000, 'G') + ';');
    world.writeFile(folder + "66604.p.inactive.noaa", "x");
    world.writeFile(folder + "66604.p.unlisted.noaa", "x");
    world.writeFile(folder + "66604.p.loop.txt", "x");
    world.writeFile(folder + QString(kKeptPlacesFileName), "x"); // the bridge's, for any zip
    world.writeFile(folder + "66604.dir.noaa/inside.noaa", "x");
    const QString outside = world.writeFile(world.root() + "/66604.p.outside.noaa", "x");
    ASSERT_TRUE(QFile::link(outside, folder + "66604.p.link.noaa"));
    list.addItem(shown, "c", "s", false, true, false, "p");
    list.addItem(folder + "66604.p.inactive.noaa", "c", "s", false, false, true, "p");

    purgeNonDisplayListItems(log, list, h);
    EXPECT_EQ(names(), QStringList({"66604.p.link.noaa", "66604.p.loop.txt", "66604.p.shown.noaa",
                                    "bridge.places"}));
    purgeOtherZipcodeCachedItems(log, h, "12345");
    EXPECT_EQ(names(), QStringList({"66604.p.link.noaa", "bridge.places"}));
    EXPECT_TRUE(QFileInfo(folder + "66604.dir.noaa/inside.noaa").isFile());
    EXPECT_TRUE(QFileInfo(outside).isFile());

    world.writeFile(folder + "66604.p.loop.txt", "x");
    for (const QString& zip : {QString(), QStringLiteral("*"), QStringLiteral("../x")}) {
        purgeOtherZipcodeCachedItems(log, h, zip);
    }
    purgeOtherZipcodeCachedItems(log, nullptr, "12345");
    purgeNonDisplayListItems(log, list, nullptr);
    EXPECT_EQ(names(), QStringList({"66604.p.link.noaa", "66604.p.loop.txt", "bridge.places"}));
}

TEST_F(CacheFilesTest, OverItsBudgetTheCacheLosesTheFramesWrittenFirst) {
    DisplayList list(log);
    const QDateTime start = QDateTime::currentDateTime();
    // Written in the order d, a, c, b; the list and the picture are never deleted.
    const char* frames[] = {"66604.p.d.noaa", "66604.p.a.noaa", "66604.p.c.noaa", "66604.p.b.noaa"};
    for (int i = 0; i < 4; ++i) {
        const QString path = world.writeFile(folder + frames[i], QByteArray(7000, 'G'));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(start.addSecs(i), QFileDevice::FileModificationTime));
        list.addItem(path, "c", "s", false, true, false, "p");
    }
    world.writeFile(folder + "66604.p.loop.txt", QByteArray(1000, 'L'));
    world.writeFile(folder + "66604.currentConditions.jpg", QByteArray(5000, 'J'));

    EXPECT_EQ(purgeCacheToBudget(log, list, h, 34000), 0);
    EXPECT_EQ(names().size(), 6);
    EXPECT_EQ(purgeCacheToBudget(log, list, h, 20000), 2);
    EXPECT_EQ(names(), QStringList({"66604.currentConditions.jpg", "66604.p.b.noaa",
                                    "66604.p.c.noaa", "66604.p.loop.txt"}));
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(list.itemAt(i).active, i >= 2) << frames[i] << " leaves the animation with it";
    }
    EXPECT_EQ(world.readFile("errorlog.txt").count("the cache passed its budget of 20000 bytes"),
              1);
    EXPECT_EQ(purgeCacheToBudget(log, list, nullptr, 0), 0);
}
