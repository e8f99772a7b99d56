#include "pictures/ImageUtils.h"

#include "common/DisplayTestRig.h"

#include <gtest/gtest.h>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

const QByteArray kGifTrailer("\x00\x00\x3B", 3);
const QByteArray kJpegEnd("\x00\xFF\xD9", 3);
const QByteArray kLineFeedEnd("\x31\x0A", 2);
const QByteArray kNoMarker("abc");

TEST(FrameFileChecks, ClassifyByNameAndLastBytes) {
    DisplayTestRig rig;
    const struct {
        const char* quirk;
        const char* name;
        qsizetype size; // -1: no file
        QByteArray tail;
        bool unavailable;
        bool complete;
    } rows[] = {
        {"one byte short of 6000", "a.noaa", 5999, kGifTrailer, true, true},
        {"exactly 6000 with trailer", "b.noaa", 6000, kGifTrailer, false, true},
        {"large, ends in a line feed", "c.noaa", 50000, kLineFeedEnd, true, false},
        {"frame that is really a JPEG", "d.noaa", 8000, kJpegEnd, false, true},
        {"truncated frame", "e.noaa", 8000, kNoMarker, false, false},
        {"ending in upper case", "f.NOAA", 7000, kGifTrailer, false, true},
        {"two-byte frame is a short answer", "g.noaa", 2, "xy", true, false},
        {"complete JPEG", "i.jpg", 100, kJpegEnd, false, true},
        {"JPEG without end marker", "j.jpg", 100, kGifTrailer, false, false},
        {"JPEG cut after a marker byte", "p.jpg", 100, QByteArray("\x00\xFF\xD8", 3), false, false},
        {"long JPEG ending", "k.JPEG", 100, kJpegEnd, false, true},
        {"GIF without trailer passes", "l.gif", 100, kLineFeedEnd, false, true},
        {"short GIF cannot be read", "m.gif", 2, "GI", false, false},
        {"other ending", "n.png", 7000, kJpegEnd, false, false},
        {"small .txt is not a frame", "o.loop.txt", 10, "\n\n\n", false, false},
        {"missing frame", "gone.noaa", -1, {}, false, false},
        {"missing GIF", "gone.gif", -1, {}, false, false},
    };
    for (const auto& c : rows) {
        const QString name = QString::fromLatin1(c.name);
        const QString file = c.size < 0 ? rig.dataPath(name) : rig.frameFile(name, c.size, c.tail);
        EXPECT_EQ(RadarUnavailableImage(file), c.unavailable) << c.quirk;
        EXPECT_EQ(isCompleteImageFile(file), c.complete) << c.quirk;
    }
}

} // namespace
