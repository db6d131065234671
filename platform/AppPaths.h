#pragma once

#include <QString>

// The folder of the running program with a trailing "/"; "def.jpg" and "PL2.hlp" live there.
QString ProgramFolder();

// The folder part of Path without a trailing "/", except for the root, which keeps it.
QString FolderOf(const QString &path);

// Path's extension from its last "." on (dot included), empty when the file name has none.
QString ExtractFileExt(const QString &path);
