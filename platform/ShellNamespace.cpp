#include "ShellNamespace.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cstdlib>
#include <cstring>

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
