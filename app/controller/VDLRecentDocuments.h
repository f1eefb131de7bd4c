#pragma once
// The files opened last, newest first, kept in the user defaults ("RecentDocuments", the paths
// one to a line) for the File menu's Open Recent. Files that no longer exist are left out of the
// list the menu shows; at most kLimit are kept.
#include <QString>
#include <QStringList>

class VDLRecentDocuments {
public:
    static constexpr int kLimit = 10;
    // The remembered files that still exist, newest first.
    static QStringList list();
    // PATH to the front (made absolute; an earlier entry for it goes), and into the desktop's
    // list of recently used files.
    static void note(const QString& path);
    // Only into the desktop's list (a copy saved with Save To). Never fails: a list that cannot
    // be updated is logged and left as it was. Written from the event loop, the files noted
    // meanwhile together (flushDesktopNotes writes them at once).
    static void noteForDesktop(const QString& path);
    static void flushDesktopNotes();
    static void clear();
};
