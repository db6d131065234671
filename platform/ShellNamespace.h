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

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

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

// ---- folders of the namespace
//
// The desktop "ﾃﾞｽｸﾄｯﾌﾟ" (the empty list) holds "ﾏｲ ｺﾝﾋﾟｭｰﾀ", the home folder and the items of
// the XDG desktop folder; My Computer holds "/" and the visible mounts. Below those the items
// are the file system's. An item's data is a kind byte, a flags byte and a name: the full path
// for the items a virtual folder holds, the file name for a file-system folder's children.
// Paths compare exactly (file systems are case-sensitive); nothing resolves against the
// working folder.

enum : uint32_t {
    SHCONTF_FOLDERS = 0x20,
    SHCONTF_NONFOLDERS = 0x40,
    SHCONTF_INCLUDEHIDDEN = 0x80,
    SHGDN_NORMAL = 0,
    SHGDN_INFOLDER = 1,
    SHGDN_FORPARSING = 0x8000,
    SFGAO_LINK = 0x10000,
    SFGAO_FILESYSANCESTOR = 0x10000000,
    SFGAO_FOLDER = 0x20000000,
    SFGAO_HASSUBFOLDER = 0x80000000,
};

// One item of a listing with what the browsing pane shows of it, read in one pass.
struct TShellItem {
    TIdList id;   // relative to the folder listed
    QString name; // the in-folder name (when asked for)
    bool folder = false, link = false, hidden = false;
    bool found = false; // size and time could be read
    int64_t size = 0;   // bytes (of a link's target); 0 for folders
    int64_t mtime = 0;  // last write, seconds since the epoch
};

// The name of a file-system folder's child item, from its bytes; null for any other item.
QString ChildName(PCItemIDList relative);
// Whether the folder at path holds a sub-folder; reading stops at the first one.
bool HasSubFolder(const QString &path);

// What an item's icon shows.
enum class TIconKind { Desktop, Computer, Home, Drive, Folder, File };

class TShellFolder {
public:
    // The root of the namespace.
    static std::unique_ptr<TShellFolder> Desktop();

    // The folder a relative list (from this folder) names; null when it names no folder that
    // is there.
    std::unique_ptr<TShellFolder> BindToObject(PCItemIDList relative) const;
    // A full path to a list relative to this folder (absolute when this is the desktop): the
    // route is the longest of the desktop folder, home and a visible mount that holds the path,
    // else "/". Null for a path that is not absolute or not there.
    TIdList ParseDisplayName(const QString &path) const;
    // This folder's items, in the order they come: SHCONTF_* flags choose folders, other items
    // and hidden ones (names starting with a dot). Empty and false when the folder cannot be read.
    bool EnumObjects(uint32_t flags, std::vector<TIdList> &items) const;
    // EnumObjects with each item's flags and, as asked, its name (kWantNames; a virtual
    // folder's items always have theirs) and its size and time (kWantDetails, one fstatat an
    // item), so a listing never asks again item by item. An early stop (stop set from another
    // thread) gives false, as a folder that cannot be read does.
    enum : uint32_t { kWantNames = 1, kWantDetails = 2 };
    bool EnumItems(uint32_t flags, uint32_t wants, std::vector<TShellItem> &items,
                   const std::atomic<bool> *stop = nullptr) const;
    // Items in the order CompareIDs gives their ids.
    void SortItems(std::vector<TShellItem> &items) const;
    // SHGDN_NORMAL and SHGDN_INFOLDER: the name shown; SHGDN_FORPARSING: the full path (for
    // virtual folders a name that is not a path). Empty for a damaged id.
    QString GetDisplayNameOf(PCItemIDList relative, uint32_t flags) const;
    // The bits of mask that hold for the item (SFGAO_*).
    uint32_t GetAttributesOf(PCItemIDList relative, uint32_t mask) const;
    // The picture an item of this folder is shown with; asks nothing of the disk.
    TIconKind IconKindOf(PCItemIDList relative) const;
    // Negative, zero or positive: virtual items first, then folders before other items, then
    // names with case ignored and numbers by value ("IMG2" before "IMG10"), then exactly.
    int CompareIDs(PCItemIDList a, PCItemIDList b) const;
    // Renames an item of a file-system folder; the new relative id, or null when refused (an
    // empty name, ".", "..", one holding "/", over 255 bytes, or one that is taken: nothing is
    // ever replaced).
    TIdList SetNameOf(PCItemIDList relative, const QString &name) const;

    // This folder's absolute list, and its path (empty for a virtual folder).
    PCItemIDList IdList() const { return m_list.get(); }
    QString Path() const { return m_path; }

private:
    TShellFolder(TIdList list, QString path, char kind);
    TIdList m_list;
    QString m_path;
    char m_kind; // 'D' desktop, 'C' My Computer, 'P' a file-system folder
};

// The folder that holds an absolute list's last item, and that item; for the desktop itself,
// the desktop and the empty list. folder is null when the holder is no longer there.
struct TItemInFolder {
    std::unique_ptr<TShellFolder> folder;
    TIdList item;
};
TItemInFolder SplitIdList(PCItemIDList absolute);
