#include "Handles.h"

#include <dlfcn.h>
#include <unistd.h>

int TFd::reset(int fd)
{
    const int old = std::exchange(m_fd, fd);
    return old >= 0 ? ::close(old) : 0;
}

void TDlCloser::operator()(void *handle) const
{
    if (handle)
        dlclose(handle);
}
