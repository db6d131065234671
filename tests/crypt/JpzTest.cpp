#include "Blowunit.h"
#include "JPEG.h"
#include "MainUnit.h"
#include "MsgBox.h"
#include "PassUnit1.h"
#include "Registry.h"
#include "ShiftJIS.h"
#include "StatusBarEx.h"
#include "TestSupport.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace testing_support;

namespace {

const QString kFixtures = QStringLiteral(PICTLANE_FIXTURES);

// A window whose questions are answered by the test.
class Jpz : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(freshDir()));
        dir = freshDir();
        SetMessageHook([this](const TMsgRequest &r) {
            messages.append(r.text);
            return QMessageBox::Ok;
        });
        // Shown, and with nothing on show until a test opens something.
        form = std::make_unique<TMainForm>(QStringList{dir + "/nothing-here.jpg"});
        form->show();
        QApplication::processEvents();
        form->AskPassphrase = [this](const QString &remembered) -> std::optional<QString> {
            offered.append(remembered);
            return answer;
        };
        form->ExecuteDialog = [this](TFileDialog &d) {
            EXPECT_EQ(d.Title, "暗号化JPEGﾌｧｲﾙに保存");
            d.FileName = saveAs;
            return !saveAs.isEmpty();
        };
    }
    void TearDown() override { SetMessageHook(nullptr); }
    QStringList tempFiles() { return QDir(TMainForm::TempFolder()).entryList(QDir::Files); }

    QString dir;
    std::unique_ptr<TMainForm> form;
    std::optional<QString> answer;
    QString saveAs;
    QStringList offered, messages;
};

} // namespace

TEST(ShiftJIS, KeyBytes)
{
    struct Case {
        const char *text;
        const char *hex;
    } cases[] = {{"パスワード１２", "83708358838f815b836882508251"},
                 {"〜", "8160"},
                 {"～", "8160"},
                 {"ｱ", "b1"},
                 {"abc", "616263"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        QByteArray out;
        ASSERT_TRUE(ToShiftJIS(QString::fromUtf8(c.text), out));
        EXPECT_EQ(out.toHex(), QByteArray(c.hex));
    }
    QByteArray out;
    EXPECT_FALSE(ToShiftJIS(QString::fromUtf8("emoji 😀"), out));
}

TEST(PassForm, OkFollowsTheShiftJisLength)
{
    struct Case {
        const char *text;
        bool ok;
    } cases[] = {
        {"1234567", false}, {"12345678", true}, {"ｱｲｳｴｵｶｷｸ", true}, // half-width kana: one byte each
        {"あいう1", false}, {"あいうえ", true}, {"😀abcdefgh", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        TPassForm dlg;
        dlg.Edit1->setText(QString::fromUtf8(c.text));
        EXPECT_EQ(dlg.OKButton->isEnabled(), c.ok);
    }
    TPassForm dlg;
    dlg.Edit1->setText(QString(56, 'a'));
    EXPECT_TRUE(dlg.OKButton->isEnabled());
    dlg.Edit1->setText(QString(57, 'a'));
    EXPECT_FALSE(dlg.OKButton->isEnabled());
    dlg.Edit1->setText(QString(27, u'あ') + "ab"); // 56 bytes
    EXPECT_TRUE(dlg.OKButton->isEnabled());
    dlg.Edit1->setText(QString(28, u'あ') + "a"); // 57 bytes
    EXPECT_FALSE(dlg.OKButton->isEnabled());
}

TEST(PassForm, EnterOnlyWhileOkIsEnabledEscapeCancels)
{
    const auto press = [](TPassForm &dlg, int key) {
        QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(dlg.Edit1, &e);
    };
    {
        TPassForm dlg;
        dlg.Edit1->setText("short");
        dlg.open();
        press(dlg, Qt::Key_Return);
        EXPECT_TRUE(dlg.isVisible()) << "Enter with OK disabled does nothing";
        dlg.Edit1->setText("long enough");
        press(dlg, Qt::Key_Return);
        EXPECT_FALSE(dlg.isVisible());
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
    }
    TPassForm dlg;
    dlg.Edit1->setText("long enough");
    dlg.open();
    press(dlg, Qt::Key_Escape);
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
}

TEST_F(Jpz, FixturesFromAnIndependentCipherOpen)
{
    const QByteArray plain = readFile(kFixtures + "/plain.jpg");
    ASSERT_EQ(plain.size(), 4097);
    for (const auto &[file, pass] : {std::pair{"ascii.jpz", "PictlaneTest"}, {"japanese.jpz", "秘密のパスワード１"}}) {
        SCOPED_TRACE(file);
        answer = QString::fromUtf8(pass);
        TJPEGImage img;
        ASSERT_TRUE(form->OpenCryptedJpeg(kFixtures + '/' + file, img));
        EXPECT_EQ(QSize(img.width(), img.height()), QSize(48, 32));
        // The bytes too: saved unchanged, the picture is the fixture's JPEG.
        const QString out = dir + "/back.jpg";
        img.saveToFile(out);
        EXPECT_EQ(readFile(out), plain);
    }
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_TRUE(tempFiles().isEmpty());
}

TEST_F(Jpz, SavingWritesWhatTheIndependentCipherWrites)
{
    form->OpenImage(kFixtures + "/plain.jpg");
    ASSERT_EQ(form->CurrentJpeg->width(), 48);
    saveAs = dir + "/mine.jpz";
    answer = QString::fromUtf8("秘密のパスワード１");
    form->CryptSaveMenuClick();
    EXPECT_EQ(readFile(saveAs), readFile(kFixtures + "/japanese.jpz")) << "same key, same vector, same bytes";
    EXPECT_EQ(form->LastPass, *answer);
    EXPECT_TRUE(tempFiles().isEmpty());
    EXPECT_TRUE(form->StatusBar->panelText(1).isEmpty());

    // And it opens again, through the ordinary open.
    form->OpenImage(saveAs);
    EXPECT_EQ(form->CurrentFile, saveAs);
    EXPECT_EQ(form->CurrentJpeg->width(), 48);
}

TEST_F(Jpz, WrongPassphraseSaysSoOnceAndChangesNothing)
{
    form->OpenImage(kFixtures + "/plain.jpg");
    answer = "not the passphrase";
    form->OpenImage(kFixtures + "/ascii.jpz");
    EXPECT_EQ(messages, QStringList{"パスワードが間違っています"});
    EXPECT_EQ(form->CurrentFile, kFixtures + "/plain.jpg");
    EXPECT_EQ(form->Image1->picture().width(), 48);
    EXPECT_TRUE(tempFiles().isEmpty());
    EXPECT_EQ(form->LastPass, "not the passphrase") << "remembered even when wrong";
    answer = std::nullopt; // cancelled: nothing at all
    form->OpenImage(kFixtures + "/japanese.jpz");
    EXPECT_EQ(offered.last(), "not the passphrase");
    EXPECT_EQ(messages.size(), 1);
}

TEST_F(Jpz, StartedOnAJpzAsksOverTheShownWindow)
{
    bool visibleWhenAsked = false;
    TMainForm started({kFixtures + "/ascii.jpz"});
    started.AskPassphrase = [&](const QString &) -> std::optional<QString> {
        visibleWhenAsked = started.isVisible();
        return QStringLiteral("PictlaneTest");
    };
    started.show();
    processEventsUntil([&] { return !started.CurrentFile.isEmpty(); });
    EXPECT_TRUE(visibleWhenAsked);
    EXPECT_EQ(started.CurrentFile, kFixtures + "/ascii.jpz");
    EXPECT_EQ(started.CurrentJpeg->width(), 48);
}

TEST_F(Jpz, FirstPassphraseOfferedIsInitialWord)
{
    answer = std::nullopt;
    form->OpenImage(kFixtures + "/ascii.jpz");
    ASSERT_EQ(offered.size(), 1);
    EXPECT_EQ(offered[0], "InitialWord");
    TPassForm dlg;
    dlg.Edit1->setText(offered[0]);
    EXPECT_TRUE(dlg.OKButton->isEnabled());
}

TEST_F(Jpz, NothingToSaveWithoutAPicture)
{
    saveAs = dir + "/nothing.jpz";
    answer = "12345678";
    form->CryptSaveMenuClick();
    EXPECT_FALSE(QFileInfo::exists(saveAs));
    EXPECT_TRUE(offered.isEmpty());
}

TEST_F(Jpz, ReadOnlyJpzOpensAndAFailedSaveKeepsTheOldFile)
{
    const QString ro = dir + "/ro.jpz";
    ASSERT_TRUE(QFile::copy(kFixtures + "/ascii.jpz", ro));
    QFile::setPermissions(ro, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    answer = "PictlaneTest";
    form->OpenImage(ro);
    EXPECT_EQ(form->CurrentFile, ro);

    saveAs = dir + "/no such folder/x.jpz";
    EXPECT_THROW(form->CryptSaveMenuClick(), EInOutError);
    EXPECT_TRUE(tempFiles().isEmpty());
    saveAs = dir + "/kept.jpz";
    ASSERT_TRUE(writeFile(saveAs, "old"));
    {
        const DiskFullAfter full(1000); // half-way through the picture
        EXPECT_THROW(form->CryptSaveMenuClick(), EInOutError);
    }
    EXPECT_EQ(readFile(saveAs), QByteArray("old"));
    EXPECT_TRUE(tempFiles().isEmpty());
}

TEST_F(Jpz, OverwritingKeepsTheFilesModeAndFollowsALink)
{
    const auto modeOf = [](const QString &path) {
        struct stat st {};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 07777u;
    };
    form->OpenImage(kFixtures + "/plain.jpg");
    answer = "PictlaneTest";
    saveAs = dir + "/new.jpz";
    form->CryptSaveMenuClick();
    EXPECT_EQ(modeOf(saveAs), 0600u) << "a new one is the user's alone";

    saveAs = dir + "/shared.jpz";
    ASSERT_TRUE(writeFile(saveAs, "old"));
    ASSERT_EQ(::chmod(QFile::encodeName(saveAs).constData(), 0640), 0);
    form->CryptSaveMenuClick();
    EXPECT_EQ(modeOf(saveAs), 0640u) << "the owner chose these bits";
    EXPECT_EQ(readFile(saveAs), readFile(kFixtures + "/ascii.jpz"));

    const QString link = dir + "/link.jpz";
    ASSERT_TRUE(QFile::link(dir + "/new.jpz", link));
    ASSERT_TRUE(writeFile(dir + "/new.jpz", "old"));
    saveAs = link;
    form->CryptSaveMenuClick();
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(readFile(dir + "/new.jpz"), readFile(kFixtures + "/ascii.jpz"));
}

TEST_F(Jpz, WhateverTheDecipheredBytesThrowReadsAsAWrongPassphrase)
{
    // A picture whose header reads but whose decoding fails: a progressive JPEG whose first scan
    // claims coefficients a DC scan cannot have.
    JpegOptions opt;
    opt.progressive = true;
    QByteArray broken = encodeJpeg(pattern(32, 24), opt);
    const qsizetype sos = broken.indexOf("\xFF\xDA");
    ASSERT_GT(sos, 0);
    const int components = uchar(broken[sos + 4]);
    broken[sos + 5 + 2 * components + 1] = char(5); // Se of a DC scan must be 0
    {
        TJPEGImage plain;
        QBuffer b(&broken);
        b.open(QIODevice::ReadOnly);
        plain.loadFromStream(b);
        ASSERT_THROW(plain.DIBNeeded(), EJPEG) << "the header reads, the decode fails";
    }
    const auto encipher = [&](const QString &target, const QByteArray &bytes) {
        QByteArray key;
        ToShiftJIS(QStringLiteral("PictlaneTest"), key);
        form->BF1->OutputFilePath = target;
        form->BF1->setKey(key);
        form->BF1->CipherMode = TCipherMode::CFBMode;
        form->BF1->IVector = "PLTOOLS1";
        form->BF1->EncryptToFile(bytes);
    };
    form->OpenImage(kFixtures + "/plain.jpg");
    answer = "PictlaneTest";
    struct Case {
        const char *name;
        QByteArray plain;
    } cases[] = {{"decodes badly", broken}, {"empty", QByteArray()}, {"a few bytes", QByteArray("\xFF\xD8\xFF")}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        messages.clear();
        const QString jpz = dir + "/" + c.name + ".jpz";
        encipher(jpz, c.plain);
        form->OpenImage(jpz);
        EXPECT_EQ(messages, QStringList{"パスワードが間違っています"});
        EXPECT_EQ(form->CurrentFile, kFixtures + "/plain.jpg");
        EXPECT_EQ(form->Image1->picture().width(), 48);
    }
    EXPECT_TRUE(tempFiles().isEmpty());
}
