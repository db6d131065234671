#include "AppPaths.h"
#include "ArrivingBytes.h"
#include "Exceptions.h"
#include "FileTypes.h"
#include "PrivateTemp.h"
#include "SafeFile.h"
#include "TermSignals.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <condition_variable>
#include <csignal>
#include <mutex>
#include <thread>

#include <sys/stat.h>

TEST(PrivateTemp, IsPrivateAndRemovedWithEverythingInIt)
{
    QString path;
    {
        TPrivateTemp temp;
        path = temp.path();
        ASSERT_TRUE(path.endsWith('/'));
        EXPECT_TRUE(path.startsWith(QDir::tempPath()));
        struct stat st {};
        ASSERT_EQ(stat(QFile::encodeName(path).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        EXPECT_EQ(TPrivateTemp::instance(), &temp);
        QDir().mkpath(path + "sub");
        QFile f(path + "sub/picture.jpg");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_EQ(TPrivateTemp::instance(), nullptr);
}

TEST(AppPaths, FolderAndExtension)
{
    struct Case {
        const char *path, *folder, *ext;
    } cases[] = {
        {"/a/b.jpg", "/a", ".jpg"},           {"/b.jpg", "/", ".jpg"},         {"/a.dir/file", "/a.dir", ""},
        {"/x/photo.tar.JPEG", "/x", ".JPEG"}, {"/x/.hidden", "/x", ".hidden"}, {"noslash.b", "", ".b"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(FolderOf(c.path), QString(c.folder));
        EXPECT_EQ(ExtractFileExt(c.path), QString(c.ext));
    }
}

TEST(TermSignals, TerminationArrivesAsAnEvent)
{
    QList<int> seen;
    {
        TTermSignals term([&](int s) { seen.append(s); });
        std::raise(SIGTERM);
        std::raise(SIGHUP);
        QElapsedTimer t;
        t.start();
        while (seen.size() < 2 && t.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    EXPECT_EQ(seen, (QList<int>{SIGTERM, SIGHUP}));
}

TEST(FileTypes, DesktopRegistrationOnOffAndOnlyWhenChanged)
{
    const QString data = testing_support::freshDir();
    qputenv("XDG_DATA_HOME", QFile::encodeName(data));
    const TDesktopFileType t{
        "pictlane-crypted-jpeg", "application/x-crypted-jpeg", "暗号化JPEG", "*.jpz", "pictlane-viewer.desktop",
        "Pictlane Type II",      "/opt/my apps/pict\"lane"};
    EXPECT_TRUE(RegisterDesktopFileType(t, true));
    const QByteArray xml = testing_support::readFile(data + "/mime/packages/pictlane-crypted-jpeg.xml");
    EXPECT_TRUE(xml.contains("type=\"application/x-crypted-jpeg\""));
    EXPECT_TRUE(xml.contains("<comment>暗号化JPEG</comment>"));
    EXPECT_TRUE(xml.contains("<glob pattern=\"*.jpz\"/>"));
    const QByteArray entry = testing_support::readFile(data + "/applications/pictlane-viewer.desktop");
    EXPECT_TRUE(entry.contains("Exec=\"/opt/my apps/pict\\\\\"lane\" %f\n")) << entry.constData();
    EXPECT_TRUE(entry.contains("MimeType=application/x-crypted-jpeg;"));
    if (!QStandardPaths::findExecutable("update-mime-database").isEmpty()) {
        EXPECT_TRUE(QFileInfo::exists(data + "/mime/application/x-crypted-jpeg.xml"));
    }
    EXPECT_FALSE(RegisterDesktopFileType(t, true)) << "nothing changed, nothing written";
    EXPECT_TRUE(RegisterDesktopFileType(t, false));
    EXPECT_FALSE(QFileInfo::exists(data + "/mime/packages/pictlane-crypted-jpeg.xml"));
    EXPECT_FALSE(QFileInfo::exists(data + "/applications/pictlane-viewer.desktop"));
    EXPECT_FALSE(RegisterDesktopFileType(t, false));
    TDesktopFileType plain = t;
    plain.exe = "/usr/lib/pictlane/pictlane";
    RegisterDesktopFileType(plain, true);
    EXPECT_TRUE(testing_support::readFile(data + "/applications/pictlane-viewer.desktop")
                    .contains("Exec=/usr/lib/pictlane/pictlane %f\n"));
}

namespace {
mode_t modeOf(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : mode_t(-1);
}
} // namespace

TEST(SafeFile, NewFilesExistingFilesAndLinks)
{
    using namespace testing_support;
    const QString dir = freshDir();
    const mode_t oldMask = ::umask(027);
    struct Case {
        const char *name;
        TSafeFile::Access access;
        int existingMode; // -1: no file yet
        mode_t expect;
    } cases[] = {
        {"new private", TSafeFile::Access::Private, -1, 0600},
        {"new shared, less the umask", TSafeFile::Access::Shared, -1, 0640},
        {"existing keeps its bits", TSafeFile::Access::Shared, 0604, 0604},
        {"existing private keeps its bits", TSafeFile::Access::Private, 0644, 0644},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir + "/" + c.name;
        if (c.existingMode >= 0) {
            ASSERT_TRUE(writeFile(path, "old"));
            ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode_t(c.existingMode)), 0);
        }
        TSafeFile f(path, c.access);
        f.writeAll(QByteArray("new"));
        EXPECT_EQ(readFile(path), c.existingMode >= 0 ? QByteArray("old") : QByteArray()) << "untouched until commit";
        f.commit();
        EXPECT_EQ(readFile(path), "new");
        EXPECT_EQ(modeOf(path), c.expect);
    }
    ::umask(oldMask);

    // A link is followed: the file behind it is replaced and the link stays.
    const QString real = dir + "/real.txt", link = dir + "/link.txt";
    ASSERT_TRUE(writeFile(real, "old"));
    ASSERT_TRUE(QFile::link(real, link));
    {
        TSafeFile f(link, TSafeFile::Access::Shared);
        f.write("through the link");
        f.commit();
    }
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(readFile(real), "through the link");

    // Not committed: the target stays as it was and no temporary file is left.
    {
        TSafeFile f(real, TSafeFile::Access::Shared);
        f.writeAll(QByteArray("half"));
    }
    EXPECT_EQ(readFile(real), "through the link");
    EXPECT_EQ(QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 6);

    // A folder that is not there: the message names the file.
    try {
        TSafeFile f(dir + "/missing/x.jpg", TSafeFile::Access::Shared);
        FAIL() << "no exception";
    } catch (const EInOutError &e) {
        EXPECT_TRUE(e.message().contains(dir + "/missing/x.jpg")) << e.message().toStdString();
    }
}

TEST(ArrivingBytes, TheReaderTakesWhatIsThereAndWaitsForTheRest)
{
    std::mutex m;
    std::condition_variable cv;
    int step = 0; // the reader lets the producer go on step by step
    TArrivingBytes bytes(10);
    bytes.start([&](TArrivingBytes &b) {
        for (int i = 0; i < 10; i += 4) {
            std::unique_lock l(m);
            cv.wait(l, [&] { return step > i / 4; });
            for (int k = i; k < std::min(10, i + 4); ++k)
                b.data()[k] = char('a' + k);
            b.publish(std::min(10, i + 4));
        }
    });
    qsizetype have = 0;
    for (const qsizetype expect : {4, 8, 10}) {
        {
            std::lock_guard l(m);
            ++step;
        }
        cv.notify_all();
        have = bytes.waitBeyond(have);
        EXPECT_EQ(have, expect);
        EXPECT_EQ(QByteArray(bytes.constData(), have), QByteArray("abcdefghij").left(have));
    }
    EXPECT_EQ(bytes.takeAll(), "abcdefghij");

    // A producer that fails, or ends short: the reader is not left waiting, and the whole throws.
    TArrivingBytes failing(8);
    failing.start([](TArrivingBytes &b) {
        b.publish(3);
        throw EInOutError(QStringLiteral("read error"));
    });
    EXPECT_EQ(failing.waitBeyond(3), 3);
    EXPECT_THROW(failing.takeAll(), EInOutError);
    TArrivingBytes shortOne(8);
    shortOne.start([](TArrivingBytes &b) { b.publish(5); });
    EXPECT_THROW(shortOne.takeAll(), EInOutError);

    // A reader that leaves stops the producer.
    TArrivingBytes endless(1 << 20);
    endless.start([](TArrivingBytes &b) {
        while (!b.stopRequested())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    endless.stop();
    EXPECT_THROW(endless.takeAll(), EInOutError);
}
