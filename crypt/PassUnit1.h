#pragma once
// TPassForm: asks for the passphrase of an encrypted JPEG. OK is enabled exactly when the text
// is 8 to 56 bytes long in Shift-JIS (a double-byte character counts twice; a character with no
// Shift-JIS form keeps it disabled). Enter is OK only while OK is enabled; Escape cancels.

#include <QDialog>

class QLineEdit;
class QPushButton;

class TPassForm : public QDialog {
public:
    explicit TPassForm(QWidget *parent = nullptr);

    QLineEdit *Edit1;
    QPushButton *OKButton;
    QPushButton *CancelButton;

    // The Shift-JIS bytes of the text, the key the cipher uses. Empty when it has none.
    QByteArray keyBytes() const;
    static bool acceptable(const QString &text);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void Edit1Change();
};
