#pragma once
// The process-wide picture format registry (extension, description, graphic class) and TPicture,
// the holder of one graphic that image controls draw.

#include "SGraphic.h"

#include <QStringList>

using TGraphicFactory = std::function<std::unique_ptr<TGraphic>()>;

struct TFileFormat {
    QString extension; // without the dot, as registered
    QString description;
    QString className;       // lets a module remove its own formats
    TGraphicFactory factory; // empty when this platform has no reader for the format
};

class TPicture {
public:
    // The registry starts with the framework's metafile, icon and bitmap formats and JPEG.
    // A later registration of an extension (compared without case) replaces the earlier one
    // and moves to the end.
    static void registerFileFormat(const QString &extension, const QString &description, const QString &className,
                                   TGraphicFactory factory);
    static void unregisterGraphicClass(const QString &className);
    static QVector<TFileFormat> fileFormats();
    // "すべての画像 (*.a;*.b)|*.a;*.b|desc (*.a)|*.a|...", every registered extension as a pattern.
    static QString graphicFilter();
    // A new empty graphic for the extension (with or without the dot). Throws EInvalidGraphic
    // for an unknown extension or one this platform cannot read.
    static std::unique_ptr<TGraphic> createForExtension(const QString &extension);

    TPicture() = default;
    TPicture(const TPicture &) = delete;
    TPicture &operator=(const TPicture &) = delete;

    TGraphic *graphic() const { return m_graphic.get(); }
    // Takes a copy of source (shared where the class allows); nullptr clears the picture.
    void assign(const TGraphic *source);
    void setGraphic(std::unique_ptr<TGraphic> graphic);
    // Chooses the class by the file's extension.
    void loadFromFile(const QString &fileName);
    int width() const { return m_graphic ? m_graphic->width() : 0; }
    int height() const { return m_graphic ? m_graphic->height() : 0; }

    std::function<void()> OnChange;

private:
    void notify();
    std::unique_ptr<TGraphic> m_graphic;
};
