#include "ShellNamespace.h"

#include <QByteArray>
#include <QList>

#include <gtest/gtest.h>

#include <cstring>

namespace {

// A list made of the given items' data, each behind its count, and the terminator.
TIdList make(const QList<QByteArray> &items)
{
    QByteArray bytes;
    for (const QByteArray &d : items) {
        const int n = int(d.size()) + 2;
        bytes.append(char(n & 0xFF)).append(char(n >> 8)).append(d);
    }
    bytes.append(2, '\0');
    TIdList list(IdListAlloc(size_t(bytes.size())));
    std::memcpy(list.get(), bytes.constData(), size_t(bytes.size()));
    return list;
}

// The items' data of a list, read back.
QList<QByteArray> items(PCItemIDList list)
{
    QList<QByteArray> out;
    for (size_t at = 0;;) {
        const size_t n = size_t(list[at]) | size_t(list[at + 1]) << 8;
        if (n < 2)
            return out;
        out.append(QByteArray(reinterpret_cast<const char *>(list + at + 2), qsizetype(n - 2)));
        at += n;
    }
}

} // namespace

TEST(IdList, WalksAndCopies)
{
    struct Case {
        const char *name;
        QList<QByteArray> items;
        size_t size;
        QList<QByteArray> first, last, parent; // parent: empty for "no parent" (null)
        bool hasNext;
    } cases[] = {
        {"the desktop", {}, 2, {}, {}, {}, false},
        {"one item", {"home"}, 8, {"home"}, {"home"}, {}, false},
        {"three items", {"a", "bb", ""}, 2 + 3 + 4 + 2, {"a"}, {""}, {"a", "bb"}, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const TIdList list = make(c.items);
        EXPECT_EQ(IdListSize(list.get()), c.size);
        EXPECT_EQ(items(TIdList(IdListCopyFirst(list.get())).get()), c.first);
        EXPECT_EQ(items(TIdList(IdListLast(list.get())).get()), c.last);
        const TIdList parent(IdListParent(list.get()));
        EXPECT_EQ(parent != nullptr, c.items.size() > 1);
        if (parent) {
            EXPECT_EQ(items(parent.get()), c.parent);
        }
        PCItemIDList next = IdListNext(list.get());
        EXPECT_EQ(next != nullptr, c.hasNext);
        if (next) {
            EXPECT_EQ(items(next), c.items.mid(1));
        }
    }
    // Null in, null out (size 0), and a damaged count of 1 ends the list where it stands.
    EXPECT_EQ(IdListSize(nullptr), 0u);
    EXPECT_EQ(IdListCopyFirst(nullptr), nullptr);
    EXPECT_EQ(IdListLast(nullptr), nullptr);
    EXPECT_EQ(IdListParent(nullptr), nullptr);
    EXPECT_EQ(IdListNext(nullptr), nullptr);
    const uint8_t damaged[] = {4, 0, 'x', 'y', 1, 0, 'z', 0, 0};
    EXPECT_EQ(IdListSize(damaged), 6u);
    EXPECT_EQ(items(TIdList(IdListLast(damaged)).get()), QList<QByteArray>{"xy"});
}

TEST(IdList, Concatenation)
{
    const TIdList a = make({"usr", "share"}), b = make({"doc"});
    EXPECT_EQ(items(TIdList(IdListConcat(a.get(), b.get())).get()), (QList<QByteArray>{"usr", "share", "doc"}));
    EXPECT_EQ(items(TIdList(IdListConcat(nullptr, b.get())).get()), QList<QByteArray>{"doc"});
    EXPECT_EQ(items(TIdList(IdListConcat(a.get(), nullptr)).get()), (QList<QByteArray>{"usr", "share"}));
    EXPECT_EQ(IdListSize(TIdList(IdListConcat(nullptr, nullptr)).get()), 2u) << "the empty list";
    // The freeing form takes both inputs (the sanitizer run sees a leak or a double free).
    const TIdList joined(IdListConcatFree(make({"x"}).release(), make({"y", "z"}).release()));
    EXPECT_EQ(items(joined.get()), (QList<QByteArray>{"x", "y", "z"}));
    EXPECT_EQ(IdListSize(joined.get()), size_t(3 + 3 + 3 + 2));
}

TEST(ShellNamespace, MyComputerHoldsTheRootAndMountedMedia)
{
    // Lines as the kernel writes them; the optional fields ("shared:1") vary in number.
    const QByteArray mountinfo = "21 26 0:20 / /proc rw,relatime - proc proc rw\n"
                                 "26 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
                                 "30 26 0:27 / /sys/fs/cgroup rw - tmpfs tmpfs rw\n"
                                 "40 26 8:17 / /media/usb\\040stick rw,nosuid shared:5 master:2 - vfat /dev/sdb1 rw\n"
                                 "41 26 8:18 / /run/media/anna/PHOTOS rw - exfat /dev/sdc1 rw\n"
                                 "42 26 8:19 / /run/media/bob/OTHER rw - exfat /dev/sdd1 rw\n"
                                 "43 26 0:50 / /media/tmp rw - tmpfs tmpfs rw\n"
                                 "44 26 0:51 / /mnt/nfs rw - nfs4 server:/x rw\n"
                                 "45 26 8:17 / /media/usb\\040stick rw - vfat /dev/sdb1 rw\n"
                                 "46 26 0:52 / /media/ rw - ext4 /dev/sde1 rw\n"
                                 "broken line\n"
                                 "47 26 0:53 / /media/net rw - cifs //nas/share rw\n";
    EXPECT_EQ(VisibleMounts(mountinfo, "anna"),
              (QStringList{"/", "/media/net", "/media/usb stick", "/run/media/anna/PHOTOS"}));
    EXPECT_EQ(VisibleMounts(QByteArray(), "anna"), QStringList{"/"}) << "an unreadable table still has the root";
    EXPECT_TRUE(ReadVisibleMounts().startsWith("/"));
}
