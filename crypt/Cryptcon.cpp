#include "Cryptcon.h"

#include "Exceptions.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

void SecureZero(void *p, size_t n)
{
    volatile auto *v = static_cast<volatile unsigned char *>(p);
    while (n--)
        *v++ = 0;
}

TCrypto::TCrypto(QObject *owner) : QObject(owner)
{
    std::memset(m_buffer, 0, sizeof m_buffer);
}

TCrypto::~TCrypto()
{
    clearKey();
    SecureZero(m_buffer, sizeof m_buffer);
    SecureZero(m_block, sizeof m_block);
    if (m_register)
        SecureZero(m_register.get(), m_blockSize);
}

void TCrypto::setKey(const QByteArray &key)
{
    clearKey();
    m_key = key;
    m_key.detach();
}

void TCrypto::clearKey()
{
    if (!m_key.isEmpty() && !m_key.isDetached())
        m_key.detach();
    SecureZero(m_key.data(), size_t(m_key.size()));
    m_key.clear();
}

uint8_t *TCrypto::reg()
{
    if (!m_register)
        m_register = std::make_unique<uint8_t[]>(m_blockSize);
    return m_register.get();
}

void TCrypto::start(bool keepState)
{
    if (keepState)
        return;
    PrepareKey();
    if (CipherMode == TCipherMode::ECBMode)
        return;
    if (IVector.isEmpty()) {
        // Printable characters "!" to "}", as every stored vector has been.
        std::mt19937 rng(std::random_device{}());
        std::uniform_int_distribution<int> dist(0, 92);
        for (int i = 0; i < m_blockSize; ++i)
            IVector.append(char(33 + dist(rng)));
    }
    // A vector shorter than a block is repeated to fill the register.
    uint8_t *r = reg();
    for (int i = 0; i < m_blockSize; ++i)
        r[i] = uint8_t(IVector[i % IVector.size()]);
}

void TCrypto::padToBlock()
{
    while (InputLength % m_blockSize != 0)
        m_buffer[InputLength++] = 0;
}

void TCrypto::EncryptBuffer()
{
    uint8_t *out = OutputData;
    const int bs = m_blockSize;
    if (CipherMode != TCipherMode::CFBMode)
        padToBlock();
    const uint8_t *in = m_buffer;
    const int n = InputLength;
    switch (CipherMode) {
    case TCipherMode::ECBMode:
        for (int i = 0; i < n; i += bs) {
            std::memcpy(m_block, in + i, size_t(bs));
            EncipherBlock();
            std::memcpy(out + i, m_block, size_t(bs));
        }
        break;
    case TCipherMode::CBCMode: {
        uint8_t *r = reg();
        for (int i = 0; i < n; i += bs) {
            for (int k = 0; k < bs; ++k)
                m_block[k] = in[i + k] ^ r[k];
            EncipherBlock();
            std::memcpy(r, m_block, size_t(bs));
            std::memcpy(out + i, m_block, size_t(bs));
        }
        break;
    }
    case TCipherMode::CFBMode: {
        uint8_t *r = reg();
        int i = 0;
        if (bs == 8) {
            // Whole 8-byte blocks, the common case: the work block is the register in between,
            // and the bytes go eight at a time.
            std::memcpy(m_block, r, 8);
            for (; i + 8 <= n; i += 8) {
                EncipherBlock();
                uint64_t ks, x;
                std::memcpy(&ks, m_block, 8);
                std::memcpy(&x, in + i, 8);
                x ^= ks;
                std::memcpy(out + i, &x, 8);
                std::memcpy(m_block, &x, 8);
            }
            std::memcpy(r, m_block, 8);
        }
        for (; i < n; i += bs) {
            const int step = std::min(bs, n - i);
            std::memcpy(m_block, r, size_t(bs));
            EncipherBlock();
            for (int k = 0; k < step; ++k)
                out[i + k] = in[i + k] ^ m_block[k];
            if (step == bs) {
                std::memcpy(r, out + i, size_t(bs));
            } else {
                std::memmove(r, r + step, size_t(bs - step));
                std::memcpy(r + bs - step, out + i, size_t(step));
            }
        }
        break;
    }
    }
}

void TCrypto::DecryptBuffer()
{
    uint8_t *out = OutputData;
    const int bs = m_blockSize;
    if (CipherMode != TCipherMode::CFBMode)
        padToBlock();
    const uint8_t *in = m_buffer;
    const int n = InputLength;
    uint8_t cipher[8];
    switch (CipherMode) {
    case TCipherMode::ECBMode:
        for (int i = 0; i < n; i += bs) {
            std::memcpy(m_block, in + i, size_t(bs));
            DecipherBlock();
            std::memcpy(out + i, m_block, size_t(bs));
        }
        break;
    case TCipherMode::CBCMode: {
        uint8_t *r = reg();
        for (int i = 0; i < n; i += bs) {
            std::memcpy(cipher, in + i, size_t(bs)); // read before out (maybe the same bytes) is written
            std::memcpy(m_block, cipher, size_t(bs));
            DecipherBlock();
            for (int k = 0; k < bs; ++k)
                out[i + k] = m_block[k] ^ r[k];
            std::memcpy(r, cipher, size_t(bs));
        }
        break;
    }
    case TCipherMode::CFBMode: {
        uint8_t *r = reg();
        int i = 0;
        if (bs == 8) {
            std::memcpy(m_block, r, 8);
            for (; i + 8 <= n; i += 8) {
                EncipherBlock();
                uint64_t ks, c;
                std::memcpy(&ks, m_block, 8);
                std::memcpy(&c, in + i, 8); // read before out, which may be the same bytes
                const uint64_t x = c ^ ks;
                std::memcpy(out + i, &x, 8);
                std::memcpy(m_block, &c, 8);
            }
            std::memcpy(r, m_block, 8);
        }
        for (; i < n; i += bs) {
            const int step = std::min(bs, n - i);
            std::memcpy(cipher, in + i, size_t(step));
            std::memcpy(m_block, r, size_t(bs));
            EncipherBlock();
            for (int k = 0; k < step; ++k)
                out[i + k] = cipher[k] ^ m_block[k];
            if (step == bs) {
                std::memcpy(r, cipher, size_t(bs));
            } else {
                std::memmove(r, r + step, size_t(bs - step));
                std::memcpy(r + bs - step, cipher, size_t(step));
            }
        }
        break;
    }
    }
    SecureZero(cipher, sizeof cipher);
}

void TCrypto::Encrypt(bool keepState)
{
    run(true, keepState);
}

void TCrypto::Decrypt(bool keepState)
{
    run(false, keepState);
}

void TCrypto::run(bool encrypt, bool keepState)
{
    const QString tooLong = QStringLiteral("暗号化できるのは %1 ﾊﾞｲﾄまでです").arg(kBufferSize);
    switch (InputType) {
    case TSourceType::SourceFile:
        start(keepState);
        processFile(encrypt);
        return;
    case TSourceType::SourceByteArray:
        // The work buffer holds 4096 bytes; more would run past it.
        if (InputLength > kBufferSize)
            throw Exception(tooLong);
        break;
    case TSourceType::SourceString:
        if (!encrypt)
            return;
        if (InputString.size() > kBufferSize)
            throw Exception(tooLong);
        InputData = reinterpret_cast<const uint8_t *>(InputString.constData());
        InputLength = quint16(InputString.size());
        break;
    }
    start(keepState);
    std::memcpy(m_buffer, InputData, InputLength);
    const uint8_t *const input = InputData;
    if (encrypt)
        EncryptBuffer();
    else
        DecryptBuffer();
    if (InputType == TSourceType::SourceString && InputData == input)
        InputData = nullptr; // pointed into InputString only for the call
}

namespace {

QString why()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

[[noreturn]] void failOn(const QString &action, const QString &file, const QString &reason)
{
    throw EInOutError(ioErrorMessage(action, file, reason));
}

struct Fd {
    int fd = -1;
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

void progressTo(QObject *bar, const char *property, qint64 v)
{
    if (bar)
        bar->setProperty(property, int(v));
}

} // namespace

void TCrypto::processFile(bool encrypt)
{
    const QByteArray in = QFile::encodeName(InputFilePath);
    Fd src;
    src.fd = ::open(in.constData(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (src.fd < 0 || ::fstat(src.fd, &st) != 0)
        failOn(QStringLiteral("ﾌｧｲﾙを開く"), InputFilePath, why());
    // Progress bars count in int: large files count in KiB.
    const int scale = st.st_size > 0x7FFFFFFF ? 1024 : 1;
    QObject *bar = ProgressBar.data();
    progressTo(bar, "maximum", st.st_size / scale);
    qint64 position = 0;

    const QByteArray out = QFile::encodeName(OutputFilePath);
    QByteArray tmpl = out + ".tmp-XXXXXX";
    Fd dst;
    dst.fd = ::mkostemp(tmpl.data(), O_CLOEXEC); // mode 0600, like what it may hold
    if (dst.fd < 0)
        failOn(QStringLiteral("ﾌｧｲﾙを作成"), OutputFilePath, why());
    struct Unlink {
        QByteArray path;
        bool keep = false;
        ~Unlink()
        {
            if (!keep)
                ::unlink(path.constData());
        }
    } cleanup{tmpl};

    for (;;) {
        ssize_t got;
        size_t have = 0;
        // Fill the whole buffer unless the file ends: a short read is the end, never a pause.
        while (have < size_t(kBufferSize)) {
            got = ::read(src.fd, m_buffer + have, size_t(kBufferSize) - have);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                failOn(QStringLiteral("ﾌｧｲﾙを読み込む"), InputFilePath, why());
            if (got == 0)
                break;
            have += size_t(got);
        }
        InputLength = quint16(have);
        position += qint64(have);
        if (bar) {
            progressTo(bar, "value", position / scale);
            QMetaObject::invokeMethod(bar, "repaint");
        }
        const bool last = have < size_t(kBufferSize);
        InputData = m_buffer;
        OutputData = m_buffer;
        if (encrypt)
            EncryptBuffer();
        else
            DecryptBuffer();
        const uint8_t *p = m_buffer;
        size_t left = InputLength;
        while (left > 0) {
            const ssize_t put = ::write(dst.fd, p, left);
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0)
                failOn(QStringLiteral("ﾌｧｲﾙに書き込む"), OutputFilePath, put < 0 ? why() : QStringLiteral("ﾃﾞｨｽｸがいっぱいです"));
            p += put;
            left -= size_t(put);
        }
        if (last)
            break;
    }
    SecureZero(m_buffer, sizeof m_buffer);
    if (::fsync(dst.fd) != 0 || ::close(dst.fd) != 0) {
        dst.fd = -1;
        failOn(QStringLiteral("ﾌｧｲﾙに書き込む"), OutputFilePath, why());
    }
    dst.fd = -1;
    if (::rename(tmpl.constData(), out.constData()) != 0)
        failOn(QStringLiteral("ﾌｧｲﾙを作成"), OutputFilePath, why());
    cleanup.keep = true;
    if (bar) {
        progressTo(bar, "value", 0);
        QMetaObject::invokeMethod(bar, "repaint");
    }
}
