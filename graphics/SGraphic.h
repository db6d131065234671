#pragma once
// The graphic abstraction behind every picture the viewer holds: a polymorphic value with a size,
// a way to draw itself stretched into a rectangle, and load/save through files and streams.
// All graphic work runs on the user-interface thread.

#include "Exceptions.h"

#include <QRect>
#include <QRgb>
#include <QString>
#include <QVector>

#include <functional>
#include <memory>

class QIODevice;
class QPainter;

class EInvalidGraphic : public Exception {
public:
    using Exception::Exception;
};

class EInvalidGraphicOperation : public Exception {
public:
    using Exception::Exception;
};

enum class TProgressStage { psStarting, psRunning, psEnding };

class TGraphic {
public:
    // Fired by changed(). The sender is the graphic.
    std::function<void(TGraphic &sender)> OnChange;
    // Long operations report here. Throwing EAbort from the handler cancels the operation
    // quietly; what was done so far is kept.
    std::function<void(TGraphic &sender, TProgressStage stage, int percent, bool redrawNow, const QRect &r,
                       const QString &msg)>
        OnProgress;

    TGraphic() = default;
    virtual ~TGraphic() = default;
    TGraphic(const TGraphic &) = delete;
    TGraphic &operator=(const TGraphic &) = delete;

    // A new graphic of the same class holding the same picture (shared where the class allows).
    virtual std::unique_ptr<TGraphic> clone() const = 0;
    // Copy from another graphic. Throws EInvalidGraphic when the classes do not fit.
    virtual void assign(const TGraphic &source);

    virtual void changed();
    // Draws the picture stretched into dest. Only the part inside the painter's clip is touched.
    virtual void draw(QPainter &painter, const QRect &dest) = 0;
    virtual bool equals(const TGraphic &other) const;
    virtual bool isEmpty() const = 0;
    virtual int width() const = 0;
    virtual int height() const = 0;
    virtual void setWidth(int value) = 0;
    virtual void setHeight(int value) = 0;
    virtual QVector<QRgb> palette() const { return {}; }
    virtual void setPalette(const QVector<QRgb> &) {}
    virtual bool transparent() const { return m_transparent; }
    virtual void setTransparent(bool value);

    // Throws EInOutError when the file cannot be opened; reading errors are the class's own.
    virtual void loadFromFile(const QString &fileName);
    // Writes a temporary file beside fileName and renames it into place, so a failed save
    // never destroys an existing file. Throws EInOutError.
    virtual void saveToFile(const QString &fileName);
    virtual void loadFromStream(QIODevice &stream) = 0;
    virtual void saveToStream(QIODevice &stream) = 0;

    bool modified() const { return m_modified; }
    void setModified(bool value) { m_modified = value; }
    bool paletteModified() const { return m_paletteModified; }
    void setPaletteModified(bool value) { m_paletteModified = value; }

protected:
    // Copy into dest when this class knows how; false otherwise.
    virtual bool assignTo(TGraphic &dest) const;
    void progress(TProgressStage stage, int percent, bool redrawNow, const QRect &r, const QString &msg);

private:
    bool m_modified = false;
    bool m_transparent = false;
    bool m_paletteModified = false;
    friend class TBitmap;
    friend class TJPEGImage;
};

// The base of the program's own codec classes.
class TSSGraphic : public TGraphic {};

// Writes all of data or throws EInOutError naming fileName.
void writeAll(QIODevice &stream, const char *data, qint64 size);
