#pragma once
// The browsing pane's controls over the shell namespace. TFolderView: the tree of the
// namespace, rooted at the desktop, filled lazily (a node's sub-folders are read when it first
// opens; it shows an expand button only where the namespace says there are sub-folders).
// User-interface thread only.

#include "ShellNamespace.h"

#include <QTreeWidget>

#include <functional>

class TFolderView : public QTreeWidget {
public:
    explicit TFolderView(QWidget *parent = nullptr);

    // Refills the tree from the desktop: the root, selected and opened one level.
    void Rebuild();
    // Reads a node's sub-folders once. Nothing for a node that was read already.
    void ExpandNode(QTreeWidgetItem *node);
    // The node of a relative id among node's children (the node is read first), or null.
    QTreeWidgetItem *FindChild(QTreeWidgetItem *node, PCItemIDList relative);
    // The node of an absolute list, walking from the root; null when a step finds nothing.
    QTreeWidgetItem *FindNode(PCItemIDList absolute);
    // Selects the folder of a full path; nothing changes for a path the namespace does not know.
    void SetCurrentPath(const QString &path);
    // The parsing name of the selected node (a full path for file-system folders); empty when
    // nothing is selected.
    QString GetCurrentPath() const;
    // A node's absolute list (the root's, then each ancestor's item, then its own).
    TIdList NodeIdList(const QTreeWidgetItem *node) const;
    // The node's own item (relative to its parent), as it was read.
    static PCItemIDList NodeData(const QTreeWidgetItem *node);

    // Runs after the selection changed (the linked controls are told after it).
    std::function<void()> OnChange;
    // The linked controls' side of a selection change, with the new folder's absolute list.
    std::function<void(PCItemIDList folder)> OnFolderSelected;

private:
    void selectionChanged();
    void notifyLinked(QTreeWidgetItem *node);
    QTreeWidgetItem *addNode(QTreeWidgetItem *parent, TIdList id, const TShellFolder &folder);
    std::unique_ptr<TShellFolder> folderOf(const QTreeWidgetItem *node) const;

    std::unique_ptr<TShellFolder> m_desktop;
    bool m_busy = false;
    QTreeWidgetItem *m_last = nullptr;
    QTreeWidgetItem *m_previous = nullptr;
};
