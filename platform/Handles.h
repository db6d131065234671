#pragma once
// Owners of the C handles the program holds: a POSIX file descriptor and a dlopen handle.
// Each closes what it owns when it goes, so no error path leaks one.

#include <memory>
#include <utility>

class TFd {
public:
    TFd() = default;
    explicit TFd(int fd) : m_fd(fd) {}
    TFd(TFd &&other) noexcept : m_fd(other.release()) {}
    TFd &operator=(TFd &&other) noexcept
    {
        reset(other.release());
        return *this;
    }
    TFd(const TFd &) = delete;
    TFd &operator=(const TFd &) = delete;
    ~TFd() { reset(); }

    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    int release() { return std::exchange(m_fd, -1); }
    // Closes the descriptor held (if any) and takes fd. Returns close()'s result, 0 when none.
    int reset(int fd = -1);

private:
    int m_fd = -1;
};

struct TDlCloser {
    void operator()(void *handle) const;
};
using TDlHandle = std::unique_ptr<void, TDlCloser>;
