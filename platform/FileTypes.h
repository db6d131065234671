#pragma once
// Registers a file type of ours with the desktop for the current user: a shared-mime-info
// package (the type, its comment, its file-name pattern) in $XDG_DATA_HOME/mime and a desktop
// entry that opens such files with the program, in $XDG_DATA_HOME/applications. Idempotent and
// cheap when nothing changes: files are written, and the desktop's database tools run, only when
// their content differs. Throws EInOutError when a file cannot be written.

#include <QString>

struct TDesktopFileType {
    QString packageName; // file name of the mime package, with a vendor prefix
    QString mimeType;    // "application/x-..."
    QString comment;
    QString glob;      // "*.jpz"
    QString desktopId; // file name of the desktop entry
    QString appName;
    QString exe; // the program's full path; the file is its one argument
};

// true: install or update; false: remove. Returns whether anything changed on disk.
bool RegisterDesktopFileType(const TDesktopFileType &type, bool on);
