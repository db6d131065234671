#include "MainUnit.h"

#include "ArrivingBytes.h"
#include "Blowunit.h"
#include "MsgBox.h"
#include "PrivateTemp.h"
#include "ShiftJIS.h"
#include "StatusBarEx.h"

#include <QApplication>
#include <QBuffer>

// ---- encrypted JPEG -----------------------------------------------------------------------

namespace {
const QByteArray kJpzVector("PLTOOLS1");
}

QString TMainForm::TempFolder()
{
    if (TPrivateTemp *t = TPrivateTemp::instance())
        return t->path();
    // Without one from main (tests, tools) the window makes its own, gone at exit.
    static std::unique_ptr<TPrivateTemp> own = std::make_unique<TPrivateTemp>();
    return own->path();
}

void TMainForm::CryptSaveMenuClick()
{
    if (!Image1->isVisible() || !CurrentJpeg || CurrentJpeg->isEmpty())
        return;
    const QString target = askSaveName(SaveCryptDialog);
    if (target.isEmpty())
        return;
    const std::optional<QString> pass = AskPassphrase(LastPass);
    if (!pass)
        return;
    QByteArray key;
    ToShiftJIS(*pass, key);
    QApplication::setOverrideCursor(Cursors[4]);
    struct Restore {
        TMainForm *f;
        ~Restore()
        {
            f->StatusBar->setPanelText(1, QString());
            QApplication::restoreOverrideCursor();
            QCoreApplication::processEvents();
        }
    } restore{this};
    LastPass = *pass;
    StatusBar->setPanelText(1, QStringLiteral("保存中..."));
    QCoreApplication::processEvents();
    // The plain JPEG goes from memory into the cipher: it never touches the disk.
    QBuffer plain;
    plain.open(QIODevice::WriteOnly);
    CurrentJpeg->saveToStream(plain);
    BF1->InputType = TSourceType::SourceFile;
    BF1->OutputFilePath = target;
    BF1->setKey(key);
    BF1->CipherMode = TCipherMode::CFBMode;
    BF1->IVector = kJpzVector;
    BF1->EncryptToFile(plain.data());
    BF1->setKey(QByteArray());
    SecureZero(key.data(), size_t(key.size()));
}

bool TMainForm::OpenCryptedJpeg(const QString &path, TJPEGImage &into)
{
    const std::optional<QString> pass = AskPassphrase(LastPass);
    if (!pass)
        return false;
    QByteArray key;
    ToShiftJIS(*pass, key);
    BF1->InputType = TSourceType::SourceFile;
    BF1->InputFilePath = path;
    BF1->setKey(key);
    BF1->CipherMode = TCipherMode::CFBMode;
    BF1->IVector = kJpzVector;
    LastPass = *pass; // remembered whatever comes of it
    struct Wipe {
        TMainForm *f;
        QByteArray &key;
        ~Wipe()
        {
            f->BF1->setKey(QByteArray());
            SecureZero(key.data(), size_t(key.size()));
        }
    } wipe{this, key};
    // Deciphered into memory, the plain picture never touching the disk, and on the second core
    // while the decoder works on what is already there.
    const std::shared_ptr<TArrivingBytes> plain = BF1->DecryptFileArriving();
    // Whatever a wrong key's bytes make the reader or the decoder throw means the same to the user.
    bool loaded = true;
    try {
        into.loadFromArriving(plain);
        into.DIBNeeded();
    } catch (const std::exception &) {
        loaded = false;
    }
    plain->stop(); // the decipherer reads the key schedule: done with it before anything else
    if (!loaded) {
        MessageDlg(this, QStringLiteral("パスワードが間違っています"), TMsgKind::Warning);
        return false;
    }
    return true;
}
