#pragma once
// TFileView: the items of one folder of the namespace in four columns (name, size, type,
// date), as large icons, small icons, a list or details. A folder is listed off the
// user-interface thread: a small one is in place when Refresh returns, a large one fills in
// when it has been read, and the window stays responsive meanwhile. User-interface thread only.

#include "ShellNamespace.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>

class QAbstractItemView;
class QItemSelectionModel;
class QListView;
class QStackedLayout;
class QTreeView;
class TFolderView;
class TFileModel;
class TCellDelegate;

enum class TViewStyle { vsIcon, vsSmallIcon, vsList, vsReport };

// The size column: n = size div 1024 + 1 kilobytes, right-aligned in eight characters.
QString SizeText(int64_t size);
// The date column: the local time as "yy/mm/dd hh:nn".
QString DateText(int64_t secondsSinceEpoch);
// Whether a listing with this mask shows an item: every item with an empty mask, every folder,
// and a file whose extension (from its name's last dot, the dot included) equals one of the
// mask's, ignoring ASCII case. Names themselves compare exactly elsewhere.
bool MaskShows(const QStringList &mask, const QString &name, bool folder);

class TFileView : public QWidget {
public:
    explicit TFileView(QWidget *parent = nullptr);
    ~TFileView() override;

    // Shows the folder of an absolute list and lists it; null is ignored.
    void SetFolder(PCItemIDList absolute);
    // Lists the shown folder anew, sorted by name. On return a list on screen is filled, unless
    // reading takes longer than a moment; then it fills when the folder has been read. A hidden
    // list is read when it is shown or waited for (Filling() until it is filled).
    void Refresh();
    bool Filling() const;
    // Waits for a fill in progress (ms < 0: as long as it takes); true when none is left.
    bool WaitFilled(int ms = -1);

    // The items in display order.
    int Count() const;
    // Columns: 0 name, 1 size text, 2 type name, 3 date text.
    QString ItemText(int row, int column) const;
    PCItemIDList ItemData(int row) const;
    bool ItemIsLink(int row) const;
    // The item's full path (its parsing name); empty without a folder or an item.
    QString GetItemPath(int row) const;
    QString GetSelectedPath() const;
    // The current item's row, -1 when none.
    int Selected() const;
    void SetSelected(int row);
    // The shown folder's absolute list (null before the first SetFolder).
    PCItemIDList FolderIdList() const;

    // Extensions with their leading dot (".jpg"); the list is not refilled by this.
    QStringList Mask;
    void SetMask(const QStringList *mask);
    // A double click on a file runs it with the desktop's application.
    bool FileExecute = true;

    void SetViewStyle(TViewStyle style);
    TViewStyle ViewStyle() const { return m_style; }
    void SetRowSelect(bool on);
    void SetGridLines(bool on);
    void SetHotTrack(bool on);
    void SetReadOnly(bool on);

    // What a click on a column's header does: the column's sign turns, then the list is sorted
    // by that column (name: the namespace's order; size by number; type by its name; date by
    // time), each comparison times the sign.
    void SortColumn(int column);
    // One sign per column, shared by every file list; each Refresh sets them all to +1.
    static int ColumnSign[4];

    // Runs after a rename in place: false restores the old name.
    bool RenameItem(int row, const QString &name);

    // The tree this list belongs to (set through TFolderView::setFileView).
    TFolderView *folderView() const { return m_tree; }
    // The view on show (the details view or the icon and list view).
    QAbstractItemView *currentView() const;

    std::function<void()> OnClick, OnDblClick;
    std::function<void(int key, Qt::KeyboardModifiers modifiers)> OnKeyDown;
    std::function<void(Qt::MouseButton button, QPoint globalPos)> OnMouseDown;
    // After each fill, with the folder listed (or failed to list).
    std::function<void()> OnFilled;

private:
    struct Job;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void startFill();
    void launch(const std::shared_ptr<Job> &job);
    bool onScreen() const;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void apply(const std::shared_ptr<Job> &job);
    void doubleClicked();
    void fitGrid();

    friend class TFolderView;
    QPointer<TFolderView> m_tree;
    std::unique_ptr<TShellFolder> m_folder; // the folder the rows are of
    TFileModel *m_model = nullptr;
    QItemSelectionModel *m_selection = nullptr;
    QStackedLayout *m_stack = nullptr;
    QListView *m_icons = nullptr;
    TCellDelegate *m_cells = nullptr;
    QTreeView *m_details = nullptr;
    TViewStyle m_style = TViewStyle::vsIcon;
    std::shared_ptr<Job> m_job;
    QStringList m_longest; // the names that decide the list view's column width
    bool m_waitCursor = false;
};
