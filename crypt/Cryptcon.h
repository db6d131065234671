#pragma once
// TCrypto: encrypts or decrypts a file, a byte array (up to 4096 bytes) or a string with a
// 64-bit block cipher in ECB, CBC or CFB mode, reporting progress on an optional progress bar.
// The cipher itself (block transform, key schedule) comes from a subclass. Files stream through
// one 4096-byte buffer, transformed in place; the feedback register carries from each chunk to
// the next, so a file is one chain. Runs on the calling thread.
//
// Files: the input is opened for reading only; the output is written to a private temporary
// file beside it and renamed into place only when everything was written, so a failure (EInOutError)
// never destroys an existing file.

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class TArrivingBytes;

enum class TSourceType { SourceFile, SourceByteArray, SourceString };
enum class TCipherMode { ECBMode, CBCMode, CFBMode };

class TCrypto : public QObject {
public:
    explicit TCrypto(QObject *owner = nullptr);
    ~TCrypto() override;

    // Any object with the properties "maximum" and "value" and a "repaint" slot (a
    // QProgressBar); not owned, may be absent.
    QPointer<QObject> ProgressBar;
    // Write-only. The bytes are wiped when replaced and when the component goes.
    void setKey(const QByteArray &key);
    TSourceType InputType = TSourceType::SourceFile;
    QString InputFilePath;
    QString OutputFilePath;
    QByteArray InputString;
    quint16 InputLength = 0;
    TCipherMode CipherMode = TCipherMode::ECBMode;
    QByteArray IVector;
    // The caller's bytes for byte-array input, and where results go.
    const uint8_t *InputData = nullptr;
    uint8_t *OutputData = nullptr;

    // keepState false: key schedule first, and the register loaded from IVector (a random
    // printable one is made when it is empty). Throws EInOutError for files, Exception for a
    // byte array longer than the work buffer.
    void Encrypt(bool keepState);
    void Decrypt(bool keepState);

    // The same chain as the file procedure with memory at one end: no plain picture on disk.
    // Both prepare the key and the register as Encrypt(false) does. Throw EInOutError.
    void EncryptToFile(const QByteArray &plain); // to OutputFilePath
    QByteArray DecryptFile();                    // from InputFilePath
    // DecryptFile on a thread of its own, the plain bytes published as they come, so a reader
    // can work on them meanwhile; CFB's keystream needs only cipher text, so nothing waits on
    // the reader. The file is opened here (EInOutError); later read errors are the result's
    // failure. The key must not change until the result's producer has ended (stop() it).
    // Other modes than CFB decipher at once, here.
    std::shared_ptr<TArrivingBytes> DecryptFileArriving();

    static constexpr int kBufferSize = 4096;

protected:
    virtual void EncipherBlock() = 0;
    virtual void DecipherBlock() = 0;
    virtual void PrepareKey() = 0;
    // Enciphers count blocks in place, each on its own; a cipher may interleave them. Used
    // where the blocks do not depend on one another (CFB deciphering).
    virtual void EncipherBlocks(uint8_t *blocks, int count);
    virtual void EncryptBuffer();
    virtual void DecryptBuffer();

    const QByteArray &key() const { return m_key; }
    void clearKey();

    uint8_t m_buffer[kBufferSize];
    uint8_t m_block[8] = {}; // block sizes up to 64 bits
    uint8_t m_blockSize = 8;

private:
    void start(bool keepState);
    void run(bool encrypt, bool keepState);
    void processFile(bool encrypt);
    void stream(bool encrypt, qint64 total, const std::function<size_t(uint8_t *, size_t)> &read,
                const std::function<void(const uint8_t *, size_t)> &write);
    void padToBlock();
    // CFB deciphering of the whole 64-bit blocks of n bytes from in to out (may be the same),
    // the register r advanced; returns the bytes done. Touches no member state, so it may run
    // beside the user-interface thread.
    size_t cfbDecipherBlocks(const uint8_t *in, uint8_t *out, size_t n, uint8_t r[8]);
    void ecbBuffer(bool encrypt);
    uint8_t *reg();

    QByteArray m_key;
    std::unique_ptr<uint8_t[]> m_register;
};

// Overwrites memory in a way the compiler may not drop.
void SecureZero(void *p, size_t n);
