#include "ArrivingBytes.h"
#include "Blowunit.h"
#include "Exceptions.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProgressBar>

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

QByteArray hex(const char *h)
{
    return QByteArray::fromHex(h);
}

// One call on a byte array: the bytes in, the bytes out (padded length in ECB and CBC).
QByteArray run(TBlowFish &bf, const QByteArray &in, bool encrypt, bool keepState = false)
{
    QByteArray out(in.size() + 8, '\0');
    bf.InputType = TSourceType::SourceByteArray;
    bf.InputData = reinterpret_cast<const uint8_t *>(in.constData());
    bf.InputLength = quint16(in.size());
    bf.OutputData = reinterpret_cast<uint8_t *>(out.data());
    if (encrypt)
        bf.Encrypt(keepState);
    else
        bf.Decrypt(keepState);
    out.truncate(bf.InputLength);
    return out;
}

QByteArray ecb(const QByteArray &key, const QByteArray &block)
{
    TBlowFish bf;
    bf.setKey(key);
    bf.CipherMode = TCipherMode::ECBMode;
    return run(bf, block, true);
}

QByteArray sample(int n)
{
    QByteArray d(n, '\0');
    for (int i = 0; i < n; ++i)
        d[i] = char((i * 131 + i / 7) & 0xFF);
    return d;
}

// Runs the file procedure; returns the output's bytes.
QByteArray cryptFile(const QByteArray &in, TCipherMode mode, bool encrypt, const QByteArray &key = "PictlaneKey")
{
    const QString dir = freshDir();
    writeFile(dir + "/in", in);
    TBlowFish bf;
    bf.InputType = TSourceType::SourceFile;
    bf.InputFilePath = dir + "/in";
    bf.OutputFilePath = dir + "/out";
    bf.setKey(key);
    bf.CipherMode = mode;
    bf.IVector = "PLTOOLS1";
    if (encrypt)
        bf.Encrypt(false);
    else
        bf.Decrypt(false);
    return readFile(dir + "/out");
}

} // namespace

TEST(BlowFish, TablesAreTheDigitsOfPi)
{
    const auto &t = TBlowFish::InitialTables();
    EXPECT_EQ(t[0], 0x243F6A88u);
    EXPECT_EQ(t[1], 0x85A308D3u);
    EXPECT_EQ(t[17], 0x8979FB1Bu);
    EXPECT_EQ(t[18], 0xD1310BA6u); // the first S-box begins
}

TEST(BlowFish, PublishedVectors)
{
    struct Case {
        const char *key, *plain, *cipher;
    } cases[] = {
        {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
        {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
        {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
        {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
        {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
        {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
        {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
        // Variable key lengths with one plain text.
        {"F0E1D2C3B4A59687", "FEDCBA9876543210", "E87A244E2CC85E82"},
        {"F0E1D2C3B4A5968778695A4B3C2D1E0F", "FEDCBA9876543210", "93142887EE3BE15C"},
        {"F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677", "FEDCBA9876543210", "05044B62FA52D080"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(ecb(hex(c.key), hex(c.plain)).toHex().toUpper(), QByteArray(c.cipher));
        TBlowFish bf;
        bf.setKey(hex(c.key));
        bf.CipherMode = TCipherMode::ECBMode;
        EXPECT_EQ(run(bf, hex(c.cipher), false), hex(c.plain));
    }
}

TEST(BlowFish, ChainingExamples)
{
    const QByteArray key = hex("0123456789ABCDEFF0E1D2C3B4A59687");
    const QByteArray data("7654321 Now is the time for \0\0\0\0", 32);
    struct Case {
        TCipherMode mode;
        int length;
        const char *cipher;
    } cases[] = {
        {TCipherMode::CBCMode, 32, "6B77B4D63006DEE605B156E27403979358DEB9E7154616D959F1652BD5FF92CC"},
        {TCipherMode::CFBMode, 32, "E73214A2822139CAF26ECF6D2EB9E76E3DA3DE04D1517200519D57A6C3384ECE"},
        {TCipherMode::CFBMode, 29, "E73214A2822139CAF26ECF6D2EB9E76E3DA3DE04D1517200519D57A6C3"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.length);
        TBlowFish bf;
        bf.setKey(key);
        bf.CipherMode = c.mode;
        bf.IVector = hex("FEDCBA9876543210");
        const QByteArray out = run(bf, data.left(c.length), true);
        EXPECT_EQ(out.toHex().toUpper(), QByteArray(c.cipher));
        TBlowFish back;
        back.setKey(key);
        back.CipherMode = c.mode;
        back.IVector = hex("FEDCBA9876543210");
        EXPECT_EQ(run(back, out, false), data.left(c.length));
    }
}

TEST(BlowFish, KeysOutsideEightToSixtyFiveBytesAreDropped)
{
    const QByteArray zero(8, '\0');
    const QByteArray unkeyed = ecb(QByteArray(), zero);
    EXPECT_EQ(ecb(QByteArray(7, 'k'), zero), unkeyed);
    EXPECT_EQ(ecb(QByteArray(66, 'k'), zero), unkeyed);
    EXPECT_NE(ecb(QByteArray(8, 'k'), zero), unkeyed);
    EXPECT_NE(ecb(QByteArray(65, 'k'), zero), unkeyed);
    const QByteArray long65 = sample(65);
    EXPECT_NE(ecb(long65, zero), ecb(long65.left(64), zero)) << "all 65 bytes count";
}

TEST(BlowFish, EmptyVectorGetsEightPrintableCharacters)
{
    for (TCipherMode mode : {TCipherMode::CBCMode, TCipherMode::CFBMode}) {
        TBlowFish bf;
        bf.setKey("12345678");
        bf.CipherMode = mode;
        run(bf, sample(16), true);
        ASSERT_EQ(bf.IVector.size(), 8);
        for (char c : bf.IVector) {
            EXPECT_GE(c, '!');
            EXPECT_LE(c, '}');
        }
    }
    TBlowFish ecbOnly;
    ecbOnly.CipherMode = TCipherMode::ECBMode;
    run(ecbOnly, sample(8), true);
    EXPECT_TRUE(ecbOnly.IVector.isEmpty());
}

TEST(BlowFish, FileLengthsInEveryMode)
{
    struct Case {
        const char *name;
        TCipherMode mode;
        int in, out;
    } cases[] = {
        {"ecb empty", TCipherMode::ECBMode, 0, 0},           {"cbc empty", TCipherMode::CBCMode, 0, 0},
        {"cfb empty", TCipherMode::CFBMode, 0, 0},           {"cfb 4096", TCipherMode::CFBMode, 4096, 4096},
        {"cfb 8192", TCipherMode::CFBMode, 8192, 8192},      {"cfb 4097", TCipherMode::CFBMode, 4097, 4097},
        {"ecb 4097 pads", TCipherMode::ECBMode, 4097, 4104}, {"cbc 13 pads", TCipherMode::CBCMode, 13, 16},
        {"cbc 8192", TCipherMode::CBCMode, 8192, 8192},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray plain = sample(c.in);
        const QByteArray cipher = cryptFile(plain, c.mode, true);
        EXPECT_EQ(cipher.size(), c.out);
        if (c.in) {
            EXPECT_NE(cipher.left(c.in), plain);
        }
        QByteArray padded = plain;
        padded.append(QByteArray(c.out - c.in, '\0')); // decryption keeps the padding
        EXPECT_EQ(cryptFile(cipher, c.mode, false), padded);
    }
}

TEST(BlowFish, FileIsOneChainAcrossChunks)
{
    // Made with an independent implementation (pycryptodome, CFB with 64-bit segments, the key
    // in CP932): the first and last 16 bytes of 10247 bytes.
    QByteArray data;
    for (int i = 0; i < 40; ++i)
        for (int b = 0; b < 256; ++b)
            data.append(char(b));
    data.append("1234567");
    const QByteArray key = hex("83708358838f815b836882508251"); // パスワード１２
    const QByteArray out = cryptFile(data, TCipherMode::CFBMode, true, key);
    ASSERT_EQ(out.size(), 10247);
    EXPECT_EQ(out.left(16).toHex().toUpper(), QByteArray("3BA54E3BD39564107903E4BF598C8A50"));
    EXPECT_EQ(out.right(16).toHex().toUpper(), QByteArray("ADE02F8F136DBB83D7B500F315DFF262"));
    // The same chain by hand: byte arrays with the state kept between calls.
    TBlowFish bf;
    bf.setKey(key);
    bf.CipherMode = TCipherMode::CFBMode;
    bf.IVector = "PLTOOLS1";
    QByteArray chained;
    for (int at = 0; at < data.size(); at += 4096)
        chained += run(bf, data.mid(at, 4096), true, at > 0);
    EXPECT_EQ(chained, out);
}

TEST(BlowFish, ByteArraysLongerThanTheBufferAreRefused)
{
    TBlowFish bf;
    bf.CipherMode = TCipherMode::CFBMode;
    EXPECT_THROW(run(bf, sample(4097), true), Exception);
    bf.InputType = TSourceType::SourceString;
    bf.InputString = QByteArray(5000, 'x');
    EXPECT_THROW(bf.Encrypt(false), Exception);
}

TEST(BlowFish, StringInputEncryptsAndDecryptDoesNothingWithIt)
{
    TBlowFish bf;
    bf.setKey("12345678");
    bf.CipherMode = TCipherMode::CFBMode;
    bf.IVector = "PLTOOLS1";
    bf.InputType = TSourceType::SourceString;
    bf.InputString = "picture";
    QByteArray out(8, '\0');
    bf.OutputData = reinterpret_cast<uint8_t *>(out.data());
    bf.Encrypt(false);
    EXPECT_EQ(bf.InputLength, 7);
    TBlowFish ref;
    ref.setKey("12345678");
    ref.CipherMode = TCipherMode::CFBMode;
    ref.IVector = "PLTOOLS1";
    EXPECT_EQ(out.left(7), run(ref, "picture", true));
    const QByteArray before = out;
    bf.Decrypt(false);
    EXPECT_EQ(out, before);
}

TEST(BlowFish, InputIsOpenedForReadingOnly)
{
    // Nobody may open this for writing, not even root; reading it works.
    const QString dir = freshDir();
    TBlowFish bf;
    bf.InputFilePath = "/proc/self/cmdline";
    bf.OutputFilePath = dir + "/out";
    bf.setKey("12345678");
    bf.CipherMode = TCipherMode::CFBMode;
    bf.IVector = "PLTOOLS1";
    EXPECT_NO_THROW(bf.Encrypt(false));
    EXPECT_GT(QFileInfo(dir + "/out").size(), 0);
}

TEST(BlowFish, FailedWritesLeaveTheOldFile)
{
    const QString dir = freshDir();
    writeFile(dir + "/in", sample(20000));
    writeFile(dir + "/out", "the old file");
    TBlowFish bf;
    bf.InputFilePath = dir + "/in";
    bf.OutputFilePath = dir + "/out";
    bf.CipherMode = TCipherMode::CFBMode;
    bf.IVector = "PLTOOLS1";
    {
        const DiskFullAfter full(8192);
        EXPECT_THROW(bf.Encrypt(false), EInOutError);
    }
    EXPECT_EQ(readFile(dir + "/out"), QByteArray("the old file"));
    EXPECT_EQ(QDir(dir).entryList(QDir::Files).size(), 2) << "no temporary file left";

    bf.InputFilePath = dir + "/missing";
    EXPECT_THROW(bf.Encrypt(false), EInOutError);
    bf.InputFilePath = dir + "/in";
    bf.OutputFilePath = dir + "/no/such/folder/out";
    EXPECT_THROW(bf.Encrypt(false), EInOutError);
}

TEST(BlowFish, ProgressCountsTheFileAndReturnsToZero)
{
    QProgressBar bar;
    TBlowFish bf;
    bf.ProgressBar = &bar;
    const QString dir = freshDir();
    writeFile(dir + "/in", sample(10000));
    bf.InputFilePath = dir + "/in";
    bf.OutputFilePath = dir + "/out";
    bf.CipherMode = TCipherMode::CFBMode;
    bf.IVector = "PLTOOLS1";
    bf.Encrypt(false);
    EXPECT_EQ(bar.maximum(), 10000);
    EXPECT_EQ(bar.value(), 0);
}

TEST(BlowFish, DecipheringAlongsideGivesWhatTheFileProcedureGives)
{
    const auto prepare = [](TBlowFish &bf, const QString &file, TCipherMode mode) {
        bf.InputFilePath = file;
        bf.setKey("PictlaneKey");
        bf.CipherMode = mode;
        bf.IVector = "PLTOOLS1";
    };
    // Lengths around the block, the buffer and the decipherer's pieces (16 KiB, then 256 KiB).
    for (const int n : {0, 1, 7, 8, 9, 4097, 16 * 1024 - 1, 16 * 1024 + 3, 300 * 1024 + 5}) {
        SCOPED_TRACE(n);
        const QByteArray plain = sample(n);
        const QString dir = freshDir();
        ASSERT_TRUE(writeFile(dir + "/in", cryptFile(plain, TCipherMode::CFBMode, true)));
        TBlowFish bf;
        prepare(bf, dir + "/in", TCipherMode::CFBMode);
        const std::shared_ptr<TArrivingBytes> arriving = bf.DecryptFileArriving();
        ASSERT_EQ(arriving->size(), n);
        EXPECT_EQ(arriving->waitBeyond(0) > 0, n > 0) << "waits for the first piece, not for nothing";
        EXPECT_EQ(arriving->takeAll(), plain);
    }
    // Another mode deciphers at once, with the same result as the file procedure.
    const QByteArray plain = sample(1000);
    const QString dir = freshDir();
    ASSERT_TRUE(writeFile(dir + "/in", cryptFile(plain, TCipherMode::CBCMode, true)));
    TBlowFish bf;
    prepare(bf, dir + "/in", TCipherMode::CBCMode);
    EXPECT_EQ(bf.DecryptFileArriving()->takeAll().left(1000), plain);
    bf.InputFilePath = dir + "/missing";
    EXPECT_THROW(bf.DecryptFileArriving(), EInOutError);
}
