#pragma once

#include <QString>

namespace nimbuscope {

/// The user's working folder: `tempFolder` (one trailing "/" or "\" dropped) +
/// "/Nimbuscope/tmp-" + the user name with every blank and separator turned into "-", or
/// "all" when the name is empty.
QString workingFolderFor(const QString& tempFolder, const QString& userName);

/// Creates the shared "Nimbuscope" folder, the user's working folder and its "data"
/// subfolder, and answers the working folder to use. Folders that exist already are fine.
/// The shared folder is open to every user and sticky, like the temporary folder itself, so
/// that each user can add a folder of their own; the user's folder is private to them. When
/// a folder of that name exists but is not this user's own (a link, or another owner), a
/// fresh private folder beside it is used instead: nobody else may read the cache and logs
/// or point them at other files.
QString makeWorkingFolders(const QString& tempFolder, const QString& userName);

} // namespace nimbuscope
