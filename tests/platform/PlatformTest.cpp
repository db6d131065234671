#include "AppPaths.h"
#include "PrivateTemp.h"
#include "TermSignals.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

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
