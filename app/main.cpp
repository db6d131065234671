#include "Application.h"
#include "JPEG.h"
#include "MainUnit.h"
#include "Preload.h"
#include "PrivateTemp.h"
#include "TermSignals.h"

#include <QFile>
#include <QFileInfo>
#include <QScreen>

int main(int argc, char **argv)
{
    // The first picture decodes on the second core while the window system comes up. (Qt takes
    // its own options out of the arguments later; a file name starting with "-" is rare.)
    TPreload preload;
    QStringList first;
    if (argc > 1 && argv[1][0] != '-')
        first.append(QFile::decodeName(argv[1]));
    preload.start(TMainForm::FirstPicture(first, QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath() + '/'));

    TApplication app(argc, argv);
    std::unique_ptr<TPrivateTemp> temp;
    try {
        temp = std::make_unique<TPrivateTemp>();
    } catch (const Exception &e) {
        TApplication::ShowException(e.message());
        return 1;
    }
    if (const QScreen *s = QGuiApplication::primaryScreen())
        JpegDefaults.EightBitOutput = s->depth() <= 8;
    if (JpegDefaults.EightBitOutput)
        preload.take(QString()); // decoded for a deeper screen than this one

    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    // Asked to stop from outside: close as the user would, so settings are saved and temporary
    // files go, then leave every event loop, those of open dialogs too.
    TTermSignals term([](int) {
        QApplication::closeAllWindows();
        QCoreApplication::quit();
    });
    TMainForm form(args);
    form.Preload = &preload;
    form.show();
    return app.exec();
}
