#include "TermSignals.h"

#include <QSocketNotifier>

#include <csignal>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_writeFd = -1;
const int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

extern "C" void onSignal(int sig)
{
    // Only async-signal-safe work here: one byte down the pipe to the event loop.
    const unsigned char b = static_cast<unsigned char>(sig);
    const int saved = errno;
    [[maybe_unused]] const ssize_t n = ::write(g_writeFd, &b, 1);
    errno = saved;
}

} // namespace

TTermSignals::TTermSignals(std::function<void(int)> callback, QObject *parent)
    : QObject(parent), m_onSignal(std::move(callback))
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, m_fds) != 0)
        return;
    g_writeFd = m_fds[0];
    m_notifier = new QSocketNotifier(m_fds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { readSignal(); });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int s : kSignals)
        sigaction(s, &sa, nullptr);
}

TTermSignals::~TTermSignals()
{
    for (int s : kSignals)
        std::signal(s, SIG_DFL);
    g_writeFd = -1;
    delete m_notifier;
    for (int fd : m_fds)
        if (fd >= 0)
            ::close(fd);
}

void TTermSignals::readSignal()
{
    unsigned char b = 0;
    while (::read(m_fds[1], &b, 1) == 1)
        if (m_onSignal)
            m_onSignal(b);
}
