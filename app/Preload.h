#pragma once
// Decodes the picture the program shows first on a second core while the window system comes
// up, so the first frame waits for the longer of the two instead of their sum. The picture is
// handed over once, for the same path, and only if the file has not changed meanwhile.

#include "JPEG.h"

#include <QDateTime>

#include <thread>

class TPreload {
public:
    TPreload() = default;
    ~TPreload();
    TPreload(const TPreload &) = delete;
    TPreload &operator=(const TPreload &) = delete;

    // Starts decoding path (a ".jpg" or ".jpeg" file) on a worker thread; anything else is ignored.
    void start(const QString &path);
    // Loads the font configuration on another thread; the first text the window lays out
    // would otherwise wait for it.
    void warmFonts();
    // Waits for the worker and hands over its picture, or nullptr when path is another file,
    // the file changed, or decoding failed (the caller then loads the file itself and reports
    // the error as usual).
    std::unique_ptr<TJPEGImage> take(const QString &path);

private:
    std::thread m_thread;
    std::thread m_fonts;
    QString m_path;
    qint64 m_size = -1;
    QDateTime m_modified;
    std::unique_ptr<TJPEGImage> m_result;
};
