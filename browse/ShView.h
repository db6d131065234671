#pragma once
// The browsing pane's controls over the shell namespace. TFolderView: the tree of the
// namespace, rooted at the desktop, filled lazily (a node's sub-folders are read when it first
// opens; it shows an expand button only where the namespace says there are sub-folders).
// User-interface thread only.

#include "ShellNamespace.h"

#include <QComboBox>
#include <QPointer>
#include <QTreeWidget>
#include <atomic>
#include <memory>

#include <functional>
#include <vector>

class TComboView;
class TFileView;

class TFolderView : public QTreeWidget {
public:
    explicit TFolderView(QWidget *parent = nullptr);
    ~TFolderView() override;

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
    // Selects the selected node's child of this relative id (a folder opened in the list).
    void SelectChild(PCItemIDList relative);
    // The list renamed a folder of the selected node: its child node follows.
    void ItemRenamed(PCItemIDList oldId, PCItemIDList newId);
    // The linked list could not read the selected folder: the node selected before is selected
    // again, once; if that cannot be read either, the nearest ancestor that can. Never a loop.
    void FolderFailed();
    // The linked list read the selected folder.
    void FolderListed();
    // Renames a node in place; false (and the old name back) when the namespace refuses.
    bool RenameNode(QTreeWidgetItem *node, const QString &name);
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
    // Links the file list both ways; null unlinks.
    void setFileView(TFileView *list);
    TFileView *fileView() const { return m_fileView; }

private:
    void selectionChanged();
    void notifyLinked(QTreeWidgetItem *node);
    QTreeWidgetItem *makeNode(TShellItem &item, const TShellFolder &folder, bool marked);
    void markLater(QTreeWidgetItem *node, const QString &path);
    void applyMarks(QTreeWidgetItem *node, int from, const std::vector<bool> &marks);
    std::unique_ptr<TShellFolder> folderOf(const QTreeWidgetItem *node) const;
    std::unique_ptr<TShellFolder> parentFolderOf(const QTreeWidgetItem *node) const;

    friend class TComboView;
    QPointer<TComboView> m_combo;
    QPointer<TFileView> m_fileView;
    bool m_retried = false; // the node selected before was tried after a listing failed
    std::unique_ptr<TShellFolder> m_desktop;
    bool m_busy = false;
    int m_epoch = 0; // a Rebuild makes every node anew: marks looked up before are dropped
    std::shared_ptr<std::atomic<bool>> m_stop = std::make_shared<std::atomic<bool>>(false);
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

protected:
    void paintEvent(QPaintEvent *event) override;
    void showPopup() override;

private:
    void ensureIcons();
    void addEntry(int index, int level, PCItemIDList absolute);
    int insertPath(PCItemIDList absolute);
    QString nameOf(PCItemIDList absolute, TIconKind *kind) const;

    QPointer<TFolderView> m_tree;
    std::unique_ptr<TShellFolder> m_desktop;
    std::vector<Entry> m_entries;
    bool m_building = false; // set once the fixed entries are made: later ones are temporary
};

#include "FileView.h"
