#pragma once

#include "pictures/KeptPicture.h"

#include <QString>

#include <array>

namespace nimbuscope {

class DisplayList;
class Log;

/// One saved picture: the frame file it was decoded from and a second reference to the very
/// picture the list item held.
struct ImageBackupEntry {
    QString path;
    KeptPicture picture;
};

/// Keeps the decoded pictures of a display list across its rebuild, so that frames that are
/// still listed need not be decoded (nor downloaded) again. Belongs to one DisplayList.
class DisplayListImages {
public:
    static constexpr int kBackupSlots = 301;
    /// Slots 0 to 299 are the ones a backup can fill and `clear` releases.
    static constexpr int kClearedSlots = 300;

    DisplayListImages(Log& log, DisplayList& list);
    DisplayListImages(const DisplayListImages&) = delete;
    DisplayListImages& operator=(const DisplayListImages&) = delete;

    /// Drops every saved picture reference; the saved paths and the count stay as they are.
    void clear();
    /// Saves path and picture of every item that holds a loaded picture.
    void backup();
    /// Gives each saved picture back to the first item with exactly the same file path and
    /// marks that item shown and downloaded; then drops the backup.
    void restore();

    bool hasBackup() const { return hasBackup_; }
    qint32 backupCount() const { return backupCount_; }

private:
    void fillFromList();
    void giveBackToList();

    Log& log_;
    DisplayList& list_;
    std::array<ImageBackupEntry, kBackupSlots> entries_;
    qint32 backupCount_ = 0;
    bool hasBackup_ = false;
};

} // namespace nimbuscope
