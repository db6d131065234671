#include "ShView.h"
#include "ShellIcons.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// A home of its own: Pictures (no sub-folders), Music/Jazz, a desktop folder with one folder.
class FolderView : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char *d : {"/Pictures", "/Music/Jazz", "/Desktop/Work"})
            QDir().mkpath(home + d);
        QFile(home + "/Pictures/a.jpg").open(QIODevice::WriteOnly);
    }
    static QStringList texts(const QTreeWidgetItem *node)
    {
        QStringList out;
        for (int i = 0; i < node->childCount(); ++i)
            out << node->child(i)->text(0);
        return out;
    }
    QString home = testing_support::freshDir();
    testing_support::ScopedEnv homeEnv{"HOME", QFile::encodeName(home)};
};

} // namespace

TEST_F(FolderView, TheRootHoldsMyComputerHomeAndTheDesktopsFolders)
{
    TFolderView tree;
    tree.resize(300, 300);
    tree.show(); // on screen, a small folder's expand buttons are settled as it opens
    tree.Rebuild();
    QTreeWidgetItem *root = tree.topLevelItem(0);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->text(0), "ﾃﾞｽｸﾄｯﾌﾟ");
    EXPECT_EQ(tree.currentItem(), root);
    EXPECT_TRUE(root->isExpanded());
    const QString homeName = QFileInfo(home).fileName();
    EXPECT_EQ(texts(root), (QStringList{"ﾏｲ ｺﾝﾋﾟｭｰﾀ", homeName, "Work"}));
    EXPECT_EQ(tree.GetCurrentPath(), home + "/Desktop") << "the desktop's parsing name is its folder";

    // Filled when first opened; expand buttons only where the namespace says there are folders.
    QTreeWidgetItem *homeNode = root->child(1);
    EXPECT_EQ(homeNode->childCount(), 0);
    EXPECT_EQ(homeNode->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    homeNode->setExpanded(true);
    EXPECT_EQ(texts(homeNode), (QStringList{"Desktop", "Music", "Pictures"}));
    EXPECT_EQ(homeNode->child(2)->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator) << "Pictures";
    EXPECT_EQ(homeNode->child(1)->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator) << "Music";
    homeNode->setExpanded(false);
    homeNode->setExpanded(true);
    EXPECT_EQ(homeNode->childCount(), 3) << "read once";
    EXPECT_FALSE(root->flags() & Qt::ItemIsEditable) << "the root keeps its name";
}

TEST_F(FolderView, PathsSelectTheirNodeAndTheChangeIsToldInOrder)
{
    TFolderView tree;
    QStringList told;
    tree.OnChange = [&] { told << "change:" + tree.GetCurrentPath(); };
    tree.OnFolderSelected = [&](PCItemIDList folder) {
        told << "folder:" + TShellFolder::Desktop()->GetDisplayNameOf(folder, SHGDN_FORPARSING);
    };
    tree.Rebuild();
    EXPECT_EQ(told, QStringList{"folder:" + home + "/Desktop"}) << "the linked controls learn the root";
    told.clear();

    tree.SetCurrentPath(home + "/Music/Jazz");
    ASSERT_NE(tree.currentItem(), nullptr);
    EXPECT_EQ(tree.currentItem()->text(0), "Jazz");
    EXPECT_TRUE(tree.currentItem()->parent()->isExpanded());
    EXPECT_EQ(tree.GetCurrentPath(), home + "/Music/Jazz");
    EXPECT_EQ(told, (QStringList{"change:" + home + "/Music/Jazz", "folder:" + home + "/Music/Jazz"}));

    for (const QString &unknown : {home + "/nothing", QString("Music"), home + "/Pictures/a.jpg"}) {
        SCOPED_TRACE(unknown.toStdString());
        tree.SetCurrentPath(unknown);
        EXPECT_EQ(tree.GetCurrentPath(), home + "/Music/Jazz") << "nothing changes";
    }
    tree.SetCurrentPath("/");
    EXPECT_EQ(tree.GetCurrentPath(), "/");
    EXPECT_EQ(tree.currentItem()->parent()->text(0), "ﾏｲ ｺﾝﾋﾟｭｰﾀ");
    tree.SetCurrentPath(home + "/Desktop/Work");
    EXPECT_EQ(tree.currentItem()->parent(), tree.topLevelItem(0)) << "the desktop's folder, on the desktop";
}

namespace {
QStringList comboTexts(const TComboView &combo)
{
    QStringList out;
    for (int i = 0; i < combo.count(); ++i)
        out << QString(combo.entries()[size_t(i)].level, QChar('-')) + combo.itemText(i);
    return out;
}
} // namespace

TEST_F(FolderView, TheComboFollowsTheTreeAndLeadsIt)
{
    TFolderView tree;
    TComboView combo;
    combo.setFolderView(&tree);
    EXPECT_EQ(tree.comboView(), &combo);
    EXPECT_EQ(combo.maxVisibleItems(), 8);
    combo.Rebuild();
    const QString homeName = QFileInfo(home).fileName();
    const QStringList fixed{"ﾃﾞｽｸﾄｯﾌﾟ", "-ﾏｲ ｺﾝﾋﾟｭｰﾀ", "--/", "-" + homeName, "-Work"};
    // Media mounted on this machine may stand under My Computer too.
    QStringList shown = comboTexts(combo);
    shown.erase(
        std::remove_if(shown.begin(), shown.end(), [](const QString &t) { return t.startsWith("--") && t != "--/"; }),
        shown.end());
    EXPECT_EQ(shown, fixed);
    const int fixedCount = combo.count();

    tree.Rebuild();
    EXPECT_EQ(combo.currentIndex(), 0) << "the desktop";
    tree.SetCurrentPath(home + "/Music/Jazz");
    EXPECT_EQ(combo.count(), fixedCount + 2) << "Music and Jazz, for now";
    EXPECT_EQ(combo.currentText(), "Jazz");
    const int at = combo.currentIndex();
    EXPECT_EQ(combo.entries()[size_t(at)].level, 3);
    EXPECT_EQ(combo.itemText(at - 1), "Music");
    EXPECT_EQ(combo.itemText(at - 2), homeName) << "each under its parent";
    EXPECT_TRUE(combo.entries()[size_t(at)].temporary);

    tree.SetCurrentPath(home + "/Pictures");
    EXPECT_EQ(combo.count(), fixedCount + 1) << "the last folder's entries went";
    EXPECT_EQ(combo.currentText(), "Pictures");

    // Picking an entry selects its node in the tree.
    const int root = combo.findText("/");
    ASSERT_GE(root, 0);
    combo.setCurrentIndex(root);
    emit combo.activated(root);
    EXPECT_EQ(tree.GetCurrentPath(), "/");
    EXPECT_EQ(combo.count(), fixedCount) << "a fixed entry needs no temporary one";

    tree.setCurrentItem(tree.topLevelItem(0));
    EXPECT_EQ(combo.currentIndex(), 0);
    EXPECT_EQ(combo.count(), fixedCount);
}

TEST_F(FolderView, TheUnitsHelpersNameDrawAndCompareItems)
{
    const auto desktop = TShellFolder::Desktop();
    const TIdList pictures = desktop->ParseDisplayName(home + "/Pictures");
    const TIdList music = desktop->ParseDisplayName(home + "/Music");
    ASSERT_TRUE(pictures && music);
    bool ok = false;
    EXPECT_EQ(GetItemName(*desktop, pictures.get(), SHGDN_FORPARSING, &ok), home + "/Pictures");
    EXPECT_TRUE(ok);
    EXPECT_EQ(GetItemName(*desktop, nullptr, SHGDN_NORMAL, &ok), "");
    EXPECT_FALSE(ok);

    EXPECT_LT(CompareItems(*desktop, music.get(), pictures.get()), 0);
    EXPECT_GT(CompareItems(*desktop, pictures.get(), music.get()), 0);
    EXPECT_EQ(CompareItems(*desktop, pictures.get(), pictures.get()), 0);
    EXPECT_EQ(CompareItems(*desktop, nullptr, pictures.get()), -1) << "a failed compare";

    const TIdList root(IdListAlloc(2)), slash = desktop->ParseDisplayName("/");
    for (PCItemIDList list : {root.get(), pictures.get(), slash.get()})
        EXPECT_FALSE(GetItemIcon(list, SHGFI_SMALLICON_INDEX).isNull());
    EXPECT_FALSE(GetItemIcon(pictures.get(), SHGFI_SMALLOPEN_INDEX).isNull());
    EXPECT_TRUE(GetItemIcon(nullptr, SHGFI_SMALLICON_INDEX).isNull());
}

TEST_F(FolderView, ALargeFolderGetsItsExpandButtonsRightAfterward)
{
    // More sub-folders than are looked into at once: every third has one of its own.
    const QString big = home + "/Music/Many";
    for (int i = 0; i < 400; ++i)
        QDir().mkpath(big + QString("/album %1").arg(i) + (i % 3 == 0 ? "/disc" : ""));
    TFolderView tree;
    tree.Rebuild();
    tree.SetCurrentPath(big);
    QTreeWidgetItem *node = tree.currentItem();
    ASSERT_EQ(tree.GetCurrentPath(), big);
    node->setExpanded(true);
    ASSERT_EQ(node->childCount(), 400);
    EXPECT_TRUE(testing_support::processEventsUntil([&] {
        for (int i = 0; i < node->childCount(); ++i) {
            const bool hasSub = node->child(i)->text(0).mid(6).toInt() % 3 == 0;
            if ((node->child(i)->childIndicatorPolicy() == QTreeWidgetItem::ShowIndicator) != hasSub)
                return false;
        }
        return true;
    })) << "folders with a sub-folder keep the button, the others lose it";
    EXPECT_EQ(node->child(0)->text(0), "album 0") << "numbers by value";
    EXPECT_EQ(node->child(2)->text(0), "album 2");
    EXPECT_EQ(node->child(10)->text(0), "album 10");
}
