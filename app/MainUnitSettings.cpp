#include "MainUnit.h"

#include "AppPaths.h"
#include "FileTypes.h"
#include "MsgBox.h"
#include "Registry.h"
#include "StatusBarEx.h"
#include "TitleBar.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QToolBar>

#include <algorithm>
#include <tuple>
#include <vector>

QString TMainForm::NormalizeKeys(const QString &keys)
{
    QString out = QStringLiteral("KLDSEX");
    for (int i = 0; i < 6 && i < keys.size(); ++i) {
        const QChar c = keys[i].toUpper();
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            out[i] = c;
    }
    return out;
}

void TMainForm::applyKeys()
{
    // Each letter of SKey1 with Shift: previous, next, scroll right, left, up, down.
    SKey1 = NormalizeKeys(SKey1);
    const auto key = [this](int i) { return QKeySequence(QStringLiteral("Shift+") + SKey1.at(i)); };
    SlideLeft->setShortcut(key(0));
    Back1->setShortcut(key(0));
    SlideRight->setShortcut(key(1));
    Forward1->setShortcut(key(1));
    RScroll->setShortcut(key(2));
    LScroll->setShortcut(key(3));
    UScroll->setShortcut(key(4));
    DScroll->setShortcut(key(5));
}

// ---- settings -----------------------------------------------------------------------------

const QString TMainForm::SettingsKey = QStringLiteral("Software\\Korvane\\PLE");

QString TMainForm::FirstPicture(const QStringList &args, const QString &programFolder)
{
    if (!args.isEmpty())
        return QFileInfo(args.first()).absoluteFilePath();
    const QString last = TRegIniFile(SettingsKey).ReadString(QStringLiteral("Setting"), QStringLiteral("LastCG"), {});
    return !last.isEmpty() && QFileInfo(last).isFile() ? last : programFolder + QStringLiteral("def.jpg");
}

namespace {

const QString S = QStringLiteral("Setting"), W = QStringLiteral("Window"), J = QStringLiteral("JPEG"),
              F = QStringLiteral("Filer"), A = QStringLiteral("App");

// The window must come back where a person can reach it: a place on no screen (a monitor that
// is gone) is replaced by the centre of the primary screen.
QRect onScreen(const QRect &r)
{
    for (const QScreen *s : QGuiApplication::screens())
        if (s->availableGeometry().intersects(r))
            return r;
    const QScreen *p = QGuiApplication::primaryScreen();
    if (!p)
        return r;
    const QRect g = p->availableGeometry();
    return QRect(g.x() + (g.width() - r.width()) / 2, g.y() + (g.height() - r.height()) / 2, r.width(), r.height());
}

} // namespace

void TMainForm::LoadSettings()
{
    const TRegIniFile ini(SettingsKey);
    const QString folder = ProgramFolder();
    const auto readInt = [&](const QString &sec, const char *name, int def) {
        return int(ini.ReadInteger(sec, QString::fromLatin1(name), def));
    };
    const auto readBool = [&](const QString &sec, const char *name, bool def) {
        return ini.ReadBool(sec, QString::fromLatin1(name), def);
    };
    const auto readStr = [&](const QString &sec, const char *name, const QString &def) {
        return ini.ReadString(sec, QString::fromLatin1(name), def);
    };
    const QSize screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->size() : QSize(640, 460);

    IniDir = readStr(S, "IniDir", FolderOf(folder));
    MaskButtonDown = readBool(S, "MaskButton", false);
    LastPass = readStr(S, "LastPass", QStringLiteral("InitialWord"));
    ShowHint = readBool(W, "Hint", true);
    Reverse = readBool(S, "Reverse", false);
    FixedScale = readBool(S, "FixedScale", true);
    LinkWorkDir = readBool(S, "LinkWorkDir", true);
    // Left and Top default to the centre for the design-time size, before Width and Height apply.
    QRect bounds(readInt(W, "Left", (screen.width() - 640) / 2), readInt(W, "Top", (screen.height() - 460) / 2), 640,
                 460);
    bounds.setWidth(qMax(1, readInt(W, "Width", 640)));
    bounds.setHeight(qMax(1, readInt(W, "Height", 460)));
    setGeometry(onScreen(bounds));
    Scroll = readInt(S, "Scroll", 5);
    Douki2 = readBool(S, "Douki2", false);
    Mask = readStr(S, "Mask", QStringLiteral("*.jpg"));
    const int grad = readInt(W, "GradTitle", 0);
    if (grad >= 0 && grad <= 4)
        Bar1->setDirection(TGradDirection(grad));
    LinkDir = readBool(S, "LinkDir", false);
    PassHist = readBool(S, "PassHist", true);
    HistActive = readBool(S, "HistActive", true);
    BgColor = TColor(readInt(W, "BgColor", clBtnFace));
    ForeColor = TColor(readInt(W, "ForeColor", 0x808080));
    SendToExe = readStr(S, "SendToExe", QString());
    CurrentFile = readStr(S, "LastCG", QString());
    GlobalCounter = readInt(S, "GlobalCounter", 0);
    RowSelect = readBool(F, "RowSelect", true);
    GridLines = readBool(F, "GridLines", false);
    HotTrack = readBool(F, "HotTrack", false);
    StatusBar->setVisible(readBool(W, "StatusBar", true));
    Sort = readBool(J, "Sort", true);
    Rotate = readInt(S, "Rotate", 30);
    Quality = readInt(J, "Quality", 100);
    FileCount = readBool(S, "FileCount", true);
    AutoTimes = readInt(S, "AutoTimes", 1);
    AutoInterval = readInt(S, "AutoInterval", 1400);
    InfCheck = readBool(S, "InfCheck", true);
    PanelHeight = readInt(S, "PanelHeight", 170);
    if (PanelHeight < 50)
        PanelHeight = 170;
    MSPLUS = readBool(S, "MSPLUS", false);
    JPZSW = readBool(S, "JPZSW", true);
    try {
        RegisterJpzType(JPZSW);
    } catch (const std::exception &e) {
        // The window still comes up; the message box says why the file type is not set.
        ReportError(QString::fromUtf8(e.what()));
    }
    SKey1 = readStr(S, "SKey1", QStringLiteral("KLDSEX"));
    applyKeys();
    ToolName1 = readStr(S, "ToolName1", folder + QStringLiteral("PLTOOL.EXE"));
    ToolName2 = readStr(S, "ToolName2", folder + QStringLiteral("PLVIEW.EXE"));
    ToolName3 = readStr(S, "ToolName3", folder + QStringLiteral("PLCONV.EXE"));
    FolderSync = readBool(S, "FolderSync", false);
    LeftWidth = readInt(W, "LeftWidth", 214);
    Fast = readBool(J, "Fast", true);
    GrayScale = false;
    switch (readInt(W, "State", 2)) {
    case 0:
        setWindowState(Qt::WindowMaximized);
        break;
    case 1:
        setWindowState(Qt::WindowMinimized);
        break;
    case 2:
        setWindowState(Qt::WindowNoState);
        break;
    default:
        break;
    }
    const int mode = readInt(S, "ViewMode", 0);
    if (mode >= 0 && mode <= 2)
        ViewMode = mode;
    if (QFileInfo(IniDir).isDir())
        SelectFolder(IniDir);
}

void TMainForm::SaveSettings()
{
    TRegIniFile ini(SettingsKey);
    const auto wInt = [&](const QString &sec, const char *name, qint64 v) {
        ini.WriteInteger(sec, QString::fromLatin1(name), v);
    };
    const auto wBool = [&](const QString &sec, const char *name, bool v) {
        ini.WriteBool(sec, QString::fromLatin1(name), v);
    };
    const auto wStr = [&](const QString &sec, const char *name, const QString &v) {
        ini.WriteString(sec, QString::fromLatin1(name), v);
    };
    wInt(W, "GradTitle", int(Bar1->direction()));
    wBool(S, "Douki2", Douki2);
    wInt(S, "GlobalCounter", GlobalCounter);
    wBool(S, "MaskButton", MaskButtonDown);
    wStr(S, "LastPass", LastPass);
    wStr(S, "ToolName1", ToolName1);
    wStr(S, "ToolName2", ToolName2);
    wStr(S, "ToolName3", ToolName3);
    wBool(S, "FixedScale", FixedScale);
    wBool(S, "PassHist", PassHist);
    wBool(S, "HistActive", HistActive);
    wBool(W, "Hint", ShowHint);
    wBool(S, "LinkWorkDir", LinkWorkDir);
    wBool(S, "Reverse", Reverse);
    wInt(S, "Scroll", Scroll);
    wBool(J, "GrayScale", false);
    wBool(J, "Fast", Fast);
    wStr(S, "Mask", Mask);
    wBool(S, "LinkDir", LinkDir);
    wStr(A, "ExeName", QCoreApplication::applicationFilePath());
    wBool(J, "Sort", Sort);
    wInt(S, "Rotate", Rotate);
    wInt(J, "Quality", Quality);
    wBool(S, "FileCount", FileCount);
    wInt(S, "AutoTimes", AutoTimes);
    wInt(S, "AutoInterval", AutoInterval);
    wBool(S, "InfCheck", InfCheck);
    wInt(S, "PanelHeight", PanelHeight);
    wBool(S, "JPZSW", JPZSW);
    wStr(S, "SKey1", SKey1);
    wBool(S, "FolderSync", FolderSync);
    wBool(S, "MSPLUS", MSPLUS);
    wBool(W, "StatusBar", !StatusBar->isHidden());
    wInt(W, "BgColor", BgColor);
    wInt(W, "ForeColor", ForeColor);
    wStr(S, "LastCG", CurrentFile);
    wInt(W, "LeftWidth", LeftWidth);
    wStr(S, "SendToExe", SendToExe);
    wBool(F, "RowSelect", RowSelect);
    wBool(F, "GridLines", GridLines);
    wBool(F, "HotTrack", HotTrack);
    wInt(S, "ViewMode", ViewMode);
    if (isMaximized()) {
        wInt(W, "State", 0);
    } else if (isMinimized()) {
        wInt(W, "State", 1);
    } else {
        wInt(W, "State", 2);
        wInt(W, "Left", x());
        wInt(W, "Top", y());
        wInt(W, "Width", width());
        wInt(W, "Height", height());
    }
    if (!OpenDialogFileName.isEmpty()) {
        const QString dir = FolderOf(OpenDialogFileName);
        wStr(S, "IniDir", dir.endsWith(QLatin1Char('/')) ? dir : dir + QLatin1Char('/'));
    } else if (!CurrentFolder.isEmpty()) {
        wStr(S, "IniDir", CurrentFolder);
    }
    ini.UpdateFile();
}

void TMainForm::RegisterJpzType(bool on)
{
    TRegistry reg(THive::ClassesRoot);
    if (on) {
        const QString exe = QCoreApplication::applicationFilePath();
        const std::pair<const char *, QString> keys[] = {
            {".jpz", QStringLiteral("Crypted_JPEG")},
            {"Crypted_JPEG", QStringLiteral("暗号化JPEG")},
            {"Crypted_JPEG\\shell\\open\\command", exe + QStringLiteral(" \"%1\"")},
            {"Crypted_JPEG\\DefaultIcon", exe + QStringLiteral(",1")},
        };
        for (const auto &[key, value] : keys) {
            reg.OpenKey(QLatin1Char('\\') + QString::fromLatin1(key), true);
            reg.WriteString(QString(), value);
            reg.CloseKey();
        }
    } else {
        reg.DeleteKey(QStringLiteral("\\.jpz"));
        reg.DeleteKey(QStringLiteral("\\Crypted_JPEG"));
        reg.CloseKey();
    }
    // The desktop's side, so that a file manager opens .jpz files with us.
    RegisterDesktopFileType({QStringLiteral("pictlane-crypted-jpeg"), QStringLiteral("application/x-crypted-jpeg"),
                             QStringLiteral("暗号化JPEG"), QStringLiteral("*.jpz"),
                             QStringLiteral("pictlane-viewer.desktop"), QStringLiteral("Pictlane Type II"),
                             QCoreApplication::applicationFilePath()},
                            on);
}

// The toolbar library's layout values, one subkey per toolbar: which dock (or "+" floating),
// row and place in it, visibility, and the floating position.
namespace {
QString dockName(Qt::ToolBarArea a)
{
    switch (a) {
    case Qt::LeftToolBarArea:
        return QStringLiteral("Dock973");
    case Qt::BottomToolBarArea:
        return QStringLiteral("Dock974");
    case Qt::RightToolBarArea:
        return QStringLiteral("Dock971");
    default:
        return QStringLiteral("Dock972");
    }
}

Qt::ToolBarArea dockArea(const QString &name)
{
    if (name == QLatin1String("Dock973"))
        return Qt::LeftToolBarArea;
    if (name == QLatin1String("Dock974"))
        return Qt::BottomToolBarArea;
    if (name == QLatin1String("Dock971"))
        return Qt::RightToolBarArea;
    return Qt::TopToolBarArea;
}
} // namespace

void TMainForm::SaveToolbars()
{
    TRegIniFile ini(SettingsKey);
    for (QToolBar *tb : {Toolbar973, Toolbar974, Toolbar975}) {
        const QString sec = tb->objectName();
        const Qt::ToolBarArea area = toolBarArea(tb);
        const bool vertical = area == Qt::LeftToolBarArea || area == Qt::RightToolBarArea;
        // Rows count outward from the window's edge; positions run along the row.
        int row = 0;
        for (QToolBar *other : {Toolbar973, Toolbar974, Toolbar975})
            if (other != tb && toolBarArea(other) == area && !other->isFloating() &&
                (vertical ? other->x() < tb->x() : other->y() < tb->y()))
                ++row;
        ini.WriteInteger(sec, "Rev", 2);
        ini.WriteBool(sec, "Visible", !tb->isHidden());
        ini.WriteString(sec, "DockedTo", tb->isFloating() ? QStringLiteral("+") : dockName(area));
        ini.WriteInteger(sec, "DockRow", row);
        ini.WriteInteger(sec, "DockPos", vertical ? tb->y() : tb->x());
        ini.WriteInteger(sec, "FloatLeft", tb->isFloating() ? tb->x() : 0);
        ini.WriteInteger(sec, "FloatTop", tb->isFloating() ? tb->y() : 0);
    }
    ini.UpdateFile();
}

void TMainForm::RestoreToolbars()
{
    const TRegIniFile ini(SettingsKey);
    struct Place {
        QToolBar *tb;
        Qt::ToolBarArea area;
        int row, pos;
    };
    std::vector<Place> places;
    for (QToolBar *tb : {Toolbar973, Toolbar974, Toolbar975}) {
        const QString sec = tb->objectName();
        if (ini.ReadInteger(sec, "Rev", 0) != 2)
            continue; // nothing stored, or a layout of another form: keep the design
        // A floating toolbar comes back docked where it was last docked by design.
        const QString dock = ini.ReadString(sec, "DockedTo", QString());
        const Qt::ToolBarArea area = dock == QLatin1String("+") ? toolBarArea(tb) : dockArea(dock);
        places.push_back({tb, area, int(ini.ReadInteger(sec, "DockRow", 0)), int(ini.ReadInteger(sec, "DockPos", 0))});
        tb->setVisible(ini.ReadBool(sec, "Visible", true));
    }
    std::sort(places.begin(), places.end(), [](const Place &a, const Place &b) {
        return std::tie(a.area, a.row, a.pos) < std::tie(b.area, b.row, b.pos);
    });
    for (size_t i = 0; i < places.size(); ++i) {
        const Place &p = places[i];
        if (i > 0 && places[i - 1].area == p.area && places[i - 1].row != p.row)
            addToolBarBreak(p.area);
        addToolBar(p.area, p.tb);
    }
}
