#include "ShellNamespace.h"

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

namespace {

// The byte count of the item at p, 0 when p is the terminator (or a damaged count).
size_t itemSize(PCItemIDList p)
{
    const size_t n = size_t(p[0]) | size_t(p[1]) << 8;
    return n < 2 ? 0 : n;
}

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

// ---- folders ---------------------------------------------------------------------------------

namespace {

enum : char { kComputer = 'C', kAnchor = 'A', kChild = 'F' };
enum : uint8_t { fFolder = 1, fLink = 2, fHidden = 4 };

const QString kDesktopName = QStringLiteral("ﾃﾞｽｸﾄｯﾌﾟ");
const QString kComputerName = QStringLiteral("ﾏｲ ｺﾝﾋﾟｭｰﾀ");
// Not a path, so nothing takes it for a folder on disk.
const QString kComputerParsing = QStringLiteral("computer:///");

struct Item {
    char kind = 0;
    uint8_t flags = 0;
    QByteArray name; // a full path for anchors, a file name for children
};

// The first item of a list; false for the terminator or a damaged item.
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

// The flags of what is at path: -1 when nothing is there.
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

// Where walking a relative list from a folder ends: a virtual folder or a path.
struct Target {
    char kind = 'D'; // 'D', 'C' or 'P'
    QString path;
    uint8_t flags = fFolder;
    bool ok = true;
    bool mount = false; // a mount point My Computer holds
};

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

} // namespace

TShellFolder::TShellFolder(TIdList list, QString path, char kind)
    : m_list(std::move(list)), m_path(std::move(path)), m_kind(kind)
{
}

std::unique_ptr<TShellFolder> TShellFolder::Desktop()
{
    TIdList empty(IdListAlloc(2));
    if (!empty)
        return nullptr;
    return std::unique_ptr<TShellFolder>(new TShellFolder(std::move(empty), QString(), 'D'));
}

std::unique_ptr<TShellFolder> TShellFolder::BindToObject(PCItemIDList relative) const
{
    const Target t = walk(m_kind, m_path, relative);
    if (!t.ok || !(t.flags & fFolder))
        return nullptr;
    if (t.kind == 'P' && !QFileInfo(t.path).isDir())
        return nullptr;
    TIdList list(IdListConcat(m_list.get(), relative));
    if (!list)
        return nullptr;
    return std::unique_ptr<TShellFolder>(new TShellFolder(std::move(list), t.path, t.kind));
}

TIdList TShellFolder::ParseDisplayName(const QString &path) const
{
    if (m_kind != 'D' || !path.startsWith(QLatin1Char('/')))
        return nullptr;
    const QString clean = QDir::cleanPath(path);
    if (flagsOf(clean) < 0)
        return nullptr;
    // The longest route wins: the desktop folder (inside home, mostly), home, a mount, "/".
    const QString desktop = desktopFolder(), home = homeFolder();
    QString anchor;
    bool viaComputer = false;
    const QStringList mounts = ReadVisibleMounts();
    for (const QString &m : mounts)
        if (under(clean, m) && m.size() > anchor.size()) {
            anchor = m;
            viaComputer = true;
        }
    if (under(clean, home) && home.size() > anchor.size() && home != QLatin1String("/")) {
        anchor = home;
        viaComputer = false;
    }
    bool viaDesktop = false;
    if (!desktop.isEmpty() && desktop != home && under(clean, desktop) && desktop.size() >= anchor.size() &&
        QFileInfo(desktop).isDir()) {
        if (clean == desktop)
            return TIdList(IdListAlloc(2)); // the desktop itself
        viaDesktop = true;
        viaComputer = false;
        // The desktop holds its items themselves: the first part below it is the anchor.
        const qsizetype slash = clean.indexOf(QLatin1Char('/'), desktop.size() + 1);
        anchor = slash < 0 ? clean : clean.left(slash);
    }
    const int anchorFlags = flagsOf(anchor);
    if (anchorFlags < 0)
        return nullptr;
    TIdList list = viaComputer ? makeItem(kComputer, fFolder, {}) : TIdList(IdListAlloc(2));
    list.reset(
        IdListConcatFree(list.release(), makeItem(kAnchor, uint8_t(viaDesktop ? anchorFlags : anchorFlags | fFolder),
                                                  QFile::encodeName(anchor))
                                             .release()));
    QString at = anchor;
    const QStringList rest = clean.mid(anchor.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString &part : rest) {
        at = join(at, QFile::encodeName(part));
        const int f = flagsOf(at);
        if (f < 0 || !list)
            return nullptr;
        list.reset(IdListConcatFree(list.release(), makeItem(kChild, uint8_t(f), QFile::encodeName(part)).release()));
    }
    return list;
}

bool TShellFolder::EnumObjects(uint32_t flags, std::vector<TIdList> &items) const
{
    items.clear();
    const auto add = [&](TIdList id) {
        if (id)
            items.push_back(std::move(id));
    };
    if (m_kind == 'D') {
        if (flags & SHCONTF_FOLDERS) {
            add(makeItem(kComputer, fFolder, {}));
            add(makeItem(kAnchor, fFolder, QFile::encodeName(homeFolder())));
        }
        const QString desktop = desktopFolder();
        if (desktop.isEmpty() || desktop == homeFolder() || !QFileInfo(desktop).isDir())
            return true;
        for (const QString &name :
             QDir(desktop).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
            const QString path = join(desktop, QFile::encodeName(name));
            const int f = flagsOf(path);
            if (f >= 0 && wanted(uint8_t(f), flags))
                add(makeItem(kAnchor, uint8_t(f), QFile::encodeName(path)));
        }
        return true;
    }
    if (m_kind == 'C') {
        if (flags & SHCONTF_FOLDERS)
            for (const QString &m : ReadVisibleMounts())
                add(makeItem(kAnchor, fFolder, QFile::encodeName(m)));
        return true;
    }
    const QByteArray dirPath = QFile::encodeName(m_path);
    DIR *dir = ::opendir(dirPath.constData());
    if (!dir)
        return false;
    const int dfd = ::dirfd(dir);
    while (const dirent *e = ::readdir(dir)) {
        const QByteArray name(e->d_name);
        if (name == "." || name == "..")
            continue;
        uint8_t f = name.startsWith('.') ? fHidden : 0;
        unsigned char type = e->d_type;
        struct stat st {};
        if (type == DT_LNK) {
            f |= fLink;
            type = ::fstatat(dfd, e->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode) ? DT_DIR : DT_REG;
        } else if (type == DT_UNKNOWN) {
            type = ::fstatat(dfd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode) ? DT_DIR : DT_REG;
        }
        if (type == DT_DIR)
            f |= fFolder;
        if (wanted(f, flags))
            add(makeItem(kChild, f, name));
    }
    ::closedir(dir);
    return true;
}

QString TShellFolder::GetDisplayNameOf(PCItemIDList relative, uint32_t flags) const
{
    const Target t = walk(m_kind, m_path, relative);
    if (!t.ok)
        return QString();
    const bool parsing = flags & SHGDN_FORPARSING;
    switch (t.kind) {
    case 'D':
        return parsing ? desktopFolder() : kDesktopName;
    case 'C':
        return parsing ? kComputerParsing : kComputerName;
    default:
        if (parsing || t.path == QLatin1String("/"))
            return t.path;
        return QFileInfo(t.path).fileName();
    }
}

uint32_t TShellFolder::GetAttributesOf(PCItemIDList relative, uint32_t mask) const
{
    const Target t = walk(m_kind, m_path, relative);
    if (!t.ok)
        return 0;
    uint32_t a = 0;
    if (t.kind != 'P') {
        a = SFGAO_FOLDER | SFGAO_HASSUBFOLDER;
    } else if (t.mount) {
        // Asked of every mount as the tree shows My Computer: a dead network mount would hang
        // a look, so a mount point is taken for a folder with sub-folders.
        a = SFGAO_FOLDER | SFGAO_HASSUBFOLDER | SFGAO_FILESYSANCESTOR;
    } else {
        const int f = flagsOf(t.path);
        if (f < 0)
            return 0;
        if (f & fFolder)
            a |= SFGAO_FOLDER | SFGAO_FILESYSANCESTOR;
        if (f & fLink)
            a |= SFGAO_LINK;
        if ((f & fFolder) && (mask & SFGAO_HASSUBFOLDER)) {
            // One sub-folder is enough to know; a large folder is not read to its end.
            DIR *dir = ::opendir(QFile::encodeName(t.path).constData());
            if (dir) {
                const int dfd = ::dirfd(dir);
                while (const dirent *e = ::readdir(dir)) {
                    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
                        continue;
                    struct stat st {};
                    if (e->d_type == DT_DIR || ((e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) &&
                                                ::fstatat(dfd, e->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode))) {
                        a |= SFGAO_HASSUBFOLDER;
                        break;
                    }
                }
                ::closedir(dir);
            }
        }
    }
    return a & mask;
}

int TShellFolder::CompareIDs(PCItemIDList a, PCItemIDList b) const
{
    const auto rank = [](const Item &i) {
        if (i.kind == kComputer)
            return 0;
        if (i.kind == kAnchor && (QFile::decodeName(i.name) == homeFolder() || i.name == "/"))
            return 1;
        return 2;
    };
    while (true) {
        Item x, y;
        const bool hx = a && readItem(a, x), hy = b && readItem(b, y);
        if (!hx || !hy)
            return hx ? 1 : hy ? -1 : 0;
        if (rank(x) != rank(y))
            return rank(x) - rank(y);
        if ((x.flags & fFolder) != (y.flags & fFolder))
            return (x.flags & fFolder) ? -1 : 1;
        const QString nx = QFileInfo(QFile::decodeName(x.name)).fileName(),
                      ny = QFileInfo(QFile::decodeName(y.name)).fileName();
        if (const int c = QString::localeAwareCompare(nx, ny))
            return c < 0 ? -1 : 1;
        if (const int c =
                std::memcmp(x.name.constData(), y.name.constData(), size_t(std::min(x.name.size(), y.name.size()))))
            return c < 0 ? -1 : 1;
        if (x.name.size() != y.name.size())
            return x.name.size() < y.name.size() ? -1 : 1;
        a += itemSize(a);
        b += itemSize(b);
    }
}

TIdList TShellFolder::SetNameOf(PCItemIDList relative, const QString &name) const
{
    Item item;
    if (!relative || !readItem(relative, item) || itemSize(relative + itemSize(relative)) != 0)
        return nullptr;
    const QByteArray newName = QFile::encodeName(name);
    if (newName.isEmpty() || newName == "." || newName == ".." || newName.contains('/') || newName.size() > 255 ||
        newName.contains('\0'))
        return nullptr;
    QString from, folder;
    if (m_kind == 'P' && item.kind == kChild) {
        folder = m_path;
        from = join(folder, item.name);
    } else if (m_kind == 'D' && item.kind == kAnchor && !desktopFolder().isEmpty() &&
               QFileInfo(QFile::decodeName(item.name)).path() == desktopFolder()) {
        folder = desktopFolder();
        from = QFile::decodeName(item.name);
    } else {
        return nullptr; // home, "/" and mounts keep their names
    }
    const QString to = join(folder, newName);
    // Never over an existing file or folder.
    if (::renameat2(AT_FDCWD, QFile::encodeName(from).constData(), AT_FDCWD, QFile::encodeName(to).constData(),
                    RENAME_NOREPLACE) != 0)
        return nullptr;
    const int f = flagsOf(to);
    return item.kind == kChild ? makeItem(kChild, uint8_t(f < 0 ? item.flags : f), newName)
                               : makeItem(kAnchor, uint8_t(f < 0 ? item.flags : f), QFile::encodeName(to));
}
