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

// The unit's own helpers over the namespace.
enum : uint32_t {
    SHGFI_SMALLICON_INDEX = 0x4001, // the small icon
    SHGFI_SMALLOPEN_INDEX = 0x4003, // the small open icon
    SHGFI_LARGEICON_INDEX = 0x4100, // the large icon
};
// An item's name in a folder (SHGDN_* flags); empty, and ok false, when it has none.
QString GetItemName(const TShellFolder &folder, PCItemIDList id, uint32_t flags, bool *ok = nullptr);
// The picture of an absolute list's item; the open picture with SHGFI_SMALLOPEN_INDEX.
QIcon GetItemIcon(PCItemIDList absolute, uint32_t flags);
// CompareIDs of a folder on two ids: negative, zero or positive; -1 when either is missing.
int CompareItems(const TShellFolder &folder, PCItemIDList a, PCItemIDList b);

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
