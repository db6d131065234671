#include "ShellNamespace.h"
#include "ShellItems.h"
#include "TestSupport.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>

#include <gtest/gtest.h>

#include <algorithm>
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

namespace {

// A home of its own with a desktop folder, so the namespace's routes are the test's.
struct FreshHome {
    QString home = testing_support::freshDir();
    testing_support::ScopedEnv homeEnv{"HOME", QFile::encodeName(home)},
        config{"XDG_CONFIG_HOME", QFile::encodeName(home + "/.config")};
    FreshHome()
    {
        QDir().mkpath(home + "/.config");
        QDir().mkpath(home + "/Desktop/sub");
        QDir().mkpath(home + "/Pictures");
        touch(home + "/Pictures/a.jpg");
        touch(home + "/Desktop/note.txt");
        touch(home + "/Desktop/.hidden");
        touch(home + "/Desktop/sub/x.jpg");
    }
    static void touch(const QString &path)
    {
        QFile f(path);
        f.open(QIODevice::WriteOnly);
    }
};

int count(PCItemIDList list)
{
    int n = 0;
    for (PCItemIDList p = list; p && (p[0] | p[1] << 8) >= 2; p += p[0] | p[1] << 8)
        ++n;
    return n;
}

QStringList names(const TShellFolder &folder, uint32_t flags)
{
    std::vector<TIdList> items;
    EXPECT_TRUE(folder.EnumObjects(flags, items));
    std::sort(items.begin(), items.end(),
              [&](const TIdList &a, const TIdList &b) { return folder.CompareIDs(a.get(), b.get()) < 0; });
    QStringList out;
    for (const TIdList &i : items)
        out << folder.GetDisplayNameOf(i.get(), SHGDN_INFOLDER);
    return out;
}

} // namespace

TEST(ShellNamespace, PathsTakeTheLongestRouteAndComeBack)
{
    const FreshHome h;
    const auto desktop = TShellFolder::Desktop();
    struct Case {
        const char *name;
        QString path;
        int items; // -1: no such path
        QString shown;
    } cases[] = {
        {"home", h.home, 1, QFileInfo(h.home).fileName()},
        {"in home", h.home + "/Pictures/a.jpg", 3, "a.jpg"},
        {"the desktop folder is the desktop", h.home + "/Desktop", 0, "ﾃﾞｽｸﾄｯﾌﾟ"},
        {"on the desktop", h.home + "/Desktop/sub/x.jpg", 2, "x.jpg"},
        {"the root, through My Computer", "/", 2, "/"},
        {"below the root", "/usr/share", 4, "share"},
        {"a path with dots", h.home + "/Pictures/../Pictures/a.jpg", 3, "a.jpg"},
        {"missing", h.home + "/nothing", -1, {}},
        {"not absolute", "Pictures", -1, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const TIdList list = desktop->ParseDisplayName(c.path);
        ASSERT_EQ(list != nullptr, c.items >= 0);
        if (!list)
            continue;
        EXPECT_EQ(count(list.get()), c.items);
        EXPECT_EQ(desktop->GetDisplayNameOf(list.get(), SHGDN_NORMAL), c.shown);
        const QString parsing = c.items ? QDir::cleanPath(c.path) : h.home + "/Desktop";
        EXPECT_EQ(desktop->GetDisplayNameOf(list.get(), SHGDN_FORPARSING), parsing);
    }
    const TIdList root = desktop->ParseDisplayName("/");
    EXPECT_EQ(desktop->GetDisplayNameOf(TIdList(IdListCopyFirst(root.get())).get(), SHGDN_NORMAL), "ﾏｲ ｺﾝﾋﾟｭｰﾀ");
    EXPECT_FALSE(
        desktop->GetDisplayNameOf(TIdList(IdListCopyFirst(root.get())).get(), SHGDN_FORPARSING).startsWith('/'))
        << "My Computer is no folder on disk";
}

TEST(ShellNamespace, FoldersListTheirItems)
{
    const FreshHome h;
    const auto desktop = TShellFolder::Desktop();
    const QString homeName = QFileInfo(h.home).fileName();
    EXPECT_EQ(names(*desktop, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS),
              (QStringList{"ﾏｲ ｺﾝﾋﾟｭｰﾀ", homeName, "sub", "note.txt"}));
    EXPECT_EQ(names(*desktop, SHCONTF_FOLDERS), (QStringList{"ﾏｲ ｺﾝﾋﾟｭｰﾀ", homeName, "sub"}));
    EXPECT_TRUE(names(*desktop, SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN).contains(".hidden"));

    const auto home = desktop->BindToObject(TIdList(desktop->ParseDisplayName(h.home)).get());
    ASSERT_NE(home, nullptr);
    EXPECT_EQ(home->Path(), h.home);
    EXPECT_EQ(names(*home, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS), (QStringList{"Desktop", "Pictures"}));
    EXPECT_EQ(names(*home, SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN), (QStringList{".config", "Desktop", "Pictures"}));

    std::vector<TIdList> top;
    ASSERT_TRUE(desktop->EnumObjects(SHCONTF_FOLDERS, top));
    const auto computer = desktop->BindToObject(top[0].get());
    ASSERT_NE(computer, nullptr);
    EXPECT_EQ(names(*computer, SHCONTF_FOLDERS).value(0), "/");
    EXPECT_EQ(desktop->GetAttributesOf(top[0].get(), SFGAO_FOLDER | SFGAO_FILESYSANCESTOR), uint32_t(SFGAO_FOLDER));

    // Attributes, and binding only to folders that are there.
    ASSERT_TRUE(QFile::link(h.home + "/Pictures", h.home + "/Desktop/link"));
    const uint32_t all = SFGAO_FOLDER | SFGAO_LINK | SFGAO_HASSUBFOLDER | SFGAO_FILESYSANCESTOR;
    const auto attrs = [&](const QString &path) {
        return desktop->GetAttributesOf(TIdList(desktop->ParseDisplayName(path)).get(), all);
    };
    EXPECT_EQ(attrs(h.home), uint32_t(SFGAO_FOLDER | SFGAO_HASSUBFOLDER | SFGAO_FILESYSANCESTOR));
    EXPECT_EQ(attrs(h.home + "/Pictures"), uint32_t(SFGAO_FOLDER | SFGAO_FILESYSANCESTOR)) << "no sub-folder";
    EXPECT_EQ(attrs(h.home + "/Pictures/a.jpg"), 0u);
    EXPECT_EQ(attrs(h.home + "/Desktop/link"), uint32_t(SFGAO_FOLDER | SFGAO_LINK | SFGAO_FILESYSANCESTOR));
    EXPECT_EQ(desktop->BindToObject(TIdList(desktop->ParseDisplayName(h.home + "/Pictures/a.jpg")).get()), nullptr);
    const TIdList pictures = desktop->ParseDisplayName(h.home + "/Pictures");
    QDir(h.home + "/Pictures").removeRecursively();
    EXPECT_EQ(desktop->BindToObject(pictures.get()), nullptr) << "gone since it was parsed";
    std::vector<TIdList> none;
    auto gone = TShellFolder::Desktop()->BindToObject(TIdList(desktop->ParseDisplayName(h.home)).get());
    ASSERT_NE(gone, nullptr);
    QDir(h.home + "/Desktop").removeRecursively();
    QDir(h.home).rmdir(".config");
    EXPECT_TRUE(gone->EnumObjects(SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, none));
    EXPECT_TRUE(none.empty());
}

TEST(ShellNamespace, RenameNeverReplacesAndRefusesBadNames)
{
    const FreshHome h;
    const auto desktop = TShellFolder::Desktop();
    const auto pictures = desktop->BindToObject(TIdList(desktop->ParseDisplayName(h.home + "/Pictures")).get());
    ASSERT_NE(pictures, nullptr);
    FreshHome::touch(h.home + "/Pictures/b.jpg");
    const TIdList a(IdListLast(TIdList(desktop->ParseDisplayName(h.home + "/Pictures/a.jpg")).get()));
    for (const QString &bad :
         {QString("b.jpg"), QString(), QString("."), QString(".."), QString("x/y"), QString(256, QChar('n'))}) {
        SCOPED_TRACE(bad.toStdString());
        EXPECT_EQ(pictures->SetNameOf(a.get(), bad), nullptr);
        EXPECT_TRUE(QFileInfo::exists(h.home + "/Pictures/a.jpg"));
    }
    const TIdList renamed = pictures->SetNameOf(a.get(), QString(255, QChar('n')));
    ASSERT_NE(renamed, nullptr) << "255 bytes is a name";
    EXPECT_EQ(pictures->GetDisplayNameOf(renamed.get(), SHGDN_INFOLDER), QString(255, QChar('n')));
    EXPECT_FALSE(QFileInfo::exists(h.home + "/Pictures/a.jpg"));
    // On the desktop, an item renames too; home does not.
    const TIdList note = desktop->ParseDisplayName(h.home + "/Desktop/note.txt");
    const TIdList moved = desktop->SetNameOf(note.get(), "memo.txt");
    ASSERT_NE(moved, nullptr);
    EXPECT_EQ(desktop->GetDisplayNameOf(moved.get(), SHGDN_FORPARSING), h.home + "/Desktop/memo.txt");
    EXPECT_EQ(desktop->SetNameOf(TIdList(desktop->ParseDisplayName(h.home)).get(), "other"), nullptr);
}

TEST(ShellNamespace, NamesOrderAsAFileManagerDoesAndTheListingSortAgrees)
{
    struct Case {
        const char *a, *b;
        int sign;
    };
    for (const Case &c : {Case{"IMG2.jpg", "IMG10.jpg", -1}, Case{"a.jpg", "B.jpg", -1}, Case{"B.jpg", "c.jpg", -1},
                          Case{"A", "a", 0}, Case{"img01", "img1", 0}, Case{"img1", "img01x", -1},
                          Case{"x", "x1", -1}, Case{"_a", "a", -1}, Case{"9", "a", -1}, Case{"写真2", "写真10", -1},
                          Case{"ÉTÉ", "été", 0}, Case{"été", "ETE", 1}, Case{"same", "same", 0},
                          Case{"99999999999999999999", "100000000000000000000", -1}}) {
        const QString a = QString::fromUtf8(c.a), b = QString::fromUtf8(c.b);
        EXPECT_EQ(shellns::compareNames(a, b), c.sign) << c.a << " / " << c.b;
        EXPECT_EQ(shellns::compareNames(b, a), -c.sign) << c.b << " / " << c.a;
    }

    // A folder of odd names: the listing's sort must give CompareIDs's order, item by item.
    const QString dir = testing_support::freshDir();
    const QStringList parts{"a", "A", "0", "00", "7", "12", "é", "É", "写", "_", " ", ".", "z", "Z9"};
    unsigned state = 7;
    QStringList made;
    for (int i = 0; i < 400; ++i) {
        QString name;
        const int length = 1 + int((state = state * 1103515245u + 12345u) >> 16) % 5;
        for (int k = 0; k < length; ++k)
            name += parts[int((state = state * 1103515245u + 12345u) >> 16) % parts.size()];
        if (name == "." || name == ".." || made.contains(name))
            continue;
        made << name;
        if (i % 5 == 0)
            ASSERT_TRUE(QDir().mkdir(dir + "/" + name)) << name.toStdString();
        else
            ASSERT_TRUE(QFile(dir + "/" + name).open(QIODevice::WriteOnly)) << name.toStdString();
    }
    const auto desktop = TShellFolder::Desktop();
    const auto folder = desktop->BindToObject(TIdList(desktop->ParseDisplayName(dir)).get());
    ASSERT_NE(folder, nullptr);
    std::vector<TShellItem> items;
    ASSERT_TRUE(folder->EnumItems(SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN,
                                  TShellFolder::kWantNames, items));
    ASSERT_EQ(items.size(), size_t(made.size()));
    folder->SortItems(items);
    for (size_t i = 1; i < items.size(); ++i)
        EXPECT_LT(folder->CompareIDs(items[i - 1].id.get(), items[i].id.get()), 0)
            << items[i - 1].name.toStdString() << " / " << items[i].name.toStdString();
}
