#pragma once
// TOpenPictureDialog and TSavePictureDialog: file dialogs with a side pane that previews the
// picture file under the cursor through the picture format registry.

#include "Picture.h"

#include <QFileDialog>

class QLabel;
class QToolButton;
class QFrame;

class TOpenPictureDialog : public QFileDialog {
public:
    explicit TOpenPictureDialog(QWidget *parent = nullptr);

    // True when the user confirmed a file name.
    bool Execute() { return exec() == QDialog::Accepted; }
    // What the pane does when the selection moves to path.
    void DoSelectionChange(const QString &path);
    // The modal "ﾌﾟﾚﾋﾞｭｰ" window with the picture at its size.
    void PreviewClick();
    // Where a picture of size pic is drawn in a paint box of size box: unscaled and centred when
    // it fits, else stretched from the top-left corner to the full width or height.
    static QRect PreviewRect(const QSize &pic, const QSize &box);

    TPicture &picture() { return m_picture; }
    QWidget *PicturePanel;
    QLabel *PictureLabel;
    QToolButton *PreviewButton;
    QFrame *PaintPanel;
    QWidget *PaintBox;

private:
    TPicture m_picture;
};

class TSavePictureDialog : public TOpenPictureDialog {
public:
    explicit TSavePictureDialog(QWidget *parent = nullptr);
};

// "desc|pat;pat|..." as Qt's file dialogs take it; patterns match any letter case.
QStringList QtNameFilters(const QString &filter);
