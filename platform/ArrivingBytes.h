#pragma once
// Bytes that a producer thread makes in order while a reader takes what is already there: the
// reader waits only where it catches up. The producer runs on a thread of its own, started by
// start() and joined by takeAll(), stop() or the destructor, so it never outlives the buffer.

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class TArrivingBytes {
public:
    explicit TArrivingBytes(qsizetype size);
    ~TArrivingBytes();
    TArrivingBytes(const TArrivingBytes &) = delete;
    TArrivingBytes &operator=(const TArrivingBytes &) = delete;

    // ---- producer
    // Runs produce on its own thread. It writes into data() in order and says how far with
    // publish(); it ends by returning (a short result is a failure) or with fail().
    void start(std::function<void(TArrivingBytes &)> produce);
    char *data() { return m_data; }
    void publish(qsizetype ready);
    void fail(const QString &why);
    // True once the reader has gone: the producer should stop at its next chance.
    bool stopRequested() const;

    // ---- reader
    qsizetype size() const { return m_size; }
    const char *constData() const { return m_data; }
    // Waits until more than have bytes are final, or until no more will come. Returns how many
    // are final. Does not throw.
    qsizetype waitBeyond(qsizetype have) noexcept;
    // Waits for the producer; all the bytes. Throws EInOutError with the producer's failure.
    QByteArray takeAll();
    // Tells the producer to stop and waits for it.
    void stop();

private:
    void join();

    QByteArray m_bytes;
    char *m_data;
    qsizetype m_size;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    qsizetype m_ready = 0;
    bool m_ended = false;
    bool m_stop = false;
    QString m_failure;
    std::thread m_thread;
};
