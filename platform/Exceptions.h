#pragma once
// The root of the program's exception hierarchy. Every failure that the user may see is an
// Exception carrying a UTF-8 message; the application's error handler shows that message.

#include <QString>
#include <exception>
#include <functional>
#include <string>

class Exception : public std::exception {
public:
    explicit Exception(std::string utf8Message) : m_message(std::move(utf8Message)) {}
    explicit Exception(const QString &message) : m_message(message.toStdString()) {}
    const char *what() const noexcept override { return m_message.c_str(); }
    QString message() const { return QString::fromStdString(m_message); }

private:
    std::string m_message;
};

// A file could not be opened, read or written.
class EInOutError : public Exception {
public:
    using Exception::Exception;
};

// Raised on purpose to end an operation quietly (a progress handler that cancels, for one).
class EAbort : public Exception {
public:
    EAbort() : Exception(std::string("Operation aborted")) {}
};

// Where errors that cannot be thrown to a caller go (a failed paint, for one). The application
// installs a reporter that shows a message box; without one the text goes to the log.
void ReportError(const QString &message);
void SetErrorReporter(std::function<void(const QString &)> reporter);

// The message for a file that cannot be opened or written, with the system's reason.
QString ioErrorMessage(const QString &action, const QString &path, const QString &reason);
