#include "MainUnit.h"

#include "AppPaths.h"
#include "FileTypes.h"
#include "MsgBox.h"
#include "Registry.h"
#include "ShView.h"
#include "StatusBarEx.h"
#include "TitleBar.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>
#include <tuple>
#include <variant>
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
    ArrowMenu1->setShortcut(key(0));
    ArrowMenu1B->setShortcut(key(0));
    ArrowMenu2->setShortcut(key(1));
    ArrowMenu2B->setShortcut(key(1));
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

namespace {

template <class... F> struct Overload : F... {
    using F::operator()...;
};
template <class... F> Overload(F...) -> Overload<F...>;

// Read at start and written at exit as they are, in the order of writing.
const TSetting kSettings[] = {
    {"Setting", "Douki2", &TMainForm::Douki2, false},
    {"Setting", "GlobalCounter", &TMainForm::GlobalCounter, 0},
    {"Setting", "MaskButton", &TMainForm::MaskButtonDown, false},
    {"Setting", "LastPass", &TMainForm::LastPass, "InitialWord"},
    {"Setting", "ToolName1", &TMainForm::ToolName1, "PLTOOL.EXE", true},
    {"Setting", "ToolName2", &TMainForm::ToolName2, "PLVIEW.EXE", true},
    {"Setting", "ToolName3", &TMainForm::ToolName3, "PLCONV.EXE", true},
    {"Setting", "FixedScale", &TMainForm::FixedScale, true},
    {"Setting", "PassHist", &TMainForm::PassHist, true},
    {"Setting", "HistActive", &TMainForm::HistActive, true},
    {"Window", "Hint", &TMainForm::ShowHint, true},
    {"Setting", "LinkWorkDir", &TMainForm::LinkWorkDir, true},
    {"Setting", "Reverse", &TMainForm::Reverse, false},
    {"Setting", "Scroll", &TMainForm::Scroll, 5},
    {"JPEG", "Fast", &TMainForm::Fast, true},
    {"Setting", "Mask", &TMainForm::Mask, "*.jpg"},
    {"Setting", "LinkDir", &TMainForm::LinkDir, false},
    {"JPEG", "Sort", &TMainForm::Sort, true},
    {"Setting", "Rotate", &TMainForm::Rotate, 30},
    {"JPEG", "Quality", &TMainForm::Quality, 100},
    {"Setting", "FileCount", &TMainForm::FileCount, true},
    {"Setting", "AutoTimes", &TMainForm::AutoTimes, 1},
    {"Setting", "AutoInterval", &TMainForm::AutoInterval, 1400},
    {"Setting", "InfCheck", &TMainForm::InfCheck, true},
    {"Setting", "JPZSW", &TMainForm::JPZSW, true},
    {"Setting", "SKey1", &TMainForm::SKey1, "KLDSEX"},
    {"Setting", "FolderSync", &TMainForm::FolderSync, false},
    {"Setting", "MSPLUS", &TMainForm::MSPLUS, false},
    {"Window", "BgColor", &TMainForm::BgColor, int(clBtnFace)},
    {"Window", "ForeColor", &TMainForm::ForeColor, 0x808080},
    {"Setting", "LastCG", &TMainForm::CurrentFile, ""},
    {"Window", "LeftWidth", &TMainForm::LeftWidth, 214},
    {"Setting", "SendToExe", &TMainForm::SendToExe, ""},
    {"Filer", "RowSelect", &TMainForm::RowSelect, true},
    {"Filer", "GridLines", &TMainForm::GridLines, false},
    {"Filer", "HotTrack", &TMainForm::HotTrack, false},
};

} // namespace

std::span<const TSetting> TMainForm::PlainSettings()
{
    return kSettings;
}

QString TSetting::defaultText() const
{
    const QString text = QString::fromUtf8(std::get<const char *>(def));
    return inProgramFolder ? ProgramFolder() + text : text;
}

void TMainForm::LoadSettings()
{
    const TRegIniFile ini(SettingsKey);
    for (const TSetting &row : kSettings) {
        const QString sec = QString::fromLatin1(row.section), name = QString::fromLatin1(row.name);
        std::visit(Overload{
                       [&](bool TMainForm::*m) { this->*m = ini.ReadBool(sec, name, std::get<bool>(row.def)); },
                       [&](int TMainForm::*m) { this->*m = int(ini.ReadInteger(sec, name, std::get<int>(row.def))); },
                       [&](QString TMainForm::*m) { this->*m = ini.ReadString(sec, name, row.defaultText()); },
                   },
                   row.member);
    }

    // The table's values that belong to controls.
    MaskButton->setChecked(MaskButtonDown);
    FileView1->SetRowSelect(RowSelect);
    FileView1->SetGridLines(GridLines);
    FileView1->SetHotTrack(HotTrack);
    applyLeftWidth();

    // The values with rules of their own.
    const auto readInt = [&](const QString &sec, const char *name, int def) {
        return int(ini.ReadInteger(sec, QString::fromLatin1(name), def));
    };
    IniDir = ini.ReadString(S, QStringLiteral("IniDir"), FolderOf(ProgramFolder()));
    const QSize screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->size() : QSize(640, 460);
    // Left and Top default to the centre for the design-time size, before Width and Height apply.
    QRect bounds(readInt(W, "Left", (screen.width() - 640) / 2), readInt(W, "Top", (screen.height() - 460) / 2), 640,
                 460);
    bounds.setWidth(qMax(1, readInt(W, "Width", 640)));
    bounds.setHeight(qMax(1, readInt(W, "Height", 460)));
    setGeometry(onScreen(bounds));
    const int grad = readInt(W, "GradTitle", 0);
    if (grad >= 0 && grad <= 4)
        Bar1->setDirection(TGradDirection(grad));
    StatusBar->setVisible(ini.ReadBool(W, QStringLiteral("StatusBar"), true));
    PanelHeight = readInt(S, "PanelHeight", 170);
    if (PanelHeight < 50)
        PanelHeight = 170;
    GrayScale = false;
    try {
        RegisterJpzType(JPZSW);
    } catch (const std::exception &e) {
        // The window still comes up; the message box says why the file type is not set.
        ReportError(QString::fromUtf8(e.what()));
    }
    applyKeys();
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
    if (mode >= 0 && mode <= 2) {
        ViewMode = mode;
        applyViewMode();
    }
    if (QFileInfo(IniDir).isDir()) {
        OpenDialog1.InitialDir = IniDir;
        SelectFolder(IniDir);
        applyLeftWidth(); // the layout is redone with the tree's width
    }
}

void TMainForm::SaveSettings()
{
    TRegIniFile ini(SettingsKey);
    const auto wInt = [&](const QString &sec, const char *name, qint64 v) {
        ini.WriteInteger(sec, QString::fromLatin1(name), v);
    };
    wInt(W, "GradTitle", int(Bar1->direction()));
    for (const TSetting &row : kSettings) {
        const QString sec = QString::fromLatin1(row.section), name = QString::fromLatin1(row.name);
        std::visit(Overload{
                       [&](bool TMainForm::*m) { ini.WriteBool(sec, name, this->*m); },
                       [&](int TMainForm::*m) { ini.WriteInteger(sec, name, this->*m); },
                       [&](QString TMainForm::*m) { ini.WriteString(sec, name, this->*m); },
                   },
                   row.member);
    }
    ini.WriteBool(J, QStringLiteral("GrayScale"), false);
    ini.WriteString(A, QStringLiteral("ExeName"), QCoreApplication::applicationFilePath());
    wInt(S, "PanelHeight", PanelHeight);
    ini.WriteBool(W, QStringLiteral("StatusBar"), !StatusBar->isHidden());
    // From the list's view: the small-icon view has no number and writes nothing.
    switch (FileView1->ViewStyle()) {
    case TViewStyle::vsIcon:
        wInt(S, "ViewMode", 0);
        break;
    case TViewStyle::vsList:
        wInt(S, "ViewMode", 1);
        break;
    case TViewStyle::vsReport:
        wInt(S, "ViewMode", 2);
        break;
    case TViewStyle::vsSmallIcon:
        break;
    }
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
    if (!OpenDialog1.FileName.isEmpty()) {
        const QString dir = FolderOf(OpenDialog1.FileName);
        ini.WriteString(S, QStringLiteral("IniDir"), dir.endsWith(QLatin1Char('/')) ? dir : dir + QLatin1Char('/'));
    } else if (const QString folder = FolderView1->GetCurrentPath(); !folder.isEmpty()) {
        ini.WriteString(S, QStringLiteral("IniDir"), folder);
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
