#pragma once
// The pictures and type names the browsing pane shows. Icons come from the desktop's theme
// where there is one and from the style's own pictures where there is none (a bare X server),
// so that every item has one.

#include "ShellNamespace.h"

#include <QHash>
#include <QIcon>
#include <QMimeDatabase>
#include <QString>

#include <vector>

namespace ShellIcons {
// The tree's and the combo's pictures; a folder's open picture is its Selected mode. UI thread.
QIcon NodeIcon(TIconKind kind);
// A file type's picture by its theme names, with the symbolic-link mark when link is set.
// Cached. UI thread.
QIcon TypeIcon(const QString &iconName, const QString &genericIconName, bool folder, bool link);
} // namespace ShellIcons

// File type names from the MIME database in the program's language, looked up once per
// extension. One object per thread.
class TTypeNames {
public:
    struct Type {
        QString name; // at most 80 characters
        QString iconName, genericIconName;
        bool folder = false;
    };
    // The index in Types() of a file's type.
    int Of(const QString &fileName, bool folder);
    const std::vector<Type> &Types() const { return m_types; }

private:
    int add(const QMimeType &mime, bool folder);
    QMimeDatabase m_db;
    QHash<QString, int> m_byKey;
    std::vector<Type> m_types;
    int m_folder = -1;
    QString m_lastKey;
    int m_lastIndex = -1;
};
