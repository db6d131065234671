#pragma once
// The shell namespace stand-in, first part: item identifier lists. A list is a sequence of
// items, each a 16-bit little-endian byte count (the two count bytes included) followed by
// count - 2 bytes of opaque data, ended by a zero count. An absolute list starts at the desktop
// (which is the empty list, two zero bytes); a relative one at some folder. Lists are malloc'd
// (the shell allocator's stand-in): every function that returns a new list returns one to give
// to IdListFree (or to a TIdList), null when allocation fails. A count below 2 ends a list as
// a zero would, so a damaged list can never make a walk step backwards or stand still.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <memory>

using PItemIDList = uint8_t *;
using PCItemIDList = const uint8_t *;

// n bytes, zero-filled.
PItemIDList IdListAlloc(size_t n);
// Null is ignored.
void IdListFree(PItemIDList list);
// Total bytes with the 2-byte terminator; 0 for null.
size_t IdListSize(PCItemIDList list);
// A new list of the first item alone (the empty list for an empty one); null for null.
PItemIDList IdListCopyFirst(PCItemIDList list);
// A new list: a's items, then b's; either may be null.
PItemIDList IdListConcat(PCItemIDList a, PCItemIDList b);
// IdListConcat, then both inputs freed.
PItemIDList IdListConcatFree(PItemIDList a, PItemIDList b);
// Where the second item starts; null when the list is empty or holds one item only.
PCItemIDList IdListNext(PCItemIDList list);
// A new list of every item but the last; null for null, the empty list or a single item.
PItemIDList IdListParent(PCItemIDList list);
// A new list of the last item alone (the empty list for an empty one); null for null.
PItemIDList IdListLast(PCItemIDList list);

struct TIdListFree {
    void operator()(PItemIDList list) const { IdListFree(list); }
};
using TIdList = std::unique_ptr<uint8_t, TIdListFree>;

// ---- what "ﾏｲ ｺﾝﾋﾟｭｰﾀ" holds

// The mount points a person would look for, from the text of /proc/self/mountinfo: "/" first,
// then the media mounted under /media/ and /run/media/<user>/, sorted, each once; system file
// systems (proc, sysfs, cgroup, tmpfs, ...) never. Escapes in paths ("\040") are undone.
QStringList VisibleMounts(const QByteArray &mountinfo, const QString &user);
// VisibleMounts of this process's mount table, read as text only: a mount is never asked
// anything (statfs on a dead network mount would hang).
QStringList ReadVisibleMounts();
