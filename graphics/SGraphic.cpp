#include "SGraphic.h"

#include "SafeFile.h"

#include <QFile>

void TGraphic::assign(const TGraphic &source)
{
    if (&source == this)
        return;
    if (!source.assignTo(*this))
        throw EInvalidGraphic(QStringLiteral("この種類の画像は代入できません"));
}

bool TGraphic::assignTo(TGraphic &) const
{
    return false;
}

void TGraphic::changed()
{
    m_modified = true;
    if (OnChange)
        OnChange(*this);
}

bool TGraphic::equals(const TGraphic &other) const
{
    return &other == this;
}

void TGraphic::setTransparent(bool value)
{
    if (value != m_transparent) {
        m_transparent = value;
        changed();
    }
}

void TGraphic::loadFromFile(const QString &fileName)
{
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly))
        throw EInOutError(ioErrorMessage(QStringLiteral("ﾌｧｲﾙを開く"), fileName, f.errorString()));
    loadFromStream(f);
}

void TGraphic::saveToFile(const QString &fileName)
{
    TSafeFile f(fileName, TSafeFile::Access::Shared);
    saveToStream(f);
    f.commit();
}

void TGraphic::progress(TProgressStage stage, int percent, bool redrawNow, const QRect &r, const QString &msg)
{
    if (OnProgress)
        OnProgress(*this, stage, percent, redrawNow, r, msg);
}

void writeAll(QIODevice &stream, const char *data, qint64 size)
{
    while (size > 0) {
        const qint64 n = stream.write(data, size);
        if (n <= 0)
            throw EInOutError(ioErrorMessage(QStringLiteral("書き込み"), QString(), stream.errorString()));
        data += n;
        size -= n;
    }
}
