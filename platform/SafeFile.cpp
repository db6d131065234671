#include "SafeFile.h"

#include "Exceptions.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString errnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// The umask without changing it (umask() itself sets it, which would race other threads).
mode_t currentUmask()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine())
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok)
                    return mode_t(mask & 0777);
            }
    return 022;
}

QString followLinks(const QString &target)
{
    const QFileInfo info(target);
    if (!info.isSymLink())
        return target;
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.symLinkTarget() : canonical; // a dangling link names a new file
}

} // namespace

TSafeFile::TSafeFile(const QString &target, Access access, const QString &createAction, const QString &writeAction)
    : m_target(target), m_path(followLinks(target)), m_writeAction(writeAction)
{
    m_temp = QFile::encodeName(m_path) + ".tmp-XXXXXX";
    m_fd.reset(::mkostemp(m_temp.data(), O_CLOEXEC)); // 0600 from the start: nobody reads along
    if (!m_fd) {
        m_temp.clear();
        fail(createAction, errnoText());
    }
    struct stat st {};
    if (::stat(QFile::encodeName(m_path).constData(), &st) == 0 && S_ISREG(st.st_mode)) {
        if ((st.st_uid != ::geteuid() || st.st_gid != ::getegid()))
            (void)!::fchown(m_fd.get(), st.st_uid, st.st_gid); // allowed to root and to group members only
        ::fchmod(m_fd.get(), st.st_mode & 07777);
    } else if (access == Access::Shared) {
        ::fchmod(m_fd.get(), 0666 & ~currentUmask());
    }
    QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

TSafeFile::~TSafeFile()
{
    m_fd.reset();
    if (!m_committed && !m_temp.isEmpty())
        ::unlink(m_temp.constData());
}

void TSafeFile::fail(const QString &action, const QString &reason)
{
    throw EInOutError(ioErrorMessage(action, m_target, reason));
}

qint64 TSafeFile::writeData(const char *data, qint64 size)
{
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::write(m_fd.get(), data + done, size_t(size - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            setErrorString(n < 0 ? errnoText() : QString::fromLocal8Bit(std::strerror(ENOSPC)));
            return done > 0 ? done : -1;
        }
        done += n;
    }
    return done;
}

void TSafeFile::writeAll(const char *data, qint64 size)
{
    while (size > 0) {
        const qint64 n = writeData(data, size);
        if (n <= 0)
            fail(m_writeAction, errorString());
        data += n;
        size -= n;
    }
}

void TSafeFile::commit()
{
    if (!m_fd)
        fail(m_writeAction, QStringLiteral("closed"));
    if (::fsync(m_fd.get()) != 0)
        fail(m_writeAction, errnoText());
    if (m_fd.reset() != 0)
        fail(m_writeAction, errnoText());
    QIODevice::close();
    if (::rename(m_temp.constData(), QFile::encodeName(m_path).constData()) != 0)
        fail(m_writeAction, errnoText());
    m_committed = true;
    // The rename itself lasts only once the folder is on disk too.
    const QByteArray dir = QFile::encodeName(QFileInfo(m_path).absolutePath());
    const TFd folder(::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder)
        ::fsync(folder.get());
}
