#include "StatusBarEx.h"

#include <QLabel>
#include <QProgressBar>

TStatusBarEx::TStatusBarEx(QWidget *parent) : QStatusBar(parent)
{
    setSizeGripEnabled(false);
    m_gauge = new QProgressBar(this);
    m_gauge->setRange(0, 100);
    m_gauge->setValue(0);
    m_gauge->setTextVisible(false);
    m_gauge->setFixedWidth(100);
    m_gauge->setMaximumHeight(14);
    addWidget(m_gauge);
    m_panels[0] = nullptr;
    const int widths[3] = {100, 150, 300};
    for (int i = 1; i < 3; ++i) {
        m_panels[i] = new QLabel(this);
        m_panels[i]->setMinimumWidth(widths[i]);
        m_panels[i]->setFrameShape(QFrame::StyledPanel);
        m_panels[i]->setTextInteractionFlags(Qt::NoTextInteraction);
        addWidget(m_panels[i], i == 2 ? 1 : 0);
    }
}

QString TStatusBarEx::panelText(int index) const
{
    return index > 0 && index < 3 ? m_panels[index]->text() : QString();
}

void TStatusBarEx::setPanelText(int index, const QString &text)
{
    if (index > 0 && index < 3)
        m_panels[index]->setText(text);
}

int TStatusBarEx::gauge() const
{
    return m_gauge->value();
}

void TStatusBarEx::setGauge(int percent)
{
    m_gauge->setValue(qBound(0, percent, 100));
}
