#pragma once
// The one way the program writes a file it means to keep: a private temporary file beside the
// target, written, synced, and renamed over the target by commit(). Until then the target is
// untouched; a TSafeFile that goes uncommitted (an exception, a cancel) removes its temporary
// file. An existing target keeps its permission bits (and its owner, where we may set it); a
// new file is 0600 when Private, else 0666 less the umask. A symbolic link as target is
// followed: the file it points to is replaced, the link stays a link.
//
// Failures throw EInOutError with ioErrorMessage(action, target, reason): createAction when the
// temporary file cannot be made, writeAction for writing, syncing and renaming.

#include <QIODevice>
#include <QString>

#include "Handles.h"

class TSafeFile : public QIODevice {
public:
    enum class Access { Private, Shared };
    TSafeFile(const QString &target, Access access, const QString &createAction = QStringLiteral("ﾌｧｲﾙを作成"),
              const QString &writeAction = QStringLiteral("ﾌｧｲﾙを保存"));
    ~TSafeFile() override;

    // The file that commit() replaces (the target with its links followed).
    QString fileName() const { return m_path; }
    // Writes all of it or throws.
    void writeAll(const char *data, qint64 size);
    void writeAll(const QByteArray &data) { writeAll(data.constData(), data.size()); }
    // Syncs, closes and renames into place. Throws; the target is then as it was.
    void commit();

    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override;

private:
    [[noreturn]] void fail(const QString &action, const QString &reason);

    QString m_target;
    QString m_path;
    QByteArray m_temp;
    QString m_writeAction;
    TFd m_fd;
    bool m_committed = false;
};
