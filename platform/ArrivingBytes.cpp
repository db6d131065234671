#include "ArrivingBytes.h"

#include "Exceptions.h"

TArrivingBytes::TArrivingBytes(qsizetype size) : m_bytes(size, Qt::Uninitialized), m_data(m_bytes.data()), m_size(size)
{
}

TArrivingBytes::~TArrivingBytes()
{
    stop();
}

void TArrivingBytes::start(std::function<void(TArrivingBytes &)> produce)
{
    m_thread = std::thread([this, produce = std::move(produce)] {
        try {
            produce(*this);
        } catch (const std::exception &e) {
            fail(QString::fromUtf8(e.what()));
        }
        std::lock_guard lock(m_mutex);
        if (m_ready < m_size && m_failure.isEmpty())
            m_failure =
                m_stop ? QStringLiteral("読み込みを中止しました") : QStringLiteral("ﾌｧｲﾙが途中で終わっています");
        m_ended = true;
        m_changed.notify_all();
    });
}

void TArrivingBytes::publish(qsizetype ready)
{
    std::lock_guard lock(m_mutex);
    m_ready = qMin(ready, m_size);
    m_changed.notify_all();
}

void TArrivingBytes::fail(const QString &why)
{
    std::lock_guard lock(m_mutex);
    if (m_failure.isEmpty())
        m_failure = why;
    m_changed.notify_all();
}

bool TArrivingBytes::stopRequested() const
{
    std::lock_guard lock(m_mutex);
    return m_stop;
}

qsizetype TArrivingBytes::waitBeyond(qsizetype have) noexcept
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_ready > have || m_ended || !m_failure.isEmpty() || !m_thread.joinable(); });
    return m_ready;
}

void TArrivingBytes::join()
{
    if (m_thread.joinable())
        m_thread.join();
}

QByteArray TArrivingBytes::takeAll()
{
    join();
    if (!m_failure.isEmpty())
        throw EInOutError(m_failure);
    m_data = nullptr;
    return std::move(m_bytes);
}

void TArrivingBytes::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    join();
}
