// Listing a folder in one pass: names, flags, sizes and times together, and the order the
// namespace compares in, with one collation key an item instead of one per comparison.
#include "ShellItems.h"
#include "ShellNamespace.h"

#include "Handles.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace shellns {

int rankOf(const Item &item)
{
    if (item.kind == kComputer)
        return 0;
    if (item.kind == kAnchor && (item.name == "/" || QFile::decodeName(item.name) == homeFolder()))
        return 1;
    return 2;
}

QString sortName(const Item &item)
{
    if (item.kind == kChild)
        return QFile::decodeName(item.name);
    return QFileInfo(QFile::decodeName(item.name)).fileName();
}

QCollator &collator()
{
    // A collator is not to be shared between threads; listings run on more than one.
    thread_local QCollator c;
    return c;
}

} // namespace shellns

using namespace shellns;

namespace {

void fillDetails(TShellItem &item, const struct stat &st)
{
    item.found = true;
    item.size = item.folder ? 0 : int64_t(st.st_size);
    item.mtime = int64_t(st.st_mtim.tv_sec);
}

} // namespace

bool HasSubFolder(const QString &path)
{
    TFd fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd)
        return false;
    // A folder's link count is 2 and one more for each sub-folder where the file system keeps
    // count; where it does not (btrfs gives 1) the folder is read.
    struct stat st {};
    if (::fstat(fd.get(), &st) == 0 && st.st_nlink > 2)
        return true;
    DIR *dir = ::fdopendir(fd.get());
    if (!dir)
        return false;
    fd.release(); // the stream owns it now
    bool found = false;
    const int dfd = ::dirfd(dir);
    while (const dirent *e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
            continue;
        struct stat sub {};
        if (e->d_type == DT_DIR || ((e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) &&
                                    ::fstatat(dfd, e->d_name, &sub, 0) == 0 && S_ISDIR(sub.st_mode))) {
            found = true;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

bool TShellFolder::EnumItems(uint32_t flags, bool details, std::vector<TShellItem> &items,
                             const std::atomic<bool> *stop) const
{
    items.clear();
    if (m_kind != 'P') {
        // The desktop and My Computer hold a handful of items: asked one by one.
        std::vector<TIdList> ids;
        if (!EnumObjects(flags, ids))
            return false;
        for (TIdList &id : ids) {
            TShellItem item;
            Item raw;
            readItem(id.get(), raw);
            item.name = GetDisplayNameOf(id.get(), SHGDN_INFOLDER);
            item.folder = raw.flags & fFolder;
            item.link = raw.flags & fLink;
            item.hidden = raw.flags & fHidden;
            struct stat st {};
            if (details && raw.kind == kAnchor && ::stat(raw.name.constData(), &st) == 0)
                fillDetails(item, st);
            item.id = std::move(id);
            items.push_back(std::move(item));
        }
        return true;
    }
    DIR *dir = ::opendir(QFile::encodeName(m_path).constData());
    if (!dir)
        return false;
    const int dfd = ::dirfd(dir);
    size_t seen = 0;
    bool stopped = false;
    while (const dirent *e = ::readdir(dir)) {
        if ((++seen & 255) == 0 && stop && stop->load(std::memory_order_relaxed)) {
            stopped = true;
            break;
        }
        const char *name = e->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        TShellItem item;
        item.hidden = name[0] == '.';
        unsigned char type = e->d_type;
        struct stat st {};
        bool haveStat = false;
        if (type == DT_LNK || type == DT_UNKNOWN || details) {
            haveStat = ::fstatat(dfd, name, &st, type == DT_UNKNOWN ? AT_SYMLINK_NOFOLLOW : 0) == 0;
            if (type == DT_UNKNOWN && haveStat && S_ISLNK(st.st_mode)) {
                type = DT_LNK;
                haveStat = ::fstatat(dfd, name, &st, 0) == 0;
            }
            item.link = type == DT_LNK;
            if (item.link)
                type = haveStat && S_ISDIR(st.st_mode) ? DT_DIR : DT_REG;
            else if (type == DT_UNKNOWN)
                type = haveStat && S_ISDIR(st.st_mode) ? DT_DIR : DT_REG;
            if (item.link && !haveStat && details) // a dangling link shows the link itself
                haveStat = ::fstatat(dfd, name, &st, AT_SYMLINK_NOFOLLOW) == 0;
        }
        item.folder = type == DT_DIR;
        const uint8_t f = uint8_t((item.folder ? fFolder : 0) | (item.link ? fLink : 0) | (item.hidden ? fHidden : 0));
        if (!wanted(f, flags))
            continue;
        const size_t length = std::strlen(name);
        item.id = makeItem(kChild, f, QByteArray::fromRawData(name, qsizetype(length)));
        if (!item.id)
            continue;
        item.name = QFile::decodeName(QByteArray::fromRawData(name, qsizetype(length)));
        if (details && haveStat)
            fillDetails(item, st);
        items.push_back(std::move(item));
    }
    ::closedir(dir);
    if (stopped)
        items.clear();
    return !stopped;
}

void TShellFolder::SortItems(std::vector<TShellItem> &items) const
{
    struct Key {
        int rank;
        bool folder;
        QCollatorSortKey name;
        QByteArray bytes;
    };
    std::vector<Key> keys;
    keys.reserve(items.size());
    QCollator &c = collator();
    for (const TShellItem &item : items) {
        Item raw;
        readItem(item.id.get(), raw);
        keys.push_back(Key{rankOf(raw), bool(raw.flags & fFolder), c.sortKey(sortName(raw)), raw.name});
    }
    std::vector<uint32_t> order(items.size());
    for (uint32_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        const Key &x = keys[a], &y = keys[b];
        if (x.rank != y.rank)
            return x.rank < y.rank;
        if (x.folder != y.folder)
            return x.folder;
        if (const int n = x.name.compare(y.name))
            return n < 0;
        return x.bytes < y.bytes;
    });
    std::vector<TShellItem> sorted;
    sorted.reserve(items.size());
    for (const uint32_t i : order)
        sorted.push_back(std::move(items[i]));
    items.swap(sorted);
}
