#pragma once

#include <QString>

#include <memory>

namespace nimbuscope {

class FolderHandle;

/// The user's working folder: `tempFolder` (one trailing "/" or "\" dropped) +
/// "/Nimbuscope/tmp-" + the user name with every blank and separator turned into "-", or
/// "all" when the name is empty.
QString workingFolderFor(const QString& tempFolder, const QString& userName);

/// The user's working folder and its "data" cache folder, held open so that every file the
/// saver writes, renames or deletes there is reached through them; or, when no safe folder
/// could be had, neither and the reason.
struct WorkingFolders {
    std::shared_ptr<const FolderHandle> folder;
    std::shared_ptr<const FolderHandle> data;
    /// Why there are no folders; empty when there are.
    QString refusal;

    /// The working folder's path without a trailing separator; empty without one.
    QString path() const;
    /// The cache folder's path ending in a separator. Without one it is a path below which
    /// nothing can exist, so that a run without a cache finds no file and names none in a
    /// folder others may write.
    QString dataPath() const;
    /// The cache folder when `dataDirectory` is its path, else null.
    std::shared_ptr<const FolderHandle> dataAt(const QString& dataDirectory) const;
};

/// Makes (or finds) the shared "Nimbuscope" folder under `tempFolder`, the user's working
/// folder in it and its "data" subfolder. The shared folder is open to every user and
/// sticky, like the temporary folder itself, so that each user can add a folder of their
/// own; it is used only when it is this user's or root's and others cannot rename what is in
/// it (sticky, or not writable by others). The user's folder is private. When a folder of
/// that name exists but is not this user's own (a link, or another owner), a fresh private
/// folder beside it is used instead. A "data" that is not a folder of the user's own is
/// replaced. Nothing is reached through a link below the temporary folder.
WorkingFolders makeWorkingFolders(const QString& tempFolder, const QString& userName);

/// The user's cache folder as `makeWorkingFolders` leaves it, found without making, mending
/// or replacing anything on the way; null when a folder there is missing or not safe.
std::shared_ptr<const FolderHandle> findCacheFolder(const QString& tempFolder,
                                                    const QString& userName);

/// Makes `folders` when they were never made, or made and since removed; when no safe
/// folder can be had, says why once on standard error and leaves them empty (the saver then
/// runs from memory, without a cache or log).
void prepareWorkingFolders(WorkingFolders& folders, const QString& tempFolder,
                           const QString& userName);

} // namespace nimbuscope
