#include "pictures/DisplayListImages.h"

#include "pictures/DisplayList.h"
#include "support/Error.h"

namespace nimbuscope {

DisplayListImages::DisplayListImages(Log& log, DisplayList& list) : log_(log), list_(list) {}

void DisplayListImages::clear() {
    trappedVoid(log_, QStringLiteral("DLI:clear"), [&] {
        hasBackup_ = false;
        for (int i = 0; i < kClearedSlots; ++i) {
            entries_[std::size_t(i)].picture = KeptPicture();
        }
    });
}

void DisplayListImages::backup() {
    try {
        backupCount_ = 0;
        clear();
        fillFromList();
        hasBackup_ = backupCount_ > 0;
    } catch (const std::exception& e) {
        logTrappedError(log_, QStringLiteral("DLI:backup"), asError(e));
        backupCount_ = 0;
        hasBackup_ = false;
    }
}

void DisplayListImages::fillFromList() {
    for (int i = 0; i < list_.numDLitems(); ++i) {
        const DisplayItem& item = list_.slot(i);
        if (item.picture.isNull() || !item.pictureLoaded) {
            continue;
        }
        if (backupCount_ >= kBackupSlots) {
            throw Error::of(err::SubscriptOutOfRange);
        }
        ImageBackupEntry& entry = entries_[std::size_t(backupCount_)];
        entry.path = item.fileName;
        entry.picture = item.picture;
        ++backupCount_;
    }
}

void DisplayListImages::restore() {
    try {
        // Entries left over from a cleared backup carry no picture: restoring their paths
        // would mark frames as downloaded that may not be on disk.
        if (hasBackup_) {
            giveBackToList();
        }
        clear();
    } catch (const std::exception& e) {
        logTrappedError(log_, QStringLiteral("DLI:restore"), asError(e));
        backupCount_ = 0;
        hasBackup_ = false;
    }
}

void DisplayListImages::giveBackToList() {
    for (int j = 0; j < backupCount_; ++j) {
        const ImageBackupEntry& entry = entries_[std::size_t(j)];
        for (int i = 0; i < list_.numDLitems(); ++i) {
            DisplayItem& item = list_.slot(i);
            if (item.fileName == entry.path) {
                item.picture = entry.picture;
                item.pictureLoaded = true;
                item.needsDownloading = false;
                item.active = true;
                break;
            }
        }
    }
}

} // namespace nimbuscope
