#pragma once
// What a path's extension says about how to open it, read once per open: only the last
// extension counts and ASCII letters compare without case (other characters exactly).

#include <QString>

enum class TExtKind { Jpeg, Jpz, Archive, Other };

TExtKind ExtensionKind(const QString &path);

// Extension upper-casing that leaves every non-ASCII character alone.
QString AsciiUpper(const QString &s);
