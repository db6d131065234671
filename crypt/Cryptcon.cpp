#include "Cryptcon.h"

#include "ArrivingBytes.h"
#include "Exceptions.h"
#include "SafeFile.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
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
    Q_ASSERT(m_blockSize > 0 && m_blockSize <= sizeof m_block);
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

void TCrypto::EncipherBlocks(uint8_t *blocks, int count)
{
    for (int b = 0; b < count; ++b, blocks += m_blockSize) {
        std::memcpy(m_block, blocks, m_blockSize);
        EncipherBlock();
        std::memcpy(blocks, m_block, m_blockSize);
    }
}

void TCrypto::ecbBuffer(bool encrypt)
{
    for (int i = 0; i < InputLength; i += m_blockSize) {
        std::memcpy(m_block, m_buffer + i, m_blockSize);
        if (encrypt)
            EncipherBlock();
        else
            DecipherBlock();
        std::memcpy(OutputData + i, m_block, m_blockSize);
    }
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
        ecbBuffer(true);
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
        ecbBuffer(false);
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
        int i = bs == 8 ? int(cfbDecipherBlocks(in, out, size_t(n), r)) : 0;
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


void progressTo(QObject *bar, const char *property, qint64 v)
{
    if (bar)
        bar->setProperty(property, int(v));
}

} // namespace

namespace {

// Reads from a file until it ends.
struct FileSource {
    TFd fd;
    QString path;
    qint64 size = 0;
    explicit FileSource(const QString &p) : fd(::open(QFile::encodeName(p).constData(), O_RDONLY | O_CLOEXEC)), path(p)
    {
        struct stat st {};
        if (!fd || ::fstat(fd.get(), &st) != 0)
            failOn(QStringLiteral("ﾌｧｲﾙを開く"), p, why());
        size = st.st_size;
    }
    size_t read(uint8_t *buf, size_t want)
    {
        size_t have = 0;
        while (have < want) {
            const ssize_t got = ::read(fd.get(), buf + have, want - have);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                failOn(QStringLiteral("ﾌｧｲﾙを読み込む"), path, why());
            if (got == 0)
                break;
            have += size_t(got);
        }
        return have;
    }
};

// What the cipher writes: private from the start, in place only when all went well.
struct FileSink : TSafeFile {
    explicit FileSink(const QString &p)
        : TSafeFile(p, Access::Private, QStringLiteral("ﾌｧｲﾙを作成"), QStringLiteral("ﾌｧｲﾙに書き込む"))
    {
    }
    void write(const uint8_t *p, size_t n) { writeAll(reinterpret_cast<const char *>(p), qint64(n)); }
};

} // namespace

void TCrypto::stream(bool encrypt, qint64 total, const std::function<size_t(uint8_t *, size_t)> &read,
                     const std::function<void(const uint8_t *, size_t)> &write)
{
    // Progress bars count in int: large inputs count in KiB.
    const int scale = total > 0x7FFFFFFF ? 1024 : 1;
    QObject *bar = ProgressBar.data();
    progressTo(bar, "maximum", total / scale);
    qint64 position = 0;
    for (;;) {
        const size_t have = read(m_buffer, size_t(kBufferSize));
        InputLength = quint16(have);
        position += qint64(have);
        if (bar) {
            progressTo(bar, "value", position / scale);
            QMetaObject::invokeMethod(bar, "repaint");
        }
        InputData = m_buffer;
        OutputData = m_buffer;
        if (encrypt)
            EncryptBuffer();
        else
            DecryptBuffer();
        write(m_buffer, InputLength);
        if (have < size_t(kBufferSize)) // a short read is the end, never a pause
            break;
    }
    SecureZero(m_buffer, sizeof m_buffer);
    if (bar) {
        progressTo(bar, "value", 0);
        QMetaObject::invokeMethod(bar, "repaint");
    }
}

void TCrypto::processFile(bool encrypt)
{
    FileSource src(InputFilePath);
    FileSink dst(OutputFilePath);
    stream(
        encrypt, src.size, [&](uint8_t *b, size_t n) { return src.read(b, n); },
        [&](const uint8_t *p, size_t n) { dst.write(p, n); });
    dst.commit();
}

void TCrypto::EncryptToFile(const QByteArray &plain)
{
    start(false);
    FileSink dst(OutputFilePath);
    qsizetype at = 0;
    stream(
        true, plain.size(),
        [&](uint8_t *b, size_t n) {
            const size_t take = size_t(qMin<qsizetype>(qsizetype(n), plain.size() - at));
            std::memcpy(b, plain.constData() + at, take);
            at += qsizetype(take);
            return take;
        },
        [&](const uint8_t *p, size_t n) { dst.write(p, n); });
    dst.commit();
}

QByteArray TCrypto::DecryptFile()
{
    start(false);
    FileSource src(InputFilePath);
    QByteArray plain;
    plain.reserve(qsizetype(src.size) + 8);
    stream(
        false, src.size, [&](uint8_t *b, size_t n) { return src.read(b, n); },
        [&](const uint8_t *p, size_t n) { plain.append(reinterpret_cast<const char *>(p), qsizetype(n)); });
    return plain;
}

size_t TCrypto::cfbDecipherBlocks(const uint8_t *in, uint8_t *out, size_t n, uint8_t r[8])
{
    // Every keystream block comes from cipher text already at hand, so they are made many at a
    // time, which lets the cipher interleave them.
    constexpr int kBatch = 64;
    uint8_t ks[8 * kBatch], ct[8 * kBatch];
    size_t i = 0;
    while (i + 8 <= n) {
        const int k = int(std::min<size_t>(kBatch, (n - i) / 8));
        std::memcpy(ct, in + i, size_t(8 * k)); // read before out, which may be the same bytes
        std::memcpy(ks, r, 8);
        std::memcpy(ks + 8, ct, size_t(8 * (k - 1)));
        EncipherBlocks(ks, k);
        for (int b = 0; b < k; ++b) {
            uint64_t x, y;
            std::memcpy(&x, ct + 8 * b, 8);
            std::memcpy(&y, ks + 8 * b, 8);
            x ^= y;
            std::memcpy(out + i + 8 * b, &x, 8);
        }
        std::memcpy(r, ct + 8 * (k - 1), 8);
        i += size_t(8 * k);
    }
    SecureZero(ks, sizeof ks);
    SecureZero(ct, sizeof ct);
    return i;
}

std::shared_ptr<TArrivingBytes> TCrypto::DecryptFileArriving()
{
    if (CipherMode != TCipherMode::CFBMode || m_blockSize != 8) {
        const QByteArray plain = DecryptFile();
        auto done = std::make_shared<TArrivingBytes>(plain.size());
        std::memcpy(done->data(), plain.constData(), size_t(plain.size()));
        done->start([](TArrivingBytes &b) { b.publish(b.size()); });
        return done;
    }
    start(false);
    auto src = std::make_shared<FileSource>(InputFilePath);
    auto out = std::make_shared<TArrivingBytes>(qsizetype(src->size));
    std::array<uint8_t, 8> iv;
    std::memcpy(iv.data(), reg(), 8);
    out->start([this, src, iv](TArrivingBytes &b) mutable {
        // A small first piece lets the reader start on the header at once.
        size_t piece = 16 * 1024;
        qsizetype at = 0;
        auto *data = reinterpret_cast<uint8_t *>(b.data());
        while (at < b.size() && !b.stopRequested()) {
            const size_t got = src->read(data + at, std::min<size_t>(piece, size_t(b.size() - at)));
            if (got == 0)
                break; // the file shrank: the result is short
            const size_t whole = cfbDecipherBlocks(data + at, data + at, got, iv.data());
            if (whole < got) { // the file's last, short block
                uint8_t ks[8];
                std::memcpy(ks, iv.data(), 8);
                EncipherBlocks(ks, 1);
                for (size_t j = whole; j < got; ++j)
                    data[at + qsizetype(j)] ^= ks[j - whole];
                SecureZero(ks, sizeof ks);
            }
            at += qsizetype(got);
            b.publish(at);
            piece = 256 * 1024;
        }
        SecureZero(iv.data(), iv.size());
    });
    return out;
}
