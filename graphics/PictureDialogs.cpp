#include "PictureDialogs.h"

#include <QDialog>
#include <QEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

#include "Image.h"

QStringList QtNameFilters(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList pats;
        for (const QString &p : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            QString ci;
            for (QChar c : p)
                ci += c.isLetter() && c.unicode() < 128 ? QStringLiteral("[%1%2]").arg(c.toLower()).arg(c.toUpper())
                                                        : QString(c);
            pats.append(ci);
        }
        out.append(QStringLiteral("%1 (%2)").arg(parts[i], pats.join(QLatin1Char(' '))));
    }
    return out;
}

namespace {

class PaintBoxWidget : public QWidget {
public:
    PaintBoxWidget(TPicture &picture, std::function<void()> onDoubleClick, QWidget *parent)
        : QWidget(parent), m_picture(picture), m_onDoubleClick(std::move(onDoubleClick))
    {
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.fillRect(rect(), palette().color(QPalette::Window));
        TGraphic *g = m_picture.graphic();
        if (!g) {
            p.drawText(rect(), Qt::AlignCenter, QStringLiteral("(なし)"));
            return;
        }
        try {
            g->draw(p, TOpenPictureDialog::PreviewRect(QSize(g->width(), g->height()), size()));
        } catch (const std::exception &) {
            // A picture that cannot be drawn previews as nothing.
        }
    }
    void mouseDoubleClickEvent(QMouseEvent *) override { m_onDoubleClick(); }

private:
    TPicture &m_picture;
    std::function<void()> m_onDoubleClick;
};

} // namespace

TOpenPictureDialog::TOpenPictureDialog(QWidget *parent) : QFileDialog(parent)
{
    setOption(QFileDialog::DontUseNativeDialog);
    setOption(QFileDialog::HideNameFilterDetails);
    setFileMode(QFileDialog::ExistingFile);
    setNameFilters(QtNameFilters(TPicture::graphicFilter()));

    PicturePanel = new QWidget(this);
    PicturePanel->setFixedSize(200, 169);
    auto *outer = new QVBoxLayout(PicturePanel);
    outer->setContentsMargins(6, 6, 6, 6);
    auto *top = new QHBoxLayout;
    PictureLabel = new QLabel(QStringLiteral("画像:"), PicturePanel);
    PreviewButton = new QToolButton(PicturePanel);
    PreviewButton->setFixedSize(22, 23);
    PreviewButton->setText(QStringLiteral("…"));
    PreviewButton->setToolTip(QStringLiteral("ﾌﾟﾚﾋﾞｭｰ"));
    PreviewButton->setEnabled(false);
    top->addWidget(PictureLabel, 1);
    top->addWidget(PreviewButton);
    outer->addLayout(top);
    PaintPanel = new QFrame(PicturePanel);
    PaintPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto *inner = new QVBoxLayout(PaintPanel);
    inner->setContentsMargins(2, 2, 2, 2);
    PaintBox = new PaintBoxWidget(
        m_picture, [this] { PreviewClick(); }, PaintPanel);
    inner->addWidget(PaintBox);
    outer->addWidget(PaintPanel, 1);
    // Beside the dialog's own controls.
    if (auto *grid = qobject_cast<QGridLayout *>(layout()))
        grid->addWidget(PicturePanel, 0, grid->columnCount(), grid->rowCount(), 1, Qt::AlignTop);
    connect(this, &QFileDialog::currentChanged, this, [this](const QString &path) { DoSelectionChange(path); });
    connect(PreviewButton, &QToolButton::clicked, this, [this] { PreviewClick(); });
}

QRect TOpenPictureDialog::PreviewRect(const QSize &pic, const QSize &box)
{
    if (pic.width() <= box.width() && pic.height() <= box.height())
        return QRect((box.width() - pic.width()) / 2, (box.height() - pic.height()) / 2, pic.width(), pic.height());
    if (pic.width() > pic.height())
        return QRect(0, 0, box.width(), int((qint64(pic.height()) * box.width() + pic.width() / 2) / pic.width()));
    return QRect(0, 0, int((qint64(pic.width()) * box.height() + pic.height() / 2) / pic.height()), box.height());
}

void TOpenPictureDialog::DoSelectionChange(const QString &path)
{
    bool shown = false;
    if (QFileInfo(path).isFile()) {
        try {
            m_picture.loadFromFile(path);
            shown = m_picture.graphic() && !m_picture.graphic()->isEmpty();
        } catch (const std::exception &) {
            // Whatever fails to load previews as nothing.
        }
    }
    if (shown) {
        PictureLabel->setText(QStringLiteral("画像:") +
                              QStringLiteral(" (%1x%2)").arg(m_picture.width()).arg(m_picture.height()));
    } else {
        PictureLabel->setText(QStringLiteral("画像:"));
        m_picture.assign(nullptr);
    }
    PreviewButton->setEnabled(shown);
    PaintBox->update();
}

void TOpenPictureDialog::PreviewClick()
{
    if (!m_picture.graphic())
        return;
    QDialog window(this, Qt::Tool);
    window.setWindowTitle(QStringLiteral("ﾌﾟﾚﾋﾞｭｰ"));
    auto *layout = new QVBoxLayout(&window);
    layout->setContentsMargins(5, 5, 5, 5);
    auto *image = new TImage(&window);
    image->picture().assign(m_picture.graphic());
    image->setStretch(true);
    image->setFixedSize(m_picture.width(), m_picture.height());
    layout->addWidget(image);
    window.setFixedSize(m_picture.width() + 10, m_picture.height() + 10);
    if (const QScreen *s = QGuiApplication::primaryScreen())
        window.move(s->availableGeometry().center() - window.rect().center());
    window.exec(); // Escape closes it
}

TSavePictureDialog::TSavePictureDialog(QWidget *parent) : TOpenPictureDialog(parent)
{
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
}
