#include "Application.h"

#include "Exceptions.h"
#include "MsgBox.h"

#include <QFont>
#include <QFontDatabase>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Pictlane Type II"));
    setApplicationDisplayName(QStringLiteral("Pictlane Type II"));
    SetErrorReporter(&TApplication::ShowException);
    // The program speaks Japanese whatever the locale; Qt's own dialogs follow it, and so do
    // the file type names the browsing pane shows.
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    // Without a desktop's icon theme, file types take their pictures from a common one when it
    // is installed (the pane draws its own otherwise).
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor"))
        QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
    auto *qt = new QTranslator(this);
    if (qt->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        installTranslator(qt);
    // Japanese forms for kanji (a Chinese face would draw some of them differently).
    QFont f = font();
    for (const char *family : {"Noto Sans CJK JP", "IPAPGothic", "IPAGothic", "TakaoPGothic", "VL PGothic"})
        if (QFontDatabase::hasFamily(QString::fromLatin1(family))) {
            f.setFamily(QString::fromLatin1(family));
            break;
        }
    setFont(f);
}

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::bad_alloc &) {
        ShowException(QStringLiteral("メモリが不足しています"));
    } catch (const std::exception &e) {
        ShowException(QString::fromUtf8(e.what()));
    } catch (...) {
        ShowException(QStringLiteral("不明なｴﾗｰが発生しました"));
    }
    return false;
}

void TApplication::ShowException(const QString &message)
{
    MessageDlg(activeWindow(), message, TMsgKind::Error, QMessageBox::Ok, applicationDisplayName());
}
