#pragma once
// The main window's status bar: three panels of 100, 150 and 300 pixels; a progress gauge
// (0 to 100) fills panel 0, panels 1 and 2 hold texts.

#include <QStatusBar>

class QLabel;
class QProgressBar;

class TStatusBarEx : public QStatusBar {
public:
    explicit TStatusBarEx(QWidget *parent = nullptr);

    QString panelText(int index) const;
    void setPanelText(int index, const QString &text);
    int gauge() const;
    void setGauge(int percent);

private:
    QProgressBar *m_gauge;
    QLabel *m_panels[3];
};
