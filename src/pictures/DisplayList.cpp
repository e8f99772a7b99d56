#include "pictures/DisplayList.h"

#include "pictures/ImageUtils.h"
#include "support/Error.h"
#include "support/FileUtils.h"

#include <algorithm>

namespace nimbuscope {

namespace {

DisplayItem withoutPicture(const DisplayItem& item) {
    DisplayItem copy = item;
    copy.picture = KeptPicture();
    return copy;
}

/// Runs a look-up whose errors are swallowed: the caller gets whatever was found so far.
template <typename Body> DisplayItem quietly(Body&& body) {
    DisplayItem found;
    try {
        body(found);
    } catch (const std::exception&) {
    }
    return found;
}

} // namespace

DisplayList::DisplayList(Log& log) : log_(log), images_(log, *this) {}

DisplayItem& DisplayList::slot(int position) {
    if (position < 0 || position >= kSlots) {
        throw Error::of(err::SubscriptOutOfRange);
    }
    return items_[std::size_t(position)];
}

const DisplayItem& DisplayList::slot(int position) const {
    return const_cast<DisplayList*>(this)->slot(position);
}

void DisplayList::initDisplayList(bool forceClear, bool preloadImages) {
    trappedVoid(log_, QStringLiteral("initDisplayList"), [&] {
        // The backup must see the old items' pictures, so it comes before the reset.
        if (preloadImages && !forceClear) {
            images_.backup();
        } else {
            images_.clear();
        }
        numDLitems_ = 0;
        downloadIndex = -1;
        resetSlots();
    });
}

void DisplayList::resetSlots() {
    for (int i = 0; i < kResetSlots; ++i) {
        slot(i) = DisplayItem();
    }
}

bool DisplayList::addItem(const QString& fileName, const QString& caption,
                          const QString& sourceName, bool cycle, bool active, bool needsDownloading,
                          const QString& radarID) {
    return trapped(log_, QStringLiteral("addItem"), false, [&] {
        if (numDLitems_ + 1 >= kResetSlots) {
            return false;
        }
        if (FileExists(log_, fileName) && RadarUnavailableImage(fileName)) {
            return false;
        }
        DisplayItem& item = slot(numDLitems_);
        item.index = qint16(numDLitems_);
        item.active = active;
        item.needsDownloading = needsDownloading;
        item.fileName = fileName;
        item.caption = caption;
        item.sourceName = sourceName;
        item.radarID = radarID;
        item.cycleStart = cycle;
        item.cycleEnd = cycle;
        item.pictureLoaded = false;
        ++numDLitems_;
        return true;
    });
}

void DisplayList::setItemNeedsDownloadingFlag(qint16 index, bool value) {
    trappedVoid(log_, QStringLiteral("setItemNeedsDownloadingFlag"), [&] {
        if (holdsItem(index)) {
            slot(index).needsDownloading = value;
        }
    });
}

void DisplayList::setItemActiveFlag(qint16 index, bool value) {
    trappedVoid(log_, QStringLiteral("setItemActiveFlag"), [&] {
        if (holdsItem(index)) {
            slot(index).active = value;
        }
    });
}

void DisplayList::setPictureLoaded(qint16 index, bool value) {
    trappedVoid(log_, QStringLiteral("setPictureLoaded"), [&] {
        if (holdsItem(index)) {
            slot(index).pictureLoaded = value;
        }
    });
}

DisplayItem DisplayList::findItemByFileName(const QString& fileName) const {
    return quietly([&](DisplayItem& found) {
        for (int i = 0; i < numDLitems_; ++i) {
            const DisplayItem& item = slot(i);
            if (item.active && item.fileName == fileName) {
                found = withoutPicture(item);
                return;
            }
        }
    });
}

DisplayItem DisplayList::getNextItemForDownload(qint32 start) const {
    return quietly([&](DisplayItem& found) {
        if (start < 0 || start >= numDLitems_) {
            return;
        }
        for (int i = start; i < numDLitems_; ++i) {
            if (slot(i).needsDownloading) {
                found = withoutPicture(slot(i));
                return;
            }
        }
    });
}

void DisplayList::calculateAllCycleCounts() {
    trappedVoid(log_, QStringLiteral("calculateAllCycleCounts"), [&] {
        int last = 0;
        int previous = 0;
        bool seenFirst = false;
        for (int i = 0; i < numDLitems_; ++i) {
            DisplayItem& item = slot(i);
            item.cycleStart = false;
            item.cycleEnd = false;
            if (!item.active) {
                continue;
            }
            if (i > 0) {
                previous = last;
            }
            last = i;
            if (!seenFirst) {
                item.cycleStart = true;
                seenFirst = true;
            } else if (slot(previous).radarID != item.radarID) {
                item.cycleStart = true;
                slot(previous).cycleEnd = true;
            }
        }
        // Without any active item there is no cycle to close; an inactive item never
        // carries a flag.
        if (seenFirst) {
            slot(last).cycleEnd = true;
        }
    });
}

DisplayItem DisplayList::getNextItem(qint16 start) const {
    return trapped(log_, QStringLiteral("getNextItem"), DisplayItem(), [&] {
        for (int i = start; i < numDLitems_; ++i) {
            if (slot(i).active) {
                return withoutPicture(slot(i));
            }
        }
        // A cursor left beyond a shrunken list wraps round like one at its end.
        const int wrapEnd = std::min<int>(start, numDLitems_);
        for (int i = 0; i < wrapEnd; ++i) {
            if (slot(i).active) {
                return withoutPicture(slot(i));
            }
        }
        return DisplayItem();
    });
}

DisplayItem DisplayList::itemAt(int index) const {
    return holdsItem(index) ? withoutPicture(items_[std::size_t(index)]) : DisplayItem();
}

KeptPicture DisplayList::picture(int index) const {
    return holdsItem(index) ? items_[std::size_t(index)].picture : KeptPicture();
}

bool DisplayList::setPicture(int index, const KeptPicture& picture) {
    if (!holdsItem(index)) {
        return false;
    }
    KeptPicture& held = items_[std::size_t(index)].picture;
    if (pictureBytes() - held.byteCount() + picture.byteCount() > kPictureBudgetBytes) {
        return false;
    }
    held = picture;
    return true;
}

qint64 DisplayList::pictureBytes() const {
    qint64 total = 0;
    for (int i = 0; i < numDLitems_; ++i) {
        total += items_[std::size_t(i)].picture.byteCount();
    }
    return total;
}

} // namespace nimbuscope
