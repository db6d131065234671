#include "Registry.h"
#include "Exceptions.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace testing_support;

namespace {

// Each test gets its own configuration folder.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        config = freshDir();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
        file = TRegistry::hiveFile(THive::CurrentUser);
    }
    QString config, file;
};

mode_t modeOf(const QString &path)
{
    struct stat st {};
    stat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 0777;
}

} // namespace

TEST_F(RegistryTest, KeysAndValuesPersistPrivately)
{
    EXPECT_TRUE(file.startsWith(config + "/Korvane/"));
    {
        TRegistry reg;
        EXPECT_FALSE(reg.OpenKey("Software\\Korvane\\PLE", false));
        ASSERT_TRUE(reg.OpenKey("Software\\Korvane\\PLE\\Setting", true));
        reg.WriteString("IniDir", "/home/ユーザー/写真");
        reg.WriteString("Odd", "a=b\\c\nline two\r");
        reg.WriteString("", "default value");
        reg.CloseKey();
    }
    EXPECT_EQ(modeOf(file), 0600u);
    EXPECT_EQ(modeOf(QFileInfo(file).path()), 0700u);
    EXPECT_TRUE(readFile(file).contains("[Software\\Korvane\\PLE\\Setting]\n"));

    TRegistry reg;
    EXPECT_TRUE(reg.KeyExists("software\\KORVANE\\ple")) << "names compare without case";
    ASSERT_TRUE(reg.OpenKey("SOFTWARE\\Korvane\\PLE\\setting", false));
    EXPECT_EQ(reg.CurrentPath(), QString("Software\\Korvane\\PLE\\Setting")) << "and keep their case";
    EXPECT_EQ(reg.ReadString("inidir"), QString("/home/ユーザー/写真"));
    EXPECT_EQ(reg.ReadString("Odd"), QString("a=b\\c\nline two\r"));
    EXPECT_EQ(reg.ReadString(""), QString("default value"));
    EXPECT_FALSE(reg.ValueExists("Missing"));
    EXPECT_EQ(reg.GetValueNames().size(), 3);
    ASSERT_TRUE(reg.OpenKey("\\Software\\Korvane", false));
    EXPECT_EQ(reg.GetKeyNames(), QStringList{"PLE"});
}

TEST_F(RegistryTest, DeleteKeyTakesEverythingBelow)
{
    TRegistry reg;
    reg.OpenKey("Crypted_JPEG\\shell\\open\\command", true);
    reg.WriteString("", "pictlane \"%1\"");
    reg.OpenKey("\\Crypted_JPEGX", true);
    reg.CloseKey();
    EXPECT_TRUE(reg.DeleteKey("crypted_jpeg"));
    EXPECT_FALSE(reg.KeyExists("Crypted_JPEG\\shell"));
    EXPECT_TRUE(reg.KeyExists("Crypted_JPEGX")) << "a key whose name merely starts the same stays";
    EXPECT_FALSE(reg.DeleteKey("Crypted_JPEG"));
    reg.CloseKey();
    TRegistry again;
    EXPECT_FALSE(again.KeyExists("Crypted_JPEG"));
}

TEST_F(RegistryTest, TwoProgramsWritingInTurnKeepEachOthersValues)
{
    TRegIniFile a("Software\\Korvane\\PLE");
    TRegIniFile b("Software\\Korvane\\PLE");
    // Both read before either writes, as two running viewers do.
    EXPECT_EQ(a.ReadString("Setting", "X", "none"), "none");
    EXPECT_EQ(b.ReadString("Setting", "X", "none"), "none");
    a.WriteString("Setting", "OnlyA", "1");
    a.WriteString("Setting", "Both", "from a");
    a.UpdateFile();
    b.WriteString("Window", "OnlyB", "2");
    b.WriteString("Setting", "Both", "from b");
    b.UpdateFile();
    TRegIniFile c("Software\\Korvane\\PLE");
    EXPECT_EQ(c.ReadString("Setting", "OnlyA", ""), "1");
    EXPECT_EQ(c.ReadString("Window", "OnlyB", ""), "2");
    EXPECT_EQ(c.ReadString("Setting", "Both", ""), "from b") << "the later write wins";
}

TEST_F(RegistryTest, IniViewTextForms)
{
    TRegIniFile ini("Software\\Korvane\\PLE");
    ini.WriteInteger("Window", "BgColor", qint32(0x8000000F));
    ini.WriteBool("Setting", "Flag", true);
    ini.UpdateFile();
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("Software\\Korvane\\PLE\\Window", false));
    EXPECT_EQ(reg.ReadString("BgColor"), "-2147483633");
    ASSERT_TRUE(reg.OpenKey("\\Software\\Korvane\\PLE\\Setting", false));
    EXPECT_EQ(reg.ReadString("Flag"), "1");

    struct Case {
        const char *text;
        bool ok;
        qint64 value;
    } cases[] = {{"0x3E8", true, 1000},
                 {"0X3e8", true, 1000},
                 {"0x8000000F", true, -2147483633},
                 {"-2147483633", true, -2147483633},
                 {"1400", true, 1400},
                 {"0x", false, 0},
                 {"12abc", false, 0},
                 {"", false, 0},
                 {"99999999999", false, 0},
                 {"0x1FFFFFFFF", false, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        qint64 v = 0;
        EXPECT_EQ(TRegIniFile::parseInteger(c.text, v), c.ok);
        if (c.ok) {
            EXPECT_EQ(v, c.value);
        }
    }
    ini.WriteString("Setting", "Bool2", "2");
    ini.WriteString("Setting", "BoolText", "yes");
    EXPECT_TRUE(ini.ReadBool("Setting", "Bool2", false)) << "any integer but 0 is true";
    EXPECT_FALSE(ini.ReadBool("Setting", "BoolText", false)) << "not a number: the default";
    EXPECT_EQ(ini.ReadInteger("Nothing", "Here", 7), 7);
}

TEST_F(RegistryTest, DamagedFileReadsWhatItCanAndIsKeptAside)
{
    QDir().mkpath(QFileInfo(file).path());
    QByteArray damaged = "; a newer version wrote this\n[Software\\Korvane\\PLE\\Setting]\nGood=yes\n";
    damaged += "no separator here\n";
    damaged += "Bad\xff\xfeUtf8=x\n";
    damaged += "Trunc=\\";
    damaged += "\n[Software\\Korvane\\PLE\\Window]\nWidth=800\n\x01\x02garbage";
    ASSERT_TRUE(writeFile(file, damaged));
    {
        TRegIniFile ini("Software\\Korvane\\PLE");
        EXPECT_EQ(ini.ReadString("Setting", "Good", ""), "yes");
        EXPECT_EQ(ini.ReadInteger("Window", "Width", 640), 800);
        EXPECT_EQ(ini.ReadString("Setting", "Trunc", "default"), "default");
    }
    EXPECT_EQ(readFile(file), damaged) << "reading never rewrites the file";
    TRegIniFile ini("Software\\Korvane\\PLE");
    ini.WriteString("Setting", "New", "1");
    ini.UpdateFile();
    EXPECT_EQ(readFile(file + ".bad"), damaged);
    TRegIniFile back("Software\\Korvane\\PLE");
    EXPECT_EQ(back.ReadString("Setting", "Good", ""), "yes");
    EXPECT_EQ(back.ReadString("Setting", "New", ""), "1");
}

TEST_F(RegistryTest, FailedWriteLeavesTheFileAsItWas)
{
    {
        TRegIniFile ini("Software\\Korvane\\PLE");
        ini.WriteString("Setting", "Kept", "yes");
        ini.UpdateFile();
    }
    const QByteArray before = readFile(file);
    // A folder where the temporary file should go makes every write fail, even for root.
    const QString dir = QFileInfo(file).path();
    ASSERT_TRUE(QDir().rename(dir, dir + ".real"));
    ASSERT_TRUE(writeFile(dir, "not a folder"));
    TRegIniFile ini("Software\\Korvane\\PLE");
    ini.WriteString("Setting", "Lost", "1");
    EXPECT_THROW(ini.UpdateFile(), EInOutError);
    QFile::remove(dir);
    ASSERT_TRUE(QDir().rename(dir + ".real", dir));
    EXPECT_EQ(readFile(file), before);
    EXPECT_EQ(QDir(dir).entryList(QDir::Files).filter(".tmp-").size(), 0);
}
