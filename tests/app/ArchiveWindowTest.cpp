#include "ARCHIVES.h"
#include "AppPaths.h"
#include "AppTestSupport.h"
#include "LHA32.h"
#include "LZHPanelUnit1.h"
#include "MainUnit.h"
#include "TestSupport.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QScreen>

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

const QString ViewLzh = QStringLiteral(ARCHIVE_FIXTURES "/view.lzh");

struct Item {
    QString text;
    int icon;
    bool operator==(const Item &o) const { return text == o.text && icon == o.icon; }
};

std::ostream &operator<<(std::ostream &os, const Item &i)
{
    return os << i.text.toStdString() << ":" << i.icon;
}

std::vector<Item> items(const TLZHPanel &panel)
{
    std::vector<Item> out;
    for (int i = 0; i < panel.ListView->count(); ++i)
        out.push_back({panel.ListView->item(i)->text(), TLZHPanel::ImageIndex(panel.ListView->item(i))});
    return out;
}

void select(TLZHPanel &panel, const QString &text)
{
    const QList<QListWidgetItem *> found = panel.ListView->findItems(text, Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1) << text.toStdString();
    panel.ListView->setCurrentItem(found.first());
}

QStringList tempContents()
{
    return QDir(TMainForm::TempFolder()).entryList(QDir::Files | QDir::Hidden);
}

} // namespace

TEST(ArchiveWindow, ListsSortedWithIcons)
{
    TMainForm form;
    form.ShowArchive(ViewLzh);
    TLZHPanel &panel = *form.LZHPanel;
    EXPECT_TRUE(panel.isVisible());
    EXPECT_EQ(panel.windowTitle(), ViewLzh);
    EXPECT_EQ(panel.size(), QSize(270, 153));
    const std::vector<Item> expected{{"a.jpg", 0}, {"b.txt", 1}, {"inner.lzh", 0}, {"sub/c.png", 0}, {"日本語.jpg", 0}};
    EXPECT_EQ(items(panel), expected);
    // Shown again for another archive: refilled, not appended.
    form.ShowArchive(ViewLzh);
    EXPECT_EQ(items(panel).size(), expected.size());
    // The hover colours of the close button, and closing.
    panel.GradBtn1MouseEnter();
    EXPECT_EQ(panel.GradBtn1->StartColor, QColor(0x80, 0x80, 0xFF));
    panel.GradBtn1MouseLeave();
    EXPECT_EQ(panel.GradBtn1->StartColor, QColor(Qt::white));
    panel.GradBtn1Click();
    EXPECT_FALSE(panel.isVisible());
}

TEST(ArchiveWindow, PlacedAtTheAnchorAndKeptOnScreen)
{
    TMainForm form;
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    form.ArchiveAnchor = QPoint(30, 40);
    form.ShowArchive(ViewLzh);
    EXPECT_EQ(form.LZHPanel->pos(), QPoint(30, 40));
    form.ArchiveAnchor = QPoint(screen.width() - 10, screen.height() - 10);
    form.ShowArchive(ViewLzh);
    EXPECT_EQ(form.LZHPanel->pos(), QPoint(screen.width() - 275, screen.height() - 230));
}

TEST(ArchiveWindow, ClickOpensPicturesAndDeletesTheCopy)
{
    MessageRecorder messages;
    TMainForm form;
    form.ShowArchive(ViewLzh);
    TLZHPanel &panel = *form.LZHPanel;

    select(panel, QStringLiteral("sub/c.png"));
    // Through the list's own signal, as a click would.
    emit panel.ListView->clicked(panel.ListView->currentIndex());
    EXPECT_EQ(form.CurrentFile, TMainForm::TempFolder() + QStringLiteral("c.png"));
    EXPECT_EQ(form.CurrentJpeg->width(), 20);
    EXPECT_FALSE(form.ArchiveOpening);
    EXPECT_TRUE(tempContents().isEmpty()) << "read into memory, then deleted";

    select(panel, QStringLiteral("日本語.jpg"));
    panel.ListViewClick();
    EXPECT_EQ(form.CurrentFile, TMainForm::TempFolder() + QStringLiteral("日本語.jpg"));
    EXPECT_EQ(form.CurrentJpeg->width(), 40);
    // A double click on a picture adds nothing to its first click.
    const int counter = form.GlobalCounter;
    panel.ListViewDblClick();
    EXPECT_EQ(form.GlobalCounter, counter);
    EXPECT_TRUE(messages.seen.isEmpty());
    EXPECT_TRUE(form.TempFiles.isEmpty());
}

TEST(ArchiveWindow, DoubleClickHandsOtherFilesToTheDesktop)
{
    ShellOpenCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "open");
    TMainForm form;
    form.ShowArchive(ViewLzh);
    TLZHPanel &panel = *form.LZHPanel;
    select(panel, QStringLiteral("b.txt"));
    panel.ListViewClick(); // a single click on it does nothing
    EXPECT_TRUE(catcher.urls.isEmpty());
    emit panel.ListView->doubleClicked(panel.ListView->currentIndex());
    QDesktopServices::unsetUrlHandler("file");
    const QString copy = TMainForm::TempFolder() + QStringLiteral("b.txt");
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(catcher.urls[0].toLocalFile(), copy);
    // The other program may still read it: kept until the window closes.
    EXPECT_TRUE(QFileInfo(copy).isFile());
    EXPECT_EQ(form.TempFiles, QStringList{copy});
    form.close();
    EXPECT_FALSE(QFileInfo::exists(copy));
}

TEST(ArchiveWindow, NestedArchiveListsInTheSameWindow)
{
    MessageRecorder messages;
    TMainForm form;
    form.ShowArchive(ViewLzh);
    TLZHPanel &panel = *form.LZHPanel;
    select(panel, QStringLiteral("inner.lzh"));
    panel.ListViewClick();
    const QString inner = TMainForm::TempFolder() + QStringLiteral("inner.lzh");
    EXPECT_EQ(panel.windowTitle(), inner);
    EXPECT_EQ(items(panel), (std::vector<Item>{{"a.jpg", 0}}));
    // Its entries still open: the inner archive stays until exit.
    select(panel, QStringLiteral("a.jpg"));
    panel.ListViewClick();
    EXPECT_TRUE(messages.seen.isEmpty());
    EXPECT_EQ(form.CurrentFile, TMainForm::TempFolder() + QStringLiteral("a.jpg"));
    EXPECT_TRUE(form.TempFiles.contains(inner));
}

TEST(ArchiveWindow, FailuresReachTheUser)
{
    MessageRecorder messages;
    TMainForm form;
    // An entry that will not extract: the missing-file message, nothing stale opened.
    const QString stale = TMainForm::TempFolder() + QStringLiteral("gone.jpg");
    writeFile(stale, QByteArray("old"));
    form.OpenArchiveMember(QStringLiteral("gone.jpg"), ViewLzh);
    ASSERT_EQ(messages.seen.size(), 1);
    EXPECT_EQ(messages.seen[0].text, QStringLiteral("ﾌｧｲﾙが見つかりません\n") + stale);
    EXPECT_FALSE(form.ArchiveOpening);

    // Not an archive: an empty list.
    const QString fake = freshDir() + QStringLiteral("/fake.lzh");
    writeFile(fake, QByteArray(3000, 'x'));
    form.ShowArchive(fake);
    EXPECT_TRUE(form.LZHPanel->isVisible());
    EXPECT_EQ(form.LZHPanel->ListView->count(), 0);
    form.LZHPanel->hide();

    // No LHA module: the message, and no window.
    const QStringList saved = ArchiverLibraryFolders();
    Lha32Family().Unload();
    ArchiverLibraryFolders() = QStringList{freshDir()};
    try {
        form.ShowArchive(ViewLzh);
        ADD_FAILURE() << "no exception";
    } catch (const EArchiver &e) {
        EXPECT_EQ(e.message(), QStringLiteral("この機能の使用には UNLHA32.DLL が 必要です。"));
    }
    ArchiverLibraryFolders() = saved;
    EXPECT_FALSE(form.LZHPanel->isVisible());
    EXPECT_EQ(form.LZHPanel->windowTitle(), ViewLzh);
}

TEST(ArchiveWindow, OpenImageListsLzhFiles)
{
    TMainForm form;
    form.OpenImage(ViewLzh);
    EXPECT_TRUE(form.LZHPanel->isVisible());
    EXPECT_EQ(form.LZHPanel->ListView->count(), 5);
    EXPECT_NE(form.CurrentFile, ViewLzh);
}

TEST(ArchiveWindow, EntriesOfTheSameNameShowTheirOwnPictures)
{
    MessageRecorder messages;
    TMainForm form;
    const QString one = QStringLiteral(ARCHIVE_FIXTURES "/same_names_1.zip");
    const QString two = QStringLiteral(ARCHIVE_FIXTURES "/same_names_2.zip");
    struct Step {
        const char *entry;
        const QString &archive;
        int width; // each 001.jpg is a picture of its own size
    } steps[] = {{"001.jpg", one, 10}, {"001.jpg", two, 12}, {"a/001.jpg", two, 14}, {"b/001.jpg", two, 16},
                 {"001.jpg", one, 10}};
    for (const Step &s : steps) {
        SCOPED_TRACE(s.entry);
        form.OpenArchiveMember(QString::fromLatin1(s.entry), s.archive);
        EXPECT_EQ(form.CurrentFile, TMainForm::TempFolder() + "001.jpg");
        EXPECT_EQ(form.CurrentJpeg->width(), s.width);
        EXPECT_EQ(form.Image1->picture().width(), s.width);
    }
    EXPECT_TRUE(messages.seen.isEmpty());
    EXPECT_FALSE(tempContents().contains("001.jpg")) << "read into memory, then deleted";
    // Outside an archive the same path still opens once only.
    const int counter = form.GlobalCounter;
    const QString picture = freshDir() + "/p.jpg";
    ASSERT_TRUE(writeJpeg(picture, pattern(8, 6)));
    form.OpenImage(picture);
    form.OpenImage(picture);
    EXPECT_EQ(form.GlobalCounter, counter + 1);
}

TEST(ArchiveWindow, ADropClosesIt)
{
    TMainForm form;
    const QString dir = freshDir();
    const QString picture = dir + "/p.jpg";
    ASSERT_TRUE(writeJpeg(picture, pattern(8, 6)));
    for (const QString &dropped : {picture, dir}) {
        SCOPED_TRACE(dropped.toStdString());
        form.ShowArchive(ViewLzh);
        ASSERT_TRUE(form.LZHPanel->isVisible());
        form.WMDropFiles({dropped});
        EXPECT_FALSE(form.LZHPanel->isVisible());
    }
    EXPECT_EQ(form.CurrentFile, picture);
}

TEST(ArchiveWindow, AFullTemporaryFolderIsSaidAndLeavesNothingBehind)
{
    MessageRecorder messages;
    TMainForm form;
    const QString picture = freshDir() + "/p.jpg";
    ASSERT_TRUE(writeJpeg(picture, pattern(8, 6)));
    form.OpenImage(picture);
    const QStringList before = tempContents();
    try {
        const DiskFullAfter full(100); // the entry is 291 bytes
        form.OpenArchiveMember(QStringLiteral("001.jpg"), QStringLiteral(ARCHIVE_FIXTURES "/same_names_1.zip"));
        ADD_FAILURE() << "no exception";
    } catch (const EArchiver &e) {
        EXPECT_TRUE(e.message().contains("空きが足りない")) << e.message().toStdString();
        EXPECT_TRUE(e.message().contains("001.jpg"));
    }
    EXPECT_EQ(tempContents(), before) << "no partial copy";
    EXPECT_EQ(form.CurrentFile, picture);
    EXPECT_FALSE(form.ArchiveOpening);
    EXPECT_TRUE(messages.seen.isEmpty());
}
