#pragma once
// The application object: its error handler shows what escaped an event handler in a message
// box and lets the program run on.

#include <QApplication>

class TApplication : public QApplication {
public:
    TApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
    // Shows an error in a message box titled with the program's name.
    static void ShowException(const QString &message);
};
