#include "Picture.h"

#include "AppPaths.h"
#include "Bitmap.h"
#include "JPEG.h"
#include "PNGImage.h"

#include <QImageReader>

namespace {

// Windows icons; Qt's icon plug-in reads them, and the picture is kept as a 32-bit bitmap.
class TIcon : public TBitmap {
public:
    std::unique_ptr<TGraphic> clone() const override
    {
        auto c = std::make_unique<TIcon>();
        c->assign(*this);
        return c;
    }
    void loadFromStream(QIODevice &stream) override
    {
        QImageReader reader(&stream, "ico");
        const QImage img = reader.read();
        if (img.isNull())
            throw EInvalidGraphic(QStringLiteral("ｱｲｺﾝ ｲﾒｰｼﾞが正しくありません"));
        TBitmap::assign(TBitmap::fromImage(img));
    }
};

QVector<TFileFormat> &registry()
{
    static QVector<TFileFormat> formats = [] {
        QVector<TFileFormat> f;
        f.append({QStringLiteral("wmf"), QStringLiteral("ﾒﾀﾌｧｲﾙ"), QStringLiteral("TMetafile"), nullptr});
        f.append({QStringLiteral("emf"), QStringLiteral("ｴﾝﾊﾝｽ ﾒﾀﾌｧｲﾙ"), QStringLiteral("TMetafile"), nullptr});
        f.append({QStringLiteral("ico"), QStringLiteral("ｱｲｺﾝ"), QStringLiteral("TIcon"),
                  [] { return std::make_unique<TIcon>(); }});
        f.append({QStringLiteral("bmp"), QStringLiteral("ﾋﾞｯﾄﾏｯﾌﾟ"), QStringLiteral("TBitmap"),
                  [] { return std::make_unique<TBitmap>(); }});
        const TGraphicFactory jpeg = [] { return std::make_unique<TJPEGImage>(); };
        f.append({QStringLiteral("jpeg"), QStringLiteral("JPEG Image File"), QStringLiteral("TJPEGImage"), jpeg});
        f.append({QStringLiteral("jpg"), QStringLiteral("JPEG Image File"), QStringLiteral("TJPEGImage"), jpeg});
        f.append({QStringLiteral("PNG"), QStringLiteral("Portable Network Graphics"), QStringLiteral("TPNGImage"),
                  [] { return std::make_unique<TPNGImage>(); }});
        return f;
    }();
    return formats;
}

QString bareExtension(const QString &ext)
{
    return ext.startsWith(QLatin1Char('.')) ? ext.mid(1) : ext;
}

} // namespace

void TPicture::registerFileFormat(const QString &extension, const QString &description, const QString &className,
                                  TGraphicFactory factory)
{
    auto &r = registry();
    const QString ext = bareExtension(extension);
    r.removeIf([&](const TFileFormat &f) { return f.extension.compare(ext, Qt::CaseInsensitive) == 0; });
    r.append({ext, description, className, std::move(factory)});
}

void TPicture::unregisterGraphicClass(const QString &className)
{
    registry().removeIf([&](const TFileFormat &f) { return f.className == className; });
}

QVector<TFileFormat> TPicture::fileFormats()
{
    return registry();
}

QString TPicture::graphicFilter()
{
    QStringList all, parts;
    for (const TFileFormat &f : registry()) {
        const QString pattern = QStringLiteral("*.") + f.extension;
        all.append(pattern);
        parts.append(QStringLiteral("%1 (%2)|%2").arg(f.description, pattern));
    }
    const QString joined = all.join(QLatin1Char(';'));
    parts.prepend(QStringLiteral("すべての画像 (%1)|%1").arg(joined));
    return parts.join(QLatin1Char('|'));
}

std::unique_ptr<TGraphic> TPicture::createForExtension(const QString &extension)
{
    const QString ext = bareExtension(extension);
    const auto &r = registry();
    for (auto it = r.crbegin(); it != r.crend(); ++it) {
        if (it->extension.compare(ext, Qt::CaseInsensitive) != 0)
            continue;
        if (!it->factory)
            throw EInvalidGraphic(QStringLiteral("この環境では %1 形式の画像は読めません").arg(it->description));
        return it->factory();
    }
    throw EInvalidGraphic(QStringLiteral("未知の画像ﾌｧｲﾙ拡張子です (.%1)").arg(ext));
}

void TPicture::assign(const TGraphic *source)
{
    m_graphic = source ? source->clone() : nullptr;
    notify();
}

void TPicture::setGraphic(std::unique_ptr<TGraphic> graphic)
{
    m_graphic = std::move(graphic);
    notify();
}

void TPicture::loadFromFile(const QString &fileName)
{
    auto g = createForExtension(ExtractFileExt(fileName));
    g->loadFromFile(fileName);
    setGraphic(std::move(g));
}

void TPicture::notify()
{
    if (OnChange)
        OnChange();
}
