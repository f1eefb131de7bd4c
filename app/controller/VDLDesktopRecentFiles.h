#pragma once
// The desktop's list of recently used files ($XDG_DATA_HOME/recently-used.xbel, by default
// ~/.local/share/recently-used.xbel), which the file dialogs, launchers and file managers of
// GNOME and KDE show. Every design the application opens or saves is added to it: an XBEL
// bookmark with the file's URI, its added, modified and visited times, its MIME type and the
// application that used it ("Vardelle", "vardelle %u", with a count and the time of the last use).
//
// The list belongs to the whole desktop: an entry of the same file is updated (not duplicated),
// every other entry stays exactly as it was written, the file is replaced atomically, and a list
// that cannot be read or understood is left alone. Nothing here ever fails an open or a save.
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

class VDLDesktopRecentFiles {
public:
    static constexpr const char* kApplicationName = "Vardelle";
    static constexpr const char* kApplicationExec = "vardelle %u";

    // Where the list is: $XDG_DATA_HOME (when set to an absolute path) or ~/.local/share.
    static QString path();
    // Adds FILE (made absolute) to the list, or updates its entry. False, with the reason in
    // PROBLEM, when the list was left as it was; the caller only logs it.
    static bool add(const QString& file, QString* problem = nullptr);
    // The same for several files at once: one read and one write of the list.
    static bool add(const QStringList& files, QString* problem = nullptr);
    // The MIME type the desktop knows FILE's format by ("application/x-dst", ...).
    static QString mimeTypeFor(const QString& file);
    // The text of the list EXISTING ("" for none yet) with FILE's entry added or updated at NOW;
    // nullopt when EXISTING is not a list this can update without losing anything of it.
    static std::optional<QString> updatedList(const QString& existing, const QString& file, const QString& mimeType,
                                              const QDateTime& now);
};
