#pragma once
// Turns SIGTERM, SIGINT and SIGHUP into a call on the thread that owns this object, so that a
// program asked to stop (log-out, kill, Ctrl+C) closes its windows and removes its temporary
// files as on a normal exit. One instance per process.

#include <QObject>

#include <functional>

class QSocketNotifier;

class TTermSignals : public QObject {
public:
    explicit TTermSignals(std::function<void(int signal)> onSignal, QObject *parent = nullptr);
    ~TTermSignals() override;

private:
    void readSignal();
    std::function<void(int)> m_onSignal;
    QSocketNotifier *m_notifier = nullptr;
    int m_fds[2] = {-1, -1};
};
