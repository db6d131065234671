#pragma once
// Decodes the picture the program shows first on a second core while the window system comes
// up, so the first frame waits for the longer of the two instead of their sum. For a picture
// too large to decode in a moment, the top-left part that a window shows at 1:1 is decoded
// first and handed over as a preview; the whole picture follows on the user-interface thread
// when it is ready. Everything is handed over once, for the same path, and only if the file
// has not changed meanwhile.

#include "JPEG.h"

#include <QDateTime>
#include <QPointer>

#include <condition_variable>
#include <mutex>
#include <thread>

class TPreload {
public:
    TPreload() = default;
    ~TPreload();
    TPreload(const TPreload &) = delete;
    TPreload &operator=(const TPreload &) = delete;

    // Starts the worker: it loads the font configuration (the first text the window lays out
    // would otherwise wait for it), then decodes path when that is a ".jpg" or ".jpeg" file.
    // Pictures of more than previewAbove pixels get a preview of previewSize first. One worker
    // only: on two cores the window's own thread keeps a core to itself.
    // The picture takes options, a copy made here: the worker never reads JpegDefaults, which
    // the user-interface thread may set meanwhile.
    void start(const QString &path, const TJPEGDefaults &options = JpegDefaults,
               const QSize &previewSize = QSize(1280, 1024), qint64 previewAbove = 4'000'000);

    struct First {
        std::unique_ptr<TJPEGImage> picture; // the whole picture, decoded
        TBitmap preview;                     // or, while that is still decoding, its top-left part
    };
    // Waits for the first of the two. Both are empty when path is another file, the file
    // changed, or decoding failed (the caller then loads the file itself and reports the error
    // as usual).
    First take(const QString &path);
    // After take() gave a preview: done runs on context's thread with the whole picture, or
    // with nullptr when decoding failed. Dropped when context is gone or forget() was called.
    void whenDone(QObject *context, std::function<void(std::unique_ptr<TJPEGImage>)> done);
    void forget();

    // Runs on the worker between the preview and the rest of the decode (tests hold it there).
    std::function<void()> AfterPreview;

private:
    void deliverLocked();

    std::thread m_thread;
    QString m_path;
    qint64 m_size = -1;
    QDateTime m_modified;

    std::mutex m_mutex;
    std::condition_variable m_ready;
    bool m_previewReady = false;
    bool m_done = false;
    TBitmap m_preview;
    std::unique_ptr<TJPEGImage> m_result;
    QPointer<QObject> m_context;
    std::function<void(std::unique_ptr<TJPEGImage>)> m_onDone;
};

// What the view shows while a preview stands in for a picture: the size of the whole picture,
// with the preview's pixels in its top-left corner and nothing drawn elsewhere.
class TPreviewGraphic : public TGraphic {
public:
    TPreviewGraphic(TBitmap preview, int width, int height);
    std::unique_ptr<TGraphic> clone() const override;
    void draw(QPainter &painter, const QRect &dest) override;
    bool isEmpty() const override { return m_width == 0 || m_height == 0; }
    int width() const override { return m_width; }
    int height() const override { return m_height; }
    void setWidth(int) override;
    void setHeight(int) override;
    void loadFromStream(QIODevice &) override;
    void saveToStream(QIODevice &) override;

private:
    TBitmap m_preview;
    int m_width;
    int m_height;
};
