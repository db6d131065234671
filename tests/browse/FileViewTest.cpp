#include "ShView.h"
#include "TestSupport.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

namespace {

void writeFile(const QString &path, qint64 size = 0)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_TRUE(f.resize(size));
}

void setTime(const QString &path, time_t when)
{
    const struct timespec times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

// Until every fill has landed, including those a failed one started.
void settle(TFileView &list)
{
    for (int i = 0; i < 20 && list.Filling(); ++i)
        list.WaitFilled();
    ASSERT_FALSE(list.Filling());
}

QStringList names(const TFileView &list)
{
    QStringList out;
    for (int i = 0; i < list.Count(); ++i)
        out << list.ItemText(i, 0);
    return out;
}

// A list showing one folder of a home of its own.
class FileView : public ::testing::Test {
protected:
    void SetUp() override { QDir().mkpath(folder); }
    void show(TFileView &list, const QString &path)
    {
        const TIdList id = TShellFolder::Desktop()->ParseDisplayName(path);
        ASSERT_TRUE(id) << path.toStdString();
        list.SetFolder(id.get());
        ASSERT_TRUE(list.WaitFilled());
    }
    QString home = testing_support::freshDir(), folder = home + "/Pictures";
    testing_support::ScopedEnv homeEnv{"HOME", QFile::encodeName(home)}, tz{"TZ", "UTC"};
};

} // namespace

TEST(FileViewTexts, SizesDatesAndTheMask)
{
    struct SizeCase {
        int64_t size;
        const char *text;
    };
    for (const SizeCase &c :
         {SizeCase{0, "       1KB"}, SizeCase{1023, "       1KB"}, SizeCase{1024, "       2KB"},
          SizeCase{INT64_C(3) << 30, " 3145729KB"}, SizeCase{INT64_C(99999) << 30, "104856551425KB"}})
        EXPECT_EQ(SizeText(c.size), c.text) << c.size;

    {
        const testing_support::ScopedEnv tz("TZ", "UTC");
        EXPECT_EQ(DateText(0), "70/01/01 00:00");
        EXPECT_EQ(DateText(946684799), "99/12/31 23:59");
        EXPECT_EQ(DateText(946684800 + 3600 * 13 + 60 * 7 + 59), "00/01/01 13:07") << "seconds are not shown";
    }
    {
        const testing_support::ScopedEnv tz("TZ", "JST-9");
        EXPECT_EQ(DateText(0), "70/01/01 09:00") << "local time";
    }

    const QStringList mask{".jpg", ".jpeg", ".jpz", ".lzh"};
    struct MaskCase {
        const char *name;
        bool folder, withMask;
    };
    for (const MaskCase &c :
         {MaskCase{"A.JPG", false, true}, MaskCase{"b.png", false, false}, MaskCase{"c", false, false},
          MaskCase{".h.jpg", false, true}, MaskCase{"x.y", true, true}, MaskCase{"x.y", false, false},
          MaskCase{"photo.JpEg", false, true}, MaskCase{"jpg", false, false}, MaskCase{"a.jpg.png", false, false},
          MaskCase{"Ａ.ＪＰＧ", false, false}}) {
        EXPECT_EQ(MaskShows(mask, QString::fromUtf8(c.name), c.folder), c.withMask) << c.name;
        EXPECT_TRUE(MaskShows({}, QString::fromUtf8(c.name), c.folder)) << c.name << ": no mask shows all";
    }
}

TEST_F(FileView, ListsTheFolderWithItsColumnsAndMask)
{
    for (const char *name : {"A.JPG", "b.png", "c", ".h.jpg"})
        writeFile(folder + "/" + name, 1024);
    QDir().mkpath(folder + "/x.y");
    writeFile(folder + "/big.lzh", INT64_C(3) << 30); // sparse: takes no room
    setTime(folder + "/A.JPG", 946684800 + 3600);
    ASSERT_EQ(::symlink("A.JPG", QFile::encodeName(folder + "/link.jpg").constData()), 0);

    TFileView list;
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.GetSelectedPath(), "");
    list.Mask = QStringList{".jpg", ".jpeg", ".jpz", ".lzh"};
    show(list, folder);
    EXPECT_EQ(names(list), (QStringList{"x.y", ".h.jpg", "A.JPG", "big.lzh", "link.jpg"}))
        << "folders first, then by name; b.png and c are masked out";

    const int a = int(names(list).indexOf("A.JPG"));
    EXPECT_EQ(list.ItemText(a, 1), "       2KB");
    EXPECT_EQ(list.ItemText(a, 3), "00/01/01 01:00");
    EXPECT_FALSE(list.ItemText(a, 2).isEmpty()) << "a type name";
    EXPECT_EQ(list.ItemText(0, 1), "       1KB") << "a folder";
    EXPECT_EQ(list.ItemText(names(list).indexOf("big.lzh"), 1), " 3145729KB") << "3 GB, not a negative number";
    EXPECT_TRUE(list.ItemIsLink(int(names(list).indexOf("link.jpg"))));
    EXPECT_FALSE(list.ItemIsLink(a));
    EXPECT_EQ(list.ItemText(names(list).indexOf("link.jpg"), 1), "       2KB") << "the target's size";

    list.SetSelected(a);
    EXPECT_EQ(list.Selected(), a);
    EXPECT_EQ(list.GetSelectedPath(), folder + "/A.JPG");
    EXPECT_EQ(list.GetItemPath(0), folder + "/x.y");

    // The mask is read when the list is refilled, not when it is set.
    list.SetMask(nullptr);
    const QStringList none;
    list.SetMask(&none);
    EXPECT_EQ(list.Count(), 5);
    list.Refresh();
    ASSERT_TRUE(list.WaitFilled());
    EXPECT_EQ(list.Count(), 7) << "every file without a mask";

    for (const TViewStyle style :
         {TViewStyle::vsIcon, TViewStyle::vsSmallIcon, TViewStyle::vsList, TViewStyle::vsReport}) {
        list.SetViewStyle(style);
        EXPECT_EQ(list.ViewStyle(), style);
        EXPECT_EQ(list.currentView()->model()->rowCount(), 7);
        EXPECT_EQ(list.currentView()->model()->headerData(2, Qt::Horizontal).toString(), "ﾌｧｲﾙの種類");
    }
}

TEST_F(FileView, ColumnsSortBothWaysAndARefillStartsOver)
{
    struct File {
        const char *name;
        qint64 size;
        time_t time;
    };
    // Sizes whose texts and numbers order alike would hide a text sort; so would dates in one
    // century.
    for (const File &f :
         {File{"a.jpg", 500 * 1024, 946684800 /* 2000 */}, File{"b.jpg", 9 * 1024, 915148800 /* 1999 */},
          File{"c.jpg", 123456 * 1024, 978307200 /* 2001 */}}) {
        writeFile(folder + "/" + f.name, f.size);
        setTime(folder + "/" + f.name, f.time);
    }
    TFileView list;
    show(list, folder);
    ASSERT_EQ(names(list), (QStringList{"a.jpg", "b.jpg", "c.jpg"}));

    list.SortColumn(1);
    EXPECT_EQ(names(list), (QStringList{"c.jpg", "a.jpg", "b.jpg"})) << "size, the first click descending";
    list.SortColumn(1);
    EXPECT_EQ(names(list), (QStringList{"b.jpg", "a.jpg", "c.jpg"})) << "size ascending";
    list.SortColumn(3);
    EXPECT_EQ(names(list), (QStringList{"c.jpg", "a.jpg", "b.jpg"})) << "date descending, by time";
    list.SortColumn(3);
    EXPECT_EQ(names(list), (QStringList{"b.jpg", "a.jpg", "c.jpg"})) << "1999 before 2000";

    list.SetSelected(0);
    list.Refresh();
    ASSERT_TRUE(list.WaitFilled());
    EXPECT_EQ(names(list), (QStringList{"a.jpg", "b.jpg", "c.jpg"})) << "a refill sorts by name";
    for (const int sign : TFileView::ColumnSign)
        EXPECT_EQ(sign, 1);
    list.SortColumn(0);
    EXPECT_EQ(names(list), (QStringList{"c.jpg", "b.jpg", "a.jpg"})) << "the name column's first click";
    list.SetSelected(0);
    list.SortColumn(0);
    EXPECT_EQ(list.GetSelectedPath(), folder + "/c.jpg") << "the selection stays on its item";
}

TEST_F(FileView, RenamesInPlaceWithoutEverReplacing)
{
    writeFile(folder + "/one.jpg", 10);
    writeFile(folder + "/two.jpg", 20);
    QDir().mkpath(folder + "/Sub");
    TFolderView tree;
    TFileView list;
    tree.setFileView(&list);
    EXPECT_EQ(list.folderView(), &tree);
    tree.Rebuild();
    tree.SetCurrentPath(folder);
    ASSERT_TRUE(list.WaitFilled());
    ASSERT_EQ(names(list), (QStringList{"Sub", "one.jpg", "two.jpg"}));

    for (const QString &bad : {QString("two.jpg"), QString("Sub"), QString(), QString("."), QString(".."),
                               QString("a/b"), QString(256, 'x')}) {
        SCOPED_TRACE(bad.toStdString());
        const QModelIndex index = list.currentView()->model()->index(1, 0);
        EXPECT_FALSE(list.currentView()->model()->setData(index, bad));
        EXPECT_EQ(list.ItemText(1, 0), "one.jpg");
    }
    QFile two(folder + "/two.jpg");
    EXPECT_EQ(two.size(), 20) << "never replaced";
    EXPECT_TRUE(QFileInfo::exists(folder + "/one.jpg"));

    EXPECT_TRUE(list.RenameItem(1, "uno.png"));
    EXPECT_EQ(list.ItemText(1, 0), "uno.png");
    EXPECT_TRUE(QFileInfo::exists(folder + "/uno.png"));
    EXPECT_FALSE(QFileInfo::exists(folder + "/one.jpg"));
    EXPECT_EQ(list.GetItemPath(1), folder + "/uno.png");

    // A folder renamed in the list is renamed in the tree too.
    EXPECT_TRUE(list.RenameItem(0, "Neu"));
    ASSERT_NE(tree.currentItem(), nullptr);
    ASSERT_EQ(tree.currentItem()->childCount(), 1);
    EXPECT_EQ(tree.currentItem()->child(0)->text(0), "Neu");
    list.SetSelected(0);
    emit list.currentView()->doubleClicked(list.currentView()->model()->index(0, 0));
    EXPECT_EQ(tree.GetCurrentPath(), folder + "/Neu") << "a double click on a folder opens it in the tree";

    // In the tree: a taken name restores the old text; a free one renames.
    QTreeWidgetItem *pictures = tree.currentItem()->parent();
    writeFile(home + "/Taken");
    EXPECT_FALSE(tree.RenameNode(pictures, "Taken"));
    EXPECT_EQ(pictures->text(0), "Pictures");
    EXPECT_TRUE(tree.RenameNode(pictures, "Fotos"));
    EXPECT_EQ(pictures->text(0), "Fotos");
    EXPECT_EQ(tree.GetCurrentPath(), home + "/Fotos/Neu");
    EXPECT_FALSE(tree.RenameNode(tree.topLevelItem(0), "Desk")) << "the root keeps its name";
}

TEST_F(FileView, AFolderThatCannotBeReadNeverLoops)
{
    for (const char *d : {"/Keep", "/Dead1", "/Dead2"})
        QDir().mkpath(home + d);
    TFolderView tree;
    TFileView list;
    tree.setFileView(&list);
    tree.Rebuild();
    tree.SetCurrentPath(home + "/Keep");
    tree.SetCurrentPath(home + "/Dead1");
    settle(list);
    ASSERT_EQ(tree.GetCurrentPath(), home + "/Dead1");

    // Gone while the tree still shows them: the folder before is tried once, then upwards.
    QDir(home + "/Dead1").removeRecursively();
    QDir(home + "/Dead2").removeRecursively();
    const QList<QTreeWidgetItem *> found = tree.findItems("Dead2", Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(found.size(), 1);
    QTreeWidgetItem *dead2 = found.first();
    tree.setCurrentItem(dead2);
    settle(list);
    EXPECT_EQ(tree.GetCurrentPath(), home) << "Dead1 failed as well: its nearest readable ancestor";
    EXPECT_FALSE(list.Filling());
    EXPECT_EQ(names(list), (QStringList{"Keep", "Pictures"}));

    // After a good listing, the folder before is tried first again.
    tree.SetCurrentPath(home + "/Keep");
    tree.SetCurrentPath(home + "/Pictures");
    settle(list);
    QDir(home + "/Pictures").removeRecursively();
    list.Refresh();
    settle(list);
    EXPECT_EQ(tree.GetCurrentPath(), home + "/Keep") << "the folder selected before";
    EXPECT_EQ(list.Count(), 0);
}
