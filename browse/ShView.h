#pragma once
// The browsing pane's controls over the shell namespace. TFolderView: the tree of the
// namespace, rooted at the desktop, filled lazily (a node's sub-folders are read when it first
// opens; it shows an expand button only where the namespace says there are sub-folders).
// User-interface thread only.

#include "ShellNamespace.h"

#include <QComboBox>
#include <QPointer>
#include <QTreeWidget>

#include <functional>
#include <vector>

class TComboView;

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
    // Selects the node of an absolute list (opening the way to it), when there is one.
    void SelectIdList(PCItemIDList absolute);
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
    // The combo that follows the selection (set through TComboView::setFolderView).
    TComboView *comboView() const { return m_combo; }

private:
    void selectionChanged();
    void notifyLinked(QTreeWidgetItem *node);
    QTreeWidgetItem *addNode(QTreeWidgetItem *parent, TIdList id, const TShellFolder &folder);
    std::unique_ptr<TShellFolder> folderOf(const QTreeWidgetItem *node) const;

    friend class TComboView;
    QPointer<TComboView> m_combo;
    std::unique_ptr<TShellFolder> m_desktop;
    bool m_busy = false;
    QTreeWidgetItem *m_last = nullptr;
    QTreeWidgetItem *m_previous = nullptr;
};

// TComboView: the drop-down above the tree. Its fixed entries are the desktop, the desktop's
// folders and My Computer's; whenever the tree's selection changes the selected folder's
// missing ancestors are added as temporary entries, indented by their depth, and the folder's
// entry is selected. Picking an entry selects its node in the tree.
class TComboView : public QComboBox {
public:
    explicit TComboView(QWidget *parent = nullptr);

    // Links the tree both ways; null unlinks.
    void setFolderView(TFolderView *tree);
    TFolderView *folderView() const { return m_tree; }
    // The fixed entries anew; the desktop selected.
    void Rebuild();
    // The temporary entries of the last folder go; those of this one come, and it is selected.
    void ShowFolder(PCItemIDList absolute);

    struct Entry {
        QByteArray id; // the absolute list's bytes
        int level = 0;
        bool temporary = false;
    };
    const std::vector<Entry> &entries() const { return m_entries; }

private:
    void addEntry(int index, int level, PCItemIDList absolute);
    int insertPath(PCItemIDList absolute);
    QString nameOf(PCItemIDList absolute) const;

    QPointer<TFolderView> m_tree;
    std::unique_ptr<TShellFolder> m_desktop;
    std::vector<Entry> m_entries;
    bool m_building = false; // set once the fixed entries are made: later ones are temporary
};
