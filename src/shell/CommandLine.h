#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace nimbuscope {

/// What the command line asks the saver to do.
enum class SaverMode {
    Saver,    // "/s" or an empty command line: full screen
    Preview,  // "/p <window>": the small picture inside the given window
    Setup,    // "/c": the setup dialog
    Password, // "/a <window>": the system's password change
    None,     // anything else: end at once
};

/// The command line as a value.
struct CommandLine {
    /// The first two characters, lower-cased: the only part that picks the mode.
    QString switchText;
    SaverMode mode = SaverMode::None;
    /// The number read from the third character on (a window handle for "/p" and "/a").
    qint32 number = 0;

    friend bool operator==(const CommandLine&, const CommandLine&) = default;
};

/// Reads the whole command line `cmd` (without the program name). Only its first two
/// characters choose the mode; a leading blank counts as one of them.
CommandLine parseCommandLine(const QString& cmd);

/// A lenient decimal reading: blanks and tabs are skipped wherever they are; then an
/// optional sign, digits and one decimal point are read up to the first other character.
/// Nothing readable gives 0. The result is rounded to the nearest 32-bit integer (halves to
/// the even neighbour) and held at the range's ends instead of overflowing.
qint32 leadingNumber(const QString& text);

/// The command line this system's callers expect, rebuilt from the argument vector without
/// the program name: arguments joined by single blanks. So `nimbuscope /p 1234`,
/// `nimbuscope "/p 1234"` and `nimbuscope /p1234` all read 1234.
QString commandLineFromArguments(const QStringList& arguments);

/// The arguments with a screen-saver host's own option taken out, and that option's window.
struct HostArguments {
    QStringList rest;
    /// The id after "--window-id" (or "-window-id"); empty when none was given.
    QString windowId;
};

/// XScreenSaver's settings run a display mode in their preview pane with "--window-id ID"
/// added to its command line; that pair is the host's, not part of the saver's switch.
HostArguments takeHostArguments(const QStringList& arguments);

/// The window a screen-saver host (XScreenSaver) hands the saver to draw in, from the
/// XSCREENSAVER_WINDOW variable: "0x" and hexadecimal digits, or decimal digits, blanks
/// round them allowed. Nothing for an id that is not a number, is 0 or does not fit 32 bits.
std::optional<quint32> parseHostWindow(const QString& text);

} // namespace nimbuscope
