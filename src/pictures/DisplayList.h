#pragma once

#include "pictures/DisplayListImages.h"
#include "pictures/KeptPicture.h"

#include <QString>

#include <array>

namespace nimbuscope {

class Log;

/// One radar frame of the animation. Records handed out by DisplayList are copies without
/// the picture; changing a copy does not change the list.
struct DisplayItem {
    qint16 index = -1;
    bool active = false;
    bool needsDownloading = false;
    bool cycleStart = false;
    bool cycleEnd = false;
    QString caption;
    QString fileName;
    QString sourceName;
    QString radarID;
    bool pictureLoaded = false;
    /// Shared with the picture backup; a null picture is "no picture".
    KeptPicture picture;
};

/// The saver's table of radar frames in list order: acquisition fills it and flags which
/// frames still need downloading and which may be shown, the presentation walks it round and
/// round. Positions 0 to numDLitems() - 1 hold items. Owns the picture store that carries
/// decoded pictures across a rebuild.
class DisplayList {
public:
    static constexpr int kSlots = 301;
    /// Slots that a rebuild resets.
    static constexpr int kResetSlots = 300;
    /// The list never holds more items than this.
    static constexpr int kMaxItems = 299;
    /// The most the kept pictures may hold. Radar frames pack to tens of kilobytes, so a full
    /// list stays far below it; frames of a damaged or hostile server (each up to the
    /// picture limit) would otherwise be held for the whole run.
    static constexpr qint64 kPictureBudgetBytes = qint64(256) * 1024 * 1024;

    explicit DisplayList(Log& log);
    DisplayList(const DisplayList&) = delete;
    DisplayList& operator=(const DisplayList&) = delete;

    /// Empties the list for a new pass. With `preloadImages` (the saver's setting at this
    /// moment) and without `forceClear` the loaded pictures are backed up first; otherwise
    /// the backup is cleared.
    void initDisplayList(bool forceClear, bool preloadImages);

    /// Appends a frame; false when the list is full or `fileName` is a cached
    /// radar-unavailable answer. The cycle flag sets both cycleStart and cycleEnd.
    bool addItem(const QString& fileName, const QString& caption, const QString& sourceName,
                 bool cycle, bool active, bool needsDownloading, const QString& radarID);

    /// The setters change the item at `index` only when 0 <= index < numDLitems().
    void setItemNeedsDownloadingFlag(qint16 index, bool value);
    void setItemActiveFlag(qint16 index, bool value);
    void setPictureLoaded(qint16 index, bool value);

    /// The first active item whose file path equals `fileName` exactly, or the empty record.
    DisplayItem findItemByFileName(const QString& fileName) const;
    /// The first item from `start` on that needs downloading, or the empty record; no wrap.
    DisplayItem getNextItemForDownload(qint32 start) const;
    /// Marks the first and last active item of every run of equal radarID.
    void calculateAllCycleCounts();
    /// The first active item from `start` on, wrapping round to position 0; the empty record
    /// when no item is active.
    DisplayItem getNextItem(qint16 start) const;

    /// A copy of the item at `index` without its picture, or the empty record.
    DisplayItem itemAt(int index) const;
    /// The item's decoded picture (shared, not copied), or a null picture.
    KeptPicture picture(int index) const;
    bool hasPicture(int index) const { return !picture(index).isNull(); }
    /// Keeps `picture` in the item at `index` (0 <= index < numDLitems()); a null picture
    /// releases it. A picture that would take the list's pictures past kPictureBudgetBytes
    /// is not kept (false): the item is then shown from its file, as without preloading.
    /// pictureLoaded is left to setPictureLoaded.
    bool setPicture(int index, const KeptPicture& picture);
    /// The memory the items' pictures hold.
    qint64 pictureBytes() const;

    qint32 numDLitems() const { return numDLitems_; }
    DisplayListImages& images() { return images_; }
    const DisplayListImages& images() const { return images_; }

    /// Position of the frame whose download is in progress, -1 when none; the frame
    /// download manager keeps it.
    qint16 downloadIndex = -1;

private:
    friend class DisplayListImages;

    bool holdsItem(int index) const { return index >= 0 && index < numDLitems_; }
    /// The slot at `position`; raises "Subscript out of range" outside the table.
    DisplayItem& slot(int position);
    const DisplayItem& slot(int position) const;
    void resetSlots();

    Log& log_;
    std::array<DisplayItem, kSlots> items_;
    qint32 numDLitems_ = 0;
    DisplayListImages images_;
};

} // namespace nimbuscope
