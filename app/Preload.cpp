#include "Preload.h"

#include <QFileInfo>

#include <fontconfig/fontconfig.h>

TPreload::~TPreload()
{
    if (m_thread.joinable())
        m_thread.join();
    if (m_fonts.joinable())
        m_fonts.join();
}

void TPreload::warmFonts()
{
    if (!m_fonts.joinable())
        m_fonts = std::thread([] { FcInit(); });
}

void TPreload::start(const QString &path)
{
    if (m_thread.joinable() || !m_path.isEmpty())
        return;
    const QFileInfo info(path);
    const QString ext = info.suffix().toLower();
    if (!info.isFile() || (ext != QLatin1String("jpg") && ext != QLatin1String("jpeg")))
        return;
    m_path = info.absoluteFilePath();
    m_size = info.size();
    m_modified = info.lastModified();
    m_thread = std::thread([this, file = m_path] {
        try {
            auto img = std::make_unique<TJPEGImage>();
            img->loadFromFile(file);
            img->DIBNeeded();
            m_result = std::move(img);
        } catch (...) {
            // The open on the user-interface thread reads the file again and reports the error.
        }
    });
}

std::unique_ptr<TJPEGImage> TPreload::take(const QString &path)
{
    if (m_path.isEmpty())
        return nullptr;
    if (m_thread.joinable())
        m_thread.join();
    const QFileInfo info(path);
    const bool same = info.absoluteFilePath() == m_path && info.size() == m_size && info.lastModified() == m_modified;
    m_path = QStringLiteral("/"); // handed over at most once
    if (!same)
        return nullptr;
    return std::move(m_result);
}
