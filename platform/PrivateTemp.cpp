#include "PrivateTemp.h"

#include "Exceptions.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {
TPrivateTemp *g_instance = nullptr;
}

TPrivateTemp::TPrivateTemp()
{
    QByteArray tmpl = QFile::encodeName(QDir::tempPath() + QStringLiteral("/pictlane-XXXXXX"));
    // mkdtemp creates the folder with mode 0700 and refuses an existing name, so nobody can
    // have prepared it for us.
    if (!mkdtemp(tmpl.data()))
        throw EInOutError(ioErrorMessage(QStringLiteral("一時ﾌｫﾙﾀﾞを作成"), QDir::tempPath(),
                                         QString::fromLocal8Bit(std::strerror(errno))));
    m_path = QFile::decodeName(tmpl) + QLatin1Char('/');
    if (!g_instance)
        g_instance = this;
}

TPrivateTemp::~TPrivateTemp()
{
    QDir(m_path).removeRecursively();
    if (g_instance == this)
        g_instance = nullptr;
}

TPrivateTemp *TPrivateTemp::instance()
{
    return g_instance;
}
