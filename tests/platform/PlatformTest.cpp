#include "AppPaths.h"
#include "FileTypes.h"
#include "PrivateTemp.h"
#include "TermSignals.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <csignal>

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
