#include "ShellNamespace.h"
#include "ShellItems.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

using namespace shellns;

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
        if ((f & fFolder) && (mask & SFGAO_HASSUBFOLDER) && HasSubFolder(t.path))
            a |= SFGAO_HASSUBFOLDER;
    }
    return a & mask;
}

TIconKind TShellFolder::IconKindOf(PCItemIDList relative) const
{
    if (!relative || itemSize(relative) == 0)
        return m_kind == 'D' ? TIconKind::Desktop : m_kind == 'C' ? TIconKind::Computer : TIconKind::Folder;
    if (itemSize(relative) < 4)
        return TIconKind::File;
    // Asked of every item a large folder lists: a child is told by its flags alone.
    const char kind = char(relative[2]);
    const bool folder = relative[3] & fFolder;
    if (kind == kChild)
        return folder ? TIconKind::Folder : TIconKind::File;
    if (kind == kComputer)
        return TIconKind::Computer;
    if (kind == kAnchor && m_kind == 'C')
        return TIconKind::Drive;
    Item item;
    if (kind == kAnchor && readItem(relative, item) && QFile::decodeName(item.name) == homeFolder())
        return TIconKind::Home;
    return folder ? TIconKind::Folder : TIconKind::File;
}

int TShellFolder::CompareIDs(PCItemIDList a, PCItemIDList b) const
{
    while (true) {
        Item x, y;
        const bool hx = a && readItem(a, x), hy = b && readItem(b, y);
        if (!hx || !hy)
            return hx ? 1 : hy ? -1 : 0;
        if (rankOf(x) != rankOf(y))
            return rankOf(x) - rankOf(y);
        if ((x.flags & fFolder) != (y.flags & fFolder))
            return (x.flags & fFolder) ? -1 : 1;
        if (const int c = compareNames(sortName(x), sortName(y)))
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

TItemInFolder SplitIdList(PCItemIDList absolute)
{
    TItemInFolder out;
    std::unique_ptr<TShellFolder> desktop = TShellFolder::Desktop();
    if (!absolute || !desktop)
        return out;
    if (IdListSize(absolute) <= 2) {
        out.item.reset(IdListAlloc(2));
        out.folder = std::move(desktop);
        return out;
    }
    const TIdList parent(IdListParent(absolute));
    out.folder = parent ? desktop->BindToObject(parent.get()) : std::move(desktop);
    out.item.reset(IdListLast(absolute));
    return out;
}
