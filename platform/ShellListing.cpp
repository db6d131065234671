// Listing a folder in one pass: names, flags, sizes and times together, and the order the
// namespace compares names in.
#include "ShellItems.h"
#include "ShellNamespace.h"

#include "Handles.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
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

namespace {

bool digit(char16_t c)
{
    return c >= '0' && c <= '9';
}

char16_t fold(char16_t c)
{
    if (c < 0x80)
        return c >= 'A' && c <= 'Z' ? char16_t(c + 32) : c;
    return QChar::toCaseFolded(c);
}

} // namespace

namespace {

// The key of a name given unit by unit (at(i) for i below n).
template <typename At> void appendKeyUnits(std::string &key, qsizetype n, At at)
{
    // Characters folded; a run of digits becomes '0', its length (without leading zeros) plus
    // one, then those digits: comparing two keys unit by unit orders as compareNames does (the
    // '0' meets other characters where the run's first digit would). Each unit is written as
    // UTF-8 writes its value, which memcmp orders as the numbers they are, in one byte for
    // ASCII; no unit is 0, so a 0 byte can end a key.
    const auto unit = [&key](char16_t u) {
        if (u < 0x80) {
            key.push_back(char(u));
        } else if (u < 0x800) {
            key.push_back(char(0xC0 | (u >> 6)));
            key.push_back(char(0x80 | (u & 0x3F)));
        } else {
            key.push_back(char(0xE0 | (u >> 12)));
            key.push_back(char(0x80 | ((u >> 6) & 0x3F)));
            key.push_back(char(0x80 | (u & 0x3F)));
        }
    };
    for (qsizetype i = 0; i < n;) {
        const char16_t c = at(i);
        if (!digit(c)) {
            unit(fold(c));
            ++i;
            continue;
        }
        while (i < n && at(i) == u'0')
            ++i;
        qsizetype end = i;
        while (end < n && digit(at(end)))
            ++end;
        unit(u'0');
        unit(char16_t(std::min<qsizetype>(end - i + 1, 0xFFFF)));
        for (; i < end; ++i)
            unit(at(i));
    }
}

} // namespace

void appendNameKey(std::string &key, QStringView name)
{
    appendKeyUnits(key, name.size(), [name](qsizetype i) { return name[i].unicode(); });
}

int compareNames(QStringView a, QStringView b)
{
    qsizetype i = 0, j = 0;
    const qsizetype na = a.size(), nb = b.size();
    while (i < na && j < nb) {
        const char16_t x = a[i].unicode(), y = b[j].unicode();
        if (digit(x) && digit(y)) {
            qsizetype si = i, sj = j;
            while (si < na && a[si] == QLatin1Char('0'))
                ++si;
            while (sj < nb && b[sj] == QLatin1Char('0'))
                ++sj;
            qsizetype ei = si, ej = sj;
            while (ei < na && digit(a[ei].unicode()))
                ++ei;
            while (ej < nb && digit(b[ej].unicode()))
                ++ej;
            if (ei - si != ej - sj)
                return ei - si < ej - sj ? -1 : 1;
            for (qsizetype k = 0; k < ei - si; ++k)
                if (a[si + k] != b[sj + k])
                    return a[si + k] < b[sj + k] ? -1 : 1;
            i = ei;
            j = ej;
            continue;
        }
        const char16_t fx = fold(x), fy = fold(y);
        if (fx != fy)
            return fx < fy ? -1 : 1;
        ++i;
        ++j;
    }
    if (na - i != nb - j)
        return na - i < nb - j ? -1 : 1;
    return 0;
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

QString ChildName(PCItemIDList relative)
{
    const size_t n = relative ? itemSize(relative) : 0;
    if (n < 4 || char(relative[2]) != kChild)
        return QString();
    return QString::fromUtf8(reinterpret_cast<const char *>(relative + 4), qsizetype(n - 4));
}

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

bool TShellFolder::EnumItems(uint32_t flags, uint32_t wants, std::vector<TShellItem> &items,
                             const std::atomic<bool> *stop) const
{
    const bool details = wants & kWantDetails;
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
        if (wants & kWantNames)
            item.name = QString::fromUtf8(name, qsizetype(length)); // file names are UTF-8 to Qt
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
    // One key an item, made once, all in one block: the rank and folder flag, the name's key,
    // a 0 byte, then the item's bytes; so a single memcmp orders two items as CompareIDs does.
    std::string keys;
    std::vector<std::pair<uint32_t, uint32_t>> at; // offset, length
    at.reserve(items.size());
    keys.reserve(items.size() * 48);
    for (const TShellItem &item : items) {
        const size_t start = keys.size();
        const PCItemIDList id = item.id.get();
        const size_t n = itemSize(id);
        if (n < 4)
            continue; // not made by a listing
        // A listed child (the many) is read in place; the desktop's few items go the long way.
        const bool child = char(id[2]) == kChild;
        Item raw;
        if (!child)
            readItem(id, raw);
        const uint8_t flags = id[3];
        keys.push_back(char(1 + (child ? 2 : rankOf(raw)) * 2 + ((flags & fFolder) ? 0 : 1)));
        const char *bytes = reinterpret_cast<const char *>(id + 4);
        const qsizetype length = qsizetype(n - 4);
        if (child && item.name.isEmpty() && std::all_of(bytes, bytes + length, [](char c) { return uchar(c) < 0x80; }))
            appendKeyUnits(keys, length, [bytes](qsizetype i) { return char16_t(bytes[i]); }); // no decoding
        else
            appendNameKey(keys,
                          child ? (item.name.isEmpty() ? QString::fromUtf8(bytes, length) : item.name) : sortName(raw));
        keys.push_back(0);
        keys.append(reinterpret_cast<const char *>(id + 4), n - 4);
        at.emplace_back(uint32_t(start), uint32_t(keys.size() - start));
    }
    if (at.size() != items.size())
        return;
    // The first eight key bytes travel with each entry, high byte first (zeros after a short
    // key, which order as memcmp does); most comparisons end there, without a look at the keys.
    struct Entry {
        uint64_t prefix;
        uint32_t offset, length, index;
    };
    const char *base = keys.data();
    std::vector<Entry> order(items.size());
    for (uint32_t i = 0; i < order.size(); ++i) {
        uint64_t prefix = 0;
        for (uint32_t k = 0; k < 8; ++k)
            prefix = prefix << 8 | (k < at[i].second ? uchar(base[at[i].first + k]) : 0u);
        order[i] = Entry{prefix, at[i].first, at[i].second, i};
    }
    std::sort(order.begin(), order.end(), [base](const Entry &a, const Entry &b) {
        if (a.prefix != b.prefix)
            return a.prefix < b.prefix;
        const int c = std::memcmp(base + a.offset, base + b.offset, std::min(a.length, b.length));
        return c != 0 ? c < 0 : a.length < b.length;
    });
    std::vector<TShellItem> sorted;
    sorted.reserve(items.size());
    for (const Entry &e : order)
        sorted.push_back(std::move(items[e.index]));
    items.swap(sorted);
}
