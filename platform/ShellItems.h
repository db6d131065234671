#pragma once
// What the namespace's items hold, shared by the files that make and read them. An item's data
// is a kind byte, a flags byte and a name: the full path for the items a virtual folder holds
// (anchors), the file name for a file-system folder's children.

#include "ShellNamespace.h"

#include <QByteArray>
#include <QString>

#include <string>

namespace shellns {

enum : char { kComputer = 'C', kAnchor = 'A', kChild = 'F' };
enum : uint8_t { fFolder = 1, fLink = 2, fHidden = 4 };

inline const QString kDesktopName = QStringLiteral("ﾃﾞｽｸﾄｯﾌﾟ");
inline const QString kComputerName = QStringLiteral("ﾏｲ ｺﾝﾋﾟｭｰﾀ");
// Not a path, so nothing takes it for a folder on disk.
inline const QString kComputerParsing = QStringLiteral("computer:///");

struct Item {
    char kind = 0;
    uint8_t flags = 0;
    QByteArray name;
};

// The byte count of the item at p, 0 when p is the terminator (or a damaged count).
size_t itemSize(PCItemIDList p);
// The first item of a list; false for the terminator or a damaged item.
bool readItem(PCItemIDList p, Item &item);
// A one-item list; null when the name does not fit a 16-bit count.
TIdList makeItem(char kind, uint8_t flags, const QByteArray &name);

QString desktopFolder();
QString homeFolder();
QString join(const QString &folder, const QByteArray &name);
// The flags of what is at path: -1 when nothing is there.
int flagsOf(const QString &path);
// Whether SHCONTF_* flags ask for an item of these flags.
bool wanted(uint8_t flags, uint32_t contf);
bool under(const QString &path, const QString &prefix);

// Ordering: virtual items first (My Computer, then home and "/"), then folders before other
// items, then names as file managers order them (compareNames), then bytes.
int rankOf(const Item &item);
QString sortName(const Item &item);
// Case ignored and runs of digits taken by their number ("IMG2" before "IMG10"); other
// characters by their code (so kana and kanji in the order of their codes). 0 for names alike
// but for case or leading zeros: the item's bytes decide those.
int compareNames(QStringView a, QStringView b);
// Appends bytes whose memcmp order is compareNames's.
void appendNameKey(std::string &key, QStringView name);

// Where walking a relative list from a folder ends: a virtual folder or a path.
struct Target {
    char kind = 'D'; // 'D', 'C' or 'P'
    QString path;
    uint8_t flags = fFolder;
    bool ok = true;
    bool mount = false; // a mount point My Computer holds
};
Target walk(char kind, const QString &path, PCItemIDList relative);

} // namespace shellns
