#include "MainUnit.h"
#include "ShView.h"
#include "Registry.h"
#include "StatusBarEx.h"
#include "TestSupport.h"
#include "TitleBar.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScreen>
#include <QToolBar>

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

const QString kKey = QStringLiteral("Software\\Korvane\\PLE");

// Every test starts with an empty registry of its own.
class Settings : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(freshDir()));
        dir = freshDir();
    }
    void store(const QString &section, const QString &name, const QString &value)
    {
        TRegIniFile ini(kKey);
        ini.WriteString(section, name, value);
        ini.UpdateFile();
    }
    QString stored(const QString &section, const QString &name)
    {
        return TRegIniFile(kKey).ReadString(section, name, QStringLiteral("<missing>"));
    }
    void closeAndSave(TMainForm &form)
    {
        bool canClose = false;
        form.FormCloseQuery(canClose);
        EXPECT_TRUE(canClose);
    }
    QString dir;
};

} // namespace

TEST_F(Settings, FirstStartWithAnEmptyStore)
{
    TMainForm form;
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(form.size(), QSize(640, 460));
    EXPECT_EQ(form.pos(), QPoint((screen.width() - 640) / 2, (screen.height() - 460) / 2));
    EXPECT_TRUE(form.FixedScale);
    EXPECT_EQ(form.ViewMode, 0) << "large icons";
    EXPECT_EQ(form.FolderView1->GetCurrentPath(), form.IniDir);
    EXPECT_EQ(form.IniDir + '/', QCoreApplication::applicationDirPath() + '/');
    EXPECT_EQ(form.AutoTimes, 1);
    EXPECT_EQ(form.AutoInterval, 1400);
    EXPECT_EQ(form.Scroll, 5);
    EXPECT_EQ(form.ArrowMenu1->shortcut(), QKeySequence("Shift+K"));
    EXPECT_EQ(form.ArrowMenu1B->shortcut(), QKeySequence("Shift+K"));
    EXPECT_EQ(form.ArrowMenu2->shortcut(), QKeySequence("Shift+L"));
    EXPECT_EQ(form.ArrowMenu2B->shortcut(), QKeySequence("Shift+L"));
    EXPECT_EQ(form.RScroll->shortcut(), QKeySequence("Shift+D"));
    EXPECT_EQ(form.LScroll->shortcut(), QKeySequence("Shift+S"));
    EXPECT_EQ(form.UScroll->shortcut(), QKeySequence("Shift+E"));
    EXPECT_EQ(form.DScroll->shortcut(), QKeySequence("Shift+X"));
    EXPECT_EQ(form.LastPass, "InitialWord");
    EXPECT_EQ(form.Mask, "*.jpg");
    EXPECT_EQ(form.BgColor, TColor(0x8000000F));
    EXPECT_EQ(form.ToolName1, QCoreApplication::applicationDirPath() + "/PLTOOL.EXE");
    EXPECT_EQ(form.PanelHeight, 170);
    EXPECT_EQ(form.LeftWidth, 214);
    EXPECT_TRUE(form.JPZSW);
    EXPECT_FALSE(form.StatusBar->isHidden());
    EXPECT_TRUE(form.CurrentFile.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(TRegistry::hiveFile(THive::CurrentUser))) << "reading writes nothing";
}

TEST_F(Settings, EveryPlainSettingTakesItsDefaultAndComesBack)
{
    // Each row gets a value of its own, unlike its default and every other row's, so a row that
    // reads or writes another's member shows up.
    const auto valueFor = [](size_t i, const TSetting &row) -> std::variant<bool, int, QString> {
        if (std::holds_alternative<bool>(row.def))
            return !std::get<bool>(row.def);
        if (std::holds_alternative<int>(row.def))
            return std::get<int>(row.def) + 11 + int(i);
        QString text; // capital letters survive the key letters' normalising
        for (int k = 0; k < 6; ++k)
            text += QChar('A' + int((i + size_t(k) * 5) % 26));
        return text;
    };
    const std::span<const TSetting> rows = TMainForm::PlainSettings();
    ASSERT_FALSE(rows.empty());
    {
        TMainForm form;
        for (size_t i = 0; i < rows.size(); ++i) {
            const TSetting &row = rows[i];
            SCOPED_TRACE(row.name);
            std::visit(
                [&](auto member) {
                    using T = std::decay_t<decltype(form.*member)>;
                    if constexpr (std::is_same_v<T, QString>) {
                        EXPECT_EQ(form.*member, row.defaultText());
                        form.*member = std::get<QString>(valueFor(i, row));
                    } else {
                        EXPECT_EQ(form.*member, std::get<T>(row.def));
                        form.*member = std::get<T>(valueFor(i, row));
                    }
                },
                row.member);
        }
        closeAndSave(form);
    }
    TMainForm again;
    for (size_t i = 0; i < rows.size(); ++i) {
        const TSetting &row = rows[i];
        SCOPED_TRACE(row.name);
        std::visit(
            [&](auto member) {
                using T = std::decay_t<decltype(again.*member)>;
                EXPECT_EQ(again.*member, std::get<T>(valueFor(i, row)));
            },
            row.member);
    }
}

TEST_F(Settings, TextForms)
{
    store("Setting", "AutoInterval", "0x3E8");
    store("Setting", "AutoTimes", "lots");
    store("Window", "BgColor", "255");
    store("Setting", "FixedScale", "2");
    store("Setting", "LinkWorkDir", "0");
    store("Window", "GradTitle", "3");
    store("Window", "StatusBar", "0");
    TMainForm form;
    EXPECT_EQ(form.AutoInterval, 1000);
    EXPECT_EQ(form.AutoTimes, 1) << "not a number: the default";
    EXPECT_EQ(form.BgColor, 255);
    EXPECT_TRUE(form.FixedScale);
    EXPECT_FALSE(form.LinkWorkDir);
    EXPECT_EQ(form.Bar1->direction(), TGradDirection::RightToLeft);
    EXPECT_TRUE(form.StatusBar->isHidden());

    closeAndSave(form);
    EXPECT_EQ(stored("Window", "BgColor"), "255");
    EXPECT_EQ(stored("Setting", "AutoInterval"), "1000");
    EXPECT_EQ(stored("Setting", "FixedScale"), "1");
    EXPECT_EQ(stored("Window", "GradTitle"), "3");
    EXPECT_EQ(stored("Window", "StatusBar"), "0");
    EXPECT_EQ(stored("JPEG", "GrayScale"), "0");
    EXPECT_EQ(stored("App", "ExeName"), QCoreApplication::applicationFilePath());
}

TEST_F(Settings, DefaultColourIsStoredAsItsSignedText)
{
    TMainForm form;
    closeAndSave(form);
    EXPECT_EQ(stored("Window", "BgColor"), "-2147483633");
    EXPECT_EQ(stored("Window", "ForeColor"), "8421504");
}

TEST_F(Settings, PanelHeightBelowFiftyIsReplaced)
{
    for (const auto &[text, expected] : {std::pair{"30", 170}, {"49", 170}, {"50", 50}, {"400", 400}}) {
        SCOPED_TRACE(text);
        store("Setting", "PanelHeight", text);
        TMainForm form;
        EXPECT_EQ(form.PanelHeight, expected);
    }
}

TEST_F(Settings, ScrollAndSlideKeys)
{
    struct Case {
        const char *stored;
        const char *used;
    } cases[] = {
        {"abcdef", "ABCDEF"},                         // lower case is taken as the capital
        {"QW", "QWDSEX"},                             // too short: the rest from the defaults
        {"1B#DE!", "KBDDEX"},                         // not a letter: that place from the defaults
        {"", "KLDSEX"},       {"ZYXWVUTS", "ZYXWVU"}, // too long: the first six
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.stored);
        store("Setting", "SKey1", c.stored);
        TMainForm form;
        EXPECT_EQ(form.SKey1, QString(c.used));
        EXPECT_EQ(form.ArrowMenu2->shortcut(), QKeySequence(QString("Shift+") + c.used[1]));
        EXPECT_EQ(form.DScroll->shortcut(), QKeySequence(QString("Shift+") + c.used[5]));
    }
}

TEST_F(Settings, TheWindowAndTheLastPictureComeBack)
{
    const QString pic = dir + "/last.jpg";
    ASSERT_TRUE(writeJpeg(pic, pattern(50, 40)));
    {
        TMainForm form({pic});
        form.show();
        QApplication::processEvents();
        form.setGeometry(100, 80, 700, 500);
        form.Rotate = 45;
        closeAndSave(form);
    }
    EXPECT_EQ(stored("Setting", "LastCG"), pic);
    TMainForm again;
    EXPECT_EQ(again.geometry(), QRect(100, 80, 700, 500));
    EXPECT_EQ(again.Rotate, 45);
    again.show();
    QApplication::processEvents();
    EXPECT_EQ(again.CurrentFile, pic) << "no argument: the last picture reopens";
    EXPECT_EQ(again.GlobalCounter, 2);
}

TEST_F(Settings, FirstPictureChoice)
{
    const QString pic = dir + "/p.jpg", gone = dir + "/gone.jpg";
    ASSERT_TRUE(writeFile(pic, "x"));
    EXPECT_EQ(TMainForm::FirstPicture({}, "/prog/"), "/prog/def.jpg");
    store("Setting", "LastCG", gone);
    EXPECT_EQ(TMainForm::FirstPicture({}, "/prog/"), "/prog/def.jpg");
    store("Setting", "LastCG", pic);
    EXPECT_EQ(TMainForm::FirstPicture({}, "/prog/"), pic);
    EXPECT_EQ(TMainForm::FirstPicture({gone, pic}, "/prog/"), gone) << "the first argument, even if missing";
}

TEST_F(Settings, MaximisedExitKeepsTheNormalBounds)
{
    store("Window", "Left", "120");
    store("Window", "Top", "60");
    store("Window", "Width", "500");
    store("Window", "Height", "400");
    TMainForm form;
    form.showMaximized();
    QApplication::processEvents();
    closeAndSave(form);
    EXPECT_EQ(stored("Window", "State"), "0");
    EXPECT_EQ(stored("Window", "Left"), "120");
    EXPECT_EQ(stored("Window", "Width"), "500");
    TMainForm again;
    EXPECT_TRUE(again.windowState() & Qt::WindowMaximized);
}

TEST_F(Settings, AWindowOffEveryScreenComesBackOnOne)
{
    store("Window", "Left", "-30000");
    store("Window", "Top", "-30000");
    TMainForm form;
    EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().intersects(form.geometry()));
    EXPECT_EQ(form.size(), QSize(640, 460));
}

TEST_F(Settings, IniDirFollowsTheOpenDialogThenTheFolderTree)
{
    const QString picture = dir + "/x.jpg";
    ASSERT_TRUE(writeJpeg(picture, pattern(8, 8)));
    {
        TMainForm form;
        form.ExecuteDialog = [&](TFileDialog &d) {
            EXPECT_EQ(d.Title, "ﾌｧｲﾙを開く");
            EXPECT_EQ(d.InitialDir, form.FolderView1->GetCurrentPath());
            d.FileName = picture;
            return true;
        };
        form.Open1Click();
        EXPECT_EQ(form.CurrentFile, picture);
        closeAndSave(form);
        EXPECT_EQ(stored("Setting", "IniDir"), dir + '/');
    }
    {
        TMainForm form;
        EXPECT_EQ(form.FolderView1->GetCurrentPath(), dir) << "IniDir, with its slash, selects the folder";
        EXPECT_EQ(form.OpenDialog1.InitialDir, dir + '/');
        form.SelectFolder(dir);
        closeAndSave(form);
        EXPECT_EQ(stored("Setting", "IniDir"), dir);
    }
    // A choice in the dialog, then a cancelled one: the tree decides, not the earlier choice.
    const QString other = freshDir();
    {
        TMainForm form;
        form.ExecuteDialog = [&](TFileDialog &d) {
            d.FileName = picture;
            return true;
        };
        form.Open1Click();
        form.ExecuteDialog = [](TFileDialog &) { return false; };
        form.Open1Click();
        form.SelectFolder(other);
        closeAndSave(form);
        EXPECT_EQ(stored("Setting", "IniDir"), other);
    }
}

TEST_F(Settings, EncryptedJpegFileTypeFollowsJPZSW)
{
    const QString data = freshDir();
    qputenv("XDG_DATA_HOME", QFile::encodeName(data));
    const QString entry = data + "/applications/pictlane-viewer.desktop";
    const QString exe = QCoreApplication::applicationFilePath();
    {
        TMainForm form;
        TRegistry reg(THive::ClassesRoot);
        ASSERT_TRUE(reg.OpenKey(".jpz", false));
        EXPECT_EQ(reg.ReadString(""), "Crypted_JPEG");
        ASSERT_TRUE(reg.OpenKey("\\Crypted_JPEG", false));
        EXPECT_EQ(reg.ReadString(""), "暗号化JPEG");
        ASSERT_TRUE(reg.OpenKey("\\Crypted_JPEG\\shell\\open\\command", false));
        EXPECT_EQ(reg.ReadString(""), exe + " \"%1\"");
        ASSERT_TRUE(reg.OpenKey("\\Crypted_JPEG\\DefaultIcon", false));
        EXPECT_EQ(reg.ReadString(""), exe + ",1");
        EXPECT_TRUE(readFile(entry).contains(("Exec=" + exe + " %f").toUtf8()));
        EXPECT_TRUE(QFileInfo::exists(data + "/mime/packages/pictlane-crypted-jpeg.xml"));
    }
    store("Setting", "JPZSW", "0");
    {
        TRegistry extra(THive::ClassesRoot);
        extra.OpenKey("Crypted_JPEG\\shell\\print", true);
        extra.CloseKey();
    }
    TMainForm form;
    TRegistry reg(THive::ClassesRoot);
    EXPECT_FALSE(reg.KeyExists(".jpz"));
    EXPECT_FALSE(reg.KeyExists("Crypted_JPEG")) << "removed with everything below it";
    EXPECT_FALSE(QFileInfo::exists(entry));
}

TEST_F(Settings, ToolbarLayoutComesBack)
{
    {
        TMainForm form;
        form.show();
        form.removeToolBar(form.Toolbar974);
        form.addToolBar(Qt::BottomToolBarArea, form.Toolbar974);
        form.Toolbar974->show();
        form.Toolbar975->hide();
        QApplication::processEvents();
        closeAndSave(form);
    }
    EXPECT_EQ(stored("Toolbar974", "DockedTo"), "Dock974");
    EXPECT_EQ(stored("Toolbar974", "Rev"), "2");
    EXPECT_EQ(stored("Toolbar975", "Visible"), "0");
    TMainForm form;
    EXPECT_EQ(form.toolBarArea(form.Toolbar974), Qt::BottomToolBarArea);
    EXPECT_EQ(form.toolBarArea(form.Toolbar973), Qt::TopToolBarArea);
    EXPECT_TRUE(form.Toolbar975->isHidden());
}

TEST_F(Settings, ACorruptStoreNeverStopsTheProgram)
{
    const QString file = TRegistry::hiveFile(THive::CurrentUser);
    QDir().mkpath(QFileInfo(file).path());
    const QByteArray junk("\x89PNG\r\n\x1a\n\x00\x00garbage [Software\\Korvane\nWidth=\xff\xff", 36);
    ASSERT_TRUE(writeFile(file, junk));
    {
        TMainForm form;
        EXPECT_EQ(form.size(), QSize(640, 460));
        EXPECT_EQ(readFile(file), junk) << "not rewritten by reading";
        closeAndSave(form);
    }
    EXPECT_EQ(stored("Window", "Width"), "640");
    EXPECT_EQ(readFile(file + ".bad"), junk);
}

TEST_F(Settings, AFailedSaveIsReportedAndStillCleansUp)
{
    const QString file = TRegistry::hiveFile(THive::CurrentUser);
    const QString folder = QFileInfo(file).path();
    ASSERT_TRUE(writeFile(folder, "a file where the folder should be"));
    const QString temp = dir + "/extracted.jpg";
    ASSERT_TRUE(writeFile(temp, "x"));
    QStringList reported;
    SetErrorReporter([&](const QString &m) { reported.append(m); });
    TMainForm form;
    SetErrorReporter(nullptr);
    ASSERT_EQ(reported.size(), 1) << "the file type could not be registered: said, and the window comes up";
    EXPECT_TRUE(reported[0].contains("classes.reg"));
    form.TempFiles = {temp};
    bool canClose = false;
    EXPECT_THROW(form.FormCloseQuery(canClose), EInOutError);
    EXPECT_TRUE(canClose);
    EXPECT_FALSE(QFileInfo::exists(temp));
    QFile::remove(folder);
}
