#include "Preload.h"

#include "FileKind.h"

#include <QFileInfo>

#include <fontconfig/fontconfig.h>

TPreload::~TPreload()
{
    forget();
    if (m_thread.joinable())
        m_thread.join();
}

void TPreload::start(const QString &path, const TJPEGDefaults &options, const QSize &previewSize, qint64 previewAbove)
{
    if (m_thread.joinable())
        return;
    const QFileInfo info(path);
    if (info.isFile() && ExtensionKind(path) == TExtKind::Jpeg) {
        m_path = info.absoluteFilePath();
        m_size = info.size();
        m_modified = info.lastModified();
    }
    m_thread = std::thread([this, file = m_path, options, previewSize, previewAbove] {
        FcInit();
        if (file.isEmpty())
            return;
        std::unique_ptr<TJPEGImage> img;
        try {
            img = std::make_unique<TJPEGImage>(options);
            img->loadFromFile(file);
            if (qint64(img->width()) * img->height() > previewAbove) {
                TBitmap part = img->decodeTopLeft(previewSize);
                if (!part.isEmpty()) {
                    std::lock_guard lock(m_mutex);
                    m_preview = std::move(part);
                    m_previewReady = true;
                    m_ready.notify_all();
                }
                if (AfterPreview)
                    AfterPreview();
            }
            img->DIBNeeded();
        } catch (...) {
            // The open on the user-interface thread reads the file again and reports the error.
            img.reset();
        }
        std::lock_guard lock(m_mutex);
        m_result = std::move(img);
        m_done = true;
        m_ready.notify_all();
        deliverLocked();
    });
}

TPreload::First TPreload::take(const QString &path)
{
    First first;
    if (m_path.isEmpty() || !m_thread.joinable())
        return first;
    const QFileInfo info(path);
    const bool same = info.absoluteFilePath() == m_path && info.size() == m_size && info.lastModified() == m_modified;
    m_path = QStringLiteral("/"); // handed over at most once
    if (!same)
        return first;
    std::unique_lock lock(m_mutex);
    m_ready.wait(lock, [this] { return m_previewReady || m_done; });
    if (m_done)
        first.picture = std::move(m_result);
    else
        first.preview = std::move(m_preview);
    return first;
}

void TPreload::whenDone(QObject *context, std::function<void(std::unique_ptr<TJPEGImage>)> done)
{
    std::lock_guard lock(m_mutex);
    m_context = context;
    m_onDone = std::move(done);
    deliverLocked();
}

void TPreload::forget()
{
    std::lock_guard lock(m_mutex);
    m_context = nullptr;
    m_onDone = nullptr;
}

void TPreload::deliverLocked()
{
    if (!m_done || !m_onDone || !m_context)
        return;
    // Posted, never called here: this may be the worker thread, and the receiver lives on
    // the user-interface thread.
    auto done = std::move(m_onDone);
    m_onDone = nullptr;
    QMetaObject::invokeMethod(
        m_context.data(),
        [this, done] {
            std::unique_ptr<TJPEGImage> result;
            {
                std::lock_guard lock(m_mutex);
                result = std::move(m_result);
            }
            done(std::move(result));
        },
        Qt::QueuedConnection);
}

TPreviewGraphic::TPreviewGraphic(TBitmap preview, int width, int height)
    : m_preview(std::move(preview)), m_width(width), m_height(height)
{
}

std::unique_ptr<TGraphic> TPreviewGraphic::clone() const
{
    TBitmap copy;
    copy.assign(m_preview);
    return std::make_unique<TPreviewGraphic>(std::move(copy), m_width, m_height);
}

void TPreviewGraphic::draw(QPainter &painter, const QRect &dest)
{
    if (isEmpty() || m_preview.isEmpty())
        return;
    // The preview keeps the scale of the whole picture drawn into dest.
    const QRect part(dest.x(), dest.y(), int(qint64(m_preview.width()) * dest.width() / m_width),
                     int(qint64(m_preview.height()) * dest.height() / m_height));
    m_preview.draw(painter, part);
}

void TPreviewGraphic::setWidth(int)
{
    throw EInvalidGraphicOperation(QStringLiteral("JPEG ｲﾒｰｼﾞのｻｲｽﾞは変更できません"));
}

void TPreviewGraphic::setHeight(int)
{
    throw EInvalidGraphicOperation(QStringLiteral("JPEG ｲﾒｰｼﾞのｻｲｽﾞは変更できません"));
}

void TPreviewGraphic::loadFromStream(QIODevice &)
{
    throw EInvalidGraphicOperation(QStringLiteral("ﾌﾟﾚﾋﾞｭｰは読み込めません"));
}

void TPreviewGraphic::saveToStream(QIODevice &)
{
    throw EInvalidGraphicOperation(QStringLiteral("ﾌﾟﾚﾋﾞｭｰは保存できません"));
}
