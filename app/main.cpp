#include "Application.h"
#include "JPEG.h"
#include "MainUnit.h"
#include "MsgBox.h"
#include "PrivateTemp.h"

#include <QScreen>

int main(int argc, char **argv)
{
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

    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    TMainForm form(args);
    form.show();
    return app.exec();
}
