#include "AppTestSupport.h"
#include "MainUnit.h"
#include "ShView.h"
#include "TestSupport.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSplitter>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

class Pane : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(freshDir())); // an empty registry each time
        dir = freshDir();
        ASSERT_TRUE(writeJpeg(dir + "/a.jpg", pattern(40, 30, 1)));
        ASSERT_TRUE(writeJpeg(dir + "/b.JPG", pattern(60, 40, 2)));
        QFile notes(dir + "/notes.txt");
        ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
        QDir().mkpath(dir + "/sub");
    }
    static void settle(TFileView &list)
    {
        for (int i = 0; i < 20 && list.Filling(); ++i)
            list.WaitFilled();
    }
    static QStringList names(const TFileView &list)
    {
        QStringList out;
        for (int i = 0; i < list.Count(); ++i)
            out << list.ItemText(i, 0);
        return out;
    }
    // The row's item as a user reaches it: selected, then clicked.
    static void click(TFileView &list, const QString &name)
    {
        const int row = int(names(list).indexOf(name));
        ASSERT_GE(row, 0) << name.toStdString();
        list.SetSelected(row);
        emit list.currentView()->clicked(list.currentView()->model()->index(row, 0));
    }
    QString dir;
    MessageRecorder messages;
};

} // namespace

TEST_F(Pane, OpensOnTheButtonBrowsesAndOpensWhatIsClicked)
{
    TMainForm form;
    form.show();
    QApplication::processEvents();
    EXPECT_EQ(form.Panel1->height(), 0) << "hidden at start";
    form.Explorer->click();
    EXPECT_EQ(form.Panel1->height(), form.PanelHeight);
    EXPECT_EQ(form.Panel5->width(), form.LeftWidth);
    EXPECT_EQ(form.Panel7->height(), 26);

    form.SelectFolder(dir);
    settle(*form.FileView1);
    EXPECT_EQ(form.FolderView1->GetCurrentPath(), dir);
    EXPECT_EQ(form.ComboView1->currentText(), QFileInfo(dir).fileName()) << "the combo follows";
    EXPECT_EQ(names(*form.FileView1), (QStringList{"sub", "a.jpg", "b.JPG", "notes.txt"})) << "mask up: all";
    EXPECT_TRUE(form.UpButton->isEnabled());

    form.MaskButton->click();
    settle(*form.FileView1);
    EXPECT_TRUE(form.MaskButtonDown);
    EXPECT_EQ(names(*form.FileView1), (QStringList{"sub", "a.jpg", "b.JPG"})) << "mask down: pictures";
    form.MaskButton->click();
    settle(*form.FileView1);
    EXPECT_EQ(form.FileView1->Count(), 4);

    // A click opens a picture; a file of another program waits for a double click.
    click(*form.FileView1, "b.JPG");
    EXPECT_EQ(form.CurrentFile, dir + "/b.JPG");
    click(*form.FileView1, "notes.txt");
    EXPECT_EQ(form.CurrentFile, dir + "/b.JPG");
    // Enter opens the selected picture.
    form.FileView1->SetSelected(int(names(*form.FileView1).indexOf("a.jpg")));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(form.FileView1->currentView(), &enter);
    EXPECT_EQ(form.CurrentFile, dir + "/a.jpg");

    // A press in the list moves the archive window's anchor below it.
    QWidget *viewport = form.FileView1->currentView()->viewport();
    const QPoint at(10, 12);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), QPointF(viewport->mapToGlobal(at)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &press);
    EXPECT_EQ(form.ArchiveAnchor, viewport->mapToGlobal(at) + QPoint(0, 15));

    // A double click on a folder opens it in the tree; up goes back.
    const int sub = int(names(*form.FileView1).indexOf("sub"));
    form.FileView1->SetSelected(sub);
    emit form.FileView1->currentView()->doubleClicked(form.FileView1->currentView()->model()->index(sub, 0));
    EXPECT_EQ(form.FolderView1->GetCurrentPath(), dir + "/sub");
    form.UpButton->click();
    EXPECT_EQ(form.FolderView1->GetCurrentPath(), dir);
    form.FolderView1->SetCurrentPath("/");
    EXPECT_FALSE(form.UpButton->isEnabled()) << "nothing above /";
    form.FolderView1->setCurrentItem(form.FolderView1->topLevelItem(0));
    EXPECT_FALSE(form.UpButton->isEnabled()) << "nor above the desktop";
}

TEST_F(Pane, ViewModeWidthAndHeightAreKeptAsTheUserLeavesThem)
{
    {
        TMainForm form;
        form.show();
        QApplication::processEvents();
        EXPECT_TRUE(form.ViewMode0->isChecked());
        EXPECT_EQ(form.FileView1->ViewStyle(), TViewStyle::vsIcon);
        form.ViewMode1->click();
        EXPECT_EQ(form.FileView1->ViewStyle(), TViewStyle::vsList);
        form.ViewMode2->click();
        EXPECT_EQ(form.FileView1->ViewStyle(), TViewStyle::vsReport);
        EXPECT_FALSE(form.ViewMode0->isChecked()) << "one group";

        form.Explorer->click();
        const int total = form.Panel13->height();
        form.Panel13->setSizes({120, total - 120});
        emit form.Panel13->splitterMoved(120, 1);
        EXPECT_EQ(form.PanelHeight, 120);
        form.Explorer->click(); // the pane closes: its height of 0 is not kept
        emit form.Panel13->splitterMoved(0, 1);
        EXPECT_EQ(form.PanelHeight, 120);

        form.Splitter1->setSizes({150, form.Splitter1->width() - 150});
        emit form.Splitter1->splitterMoved(150, 1);
        EXPECT_EQ(form.LeftWidth, 150);
        form.SelectFolder(dir);
        bool canClose = false;
        form.FormCloseQuery(canClose); // saves the settings
        EXPECT_TRUE(canClose);
    }
    TMainForm form;
    EXPECT_EQ(form.PanelHeight, 120);
    EXPECT_EQ(form.LeftWidth, 150);
    EXPECT_EQ(form.ViewMode, 2);
    EXPECT_TRUE(form.ViewMode2->isChecked());
    EXPECT_EQ(form.FileView1->ViewStyle(), TViewStyle::vsReport);
    EXPECT_EQ(form.FolderView1->GetCurrentPath(), dir) << "the tree's folder became IniDir";
}
