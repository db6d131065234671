#include "ShellNamespace.h"
#include "ShellItems.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

namespace shellns {

size_t itemSize(PCItemIDList p)
{
    const size_t n = size_t(p[0]) | size_t(p[1]) << 8;
    return n < 2 ? 0 : n;
}

} // namespace shellns

using shellns::itemSize;

namespace {

// The bytes of the items, without the terminator.
size_t itemsSize(PCItemIDList list)
{
    size_t total = 0;
    for (size_t n; (n = itemSize(list + total)) != 0;)
        total += n;
    return total;
}

PItemIDList copyItems(PCItemIDList from, size_t bytes)
{
    PItemIDList out = IdListAlloc(bytes + 2);
    if (out && bytes)
        std::memcpy(out, from, bytes);
    return out;
}

} // namespace

PItemIDList IdListAlloc(size_t n)
{
    return static_cast<PItemIDList>(std::calloc(n ? n : 1, 1));
}

void IdListFree(PItemIDList list)
{
    std::free(list);
}

size_t IdListSize(PCItemIDList list)
{
    return list ? itemsSize(list) + 2 : 0;
}

PItemIDList IdListCopyFirst(PCItemIDList list)
{
    return list ? copyItems(list, itemSize(list)) : nullptr;
}

PItemIDList IdListConcat(PCItemIDList a, PCItemIDList b)
{
    const size_t na = a ? itemsSize(a) : 0, nb = b ? itemsSize(b) : 0;
    PItemIDList out = IdListAlloc(na + nb + 2);
    if (!out)
        return nullptr;
    if (na)
        std::memcpy(out, a, na);
    if (nb)
        std::memcpy(out + na, b, nb);
    return out;
}

PItemIDList IdListConcatFree(PItemIDList a, PItemIDList b)
{
    PItemIDList out = IdListConcat(a, b);
    IdListFree(a);
    IdListFree(b);
    return out;
}

PCItemIDList IdListNext(PCItemIDList list)
{
    if (!list)
        return nullptr;
    const size_t first = itemSize(list);
    if (first == 0 || itemSize(list + first) == 0)
        return nullptr;
    return list + first;
}

PItemIDList IdListParent(PCItemIDList list)
{
    if (!list || !IdListNext(list))
        return nullptr;
    size_t upToLast = 0, at = 0;
    for (size_t n; (n = itemSize(list + at)) != 0; at += n)
        upToLast = at;
    return copyItems(list, upToLast);
}

PItemIDList IdListLast(PCItemIDList list)
{
    if (!list)
        return nullptr;
    size_t last = 0, at = 0;
    for (size_t n; (n = itemSize(list + at)) != 0; at += n)
        last = at;
    return copyItems(list + last, itemSize(list + last));
}

// ---- mounts ----------------------------------------------------------------------------------

namespace {

// mountinfo writes space, tab, newline and backslash in paths as three octal digits.
QString unescapeMountPath(const QByteArray &field)
{
    const auto octal = [](char c) { return c >= '0' && c <= '7'; };
    QByteArray out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && octal(field[i + 1]) && octal(field[i + 2]) &&
            octal(field[i + 3])) {
            out.append(char((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0')));
            i += 3;
            continue;
        }
        out.append(field[i]);
    }
    return QFile::decodeName(out);
}

bool systemFileSystem(const QByteArray &type)
{
    static const char *const kinds[] = {"proc",     "sysfs",      "devtmpfs",   "devpts",  "tmpfs",   "cgroup",
                                        "cgroup2",  "securityfs", "pstore",     "debugfs", "tracefs", "configfs",
                                        "fusectl",  "mqueue",     "hugetlbfs",  "bpf",     "autofs",  "binfmt_misc",
                                        "efivarfs", "ramfs",      "rpc_pipefs", "nsfs",    "overlay", "squashfs"};
    return std::any_of(std::begin(kinds), std::end(kinds), [&](const char *k) { return type == k; });
}

} // namespace

QStringList VisibleMounts(const QByteArray &mountinfo, const QString &user)
{
    QStringList out{QStringLiteral("/")};
    const QString runMedia = QStringLiteral("/run/media/") + user + QLatin1Char('/');
    for (const QByteArray &line : mountinfo.split('\n')) {
        // id parent major:minor root mount-point options [optional fields] - type source options
        const QList<QByteArray> f = line.split(' ');
        const qsizetype dash = f.indexOf("-");
        if (f.size() < 5 || dash < 6 || dash + 1 >= f.size())
            continue;
        if (systemFileSystem(f[dash + 1]))
            continue;
        const QString point = unescapeMountPath(f[4]);
        if ((point.startsWith(QLatin1String("/media/")) && point.size() > 7) ||
            (!user.isEmpty() && point.startsWith(runMedia) && point.size() > runMedia.size()))
            out.append(point);
    }
    std::sort(out.begin() + 1, out.end());
    out.erase(std::unique(out.begin() + 1, out.end()), out.end());
    return out;
}

QStringList ReadVisibleMounts()
{
    QFile f(QStringLiteral("/proc/self/mountinfo"));
    const QByteArray text = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    return VisibleMounts(text, qEnvironmentVariable("USER", QDir::home().dirName()));
}

// ---- items of the namespace ---------------------------------------------------------------

namespace shellns {

bool readItem(PCItemIDList p, Item &item)
{
    const size_t n = itemSize(p);
    if (n < 4)
        return false;
    item.kind = char(p[2]);
    item.flags = p[3];
    item.name = QByteArray(reinterpret_cast<const char *>(p + 4), qsizetype(n - 4));
    return item.kind == kComputer || item.kind == kAnchor || item.kind == kChild;
}

TIdList makeItem(char kind, uint8_t flags, const QByteArray &name)
{
    const size_t n = size_t(name.size()) + 4;
    if (n > 0xFFFF)
        return nullptr;
    TIdList list(IdListAlloc(n + 2));
    if (!list)
        return nullptr;
    list.get()[0] = uint8_t(n & 0xFF);
    list.get()[1] = uint8_t(n >> 8);
    list.get()[2] = uint8_t(kind);
    list.get()[3] = flags;
    std::memcpy(list.get() + 4, name.constData(), size_t(name.size()));
    return list;
}

QString desktopFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
}

QString homeFolder()
{
    return QDir::homePath();
}

QString join(const QString &folder, const QByteArray &name)
{
    return (folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/')) + QFile::decodeName(name);
}

int flagsOf(const QString &path)
{
    const QByteArray p = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(p.constData(), &st) != 0)
        return -1;
    uint8_t f = 0;
    if (S_ISLNK(st.st_mode)) {
        f |= fLink;
        if (::stat(p.constData(), &st) != 0)
            return f; // a dangling link is an item, not a folder
    }
    if (S_ISDIR(st.st_mode))
        f |= fFolder;
    const QString name = QFileInfo(path).fileName();
    if (name.startsWith(QLatin1Char('.')))
        f |= fHidden;
    return f;
}

bool wanted(uint8_t flags, uint32_t contf)
{
    if ((flags & fHidden) && !(contf & SHCONTF_INCLUDEHIDDEN))
        return false;
    return (flags & fFolder) ? (contf & SHCONTF_FOLDERS) : (contf & SHCONTF_NONFOLDERS);
}

bool under(const QString &path, const QString &prefix)
{
    if (prefix == QLatin1String("/"))
        return path.startsWith(QLatin1Char('/'));
    return path == prefix || path.startsWith(prefix + QLatin1Char('/'));
}

Target walk(char kind, const QString &path, PCItemIDList relative)
{
    Target t{kind, path, fFolder, true};
    for (PCItemIDList p = relative; p && itemSize(p) != 0; p += itemSize(p)) {
        Item item;
        if (!readItem(p, item) || !(t.flags & fFolder))
            return {t.kind, {}, 0, false};
        if (item.kind == kComputer && t.kind == 'D') {
            t = {'C', {}, fFolder, true};
        } else if (item.kind == kAnchor && (t.kind == 'D' || t.kind == 'C') && item.name.startsWith('/')) {
            t = {'P', QFile::decodeName(item.name), item.flags, true, t.kind == 'C'};
        } else if (item.kind == kChild && t.kind == 'P' && !item.name.isEmpty() && !item.name.contains('/')) {
            t = {'P', join(t.path, item.name), item.flags, true};
        } else {
            return {t.kind, {}, 0, false};
        }
    }
    return t;
}

} // namespace shellns
