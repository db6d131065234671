#include "ShView.h"
#include "ShellIcons.h"
#include "UiPost.h"

#include <QApplication>
#include <QFileInfo>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QThreadPool>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Up to this many sub-folders are looked into at once; more, in the background.
constexpr size_t kMarkHere = 256;
constexpr size_t kMarkBatch = 512;

QByteArray bytesOf(PCItemIDList list)
{
    return QByteArray(reinterpret_cast<const char *>(list), qsizetype(IdListSize(list)));
}

// A node of the tree: its own item (relative to its parent), its name and its picture, held
// as they are rather than as variants, since a large folder makes thousands at once.
class TNode : public QTreeWidgetItem {
public:
    TNode(TIdList id, QString name, TIconKind kind) : m_name(std::move(name)), m_kind(kind), id(std::move(id))
    {
        setFlags(flags() | Qt::ItemIsEditable);
    }
    QVariant data(int column, int role) const override
    {
        if (column == 0 && (role == Qt::DisplayRole || role == Qt::EditRole)) {
            // A listed child's name is its item's bytes: read when first shown.
            if (m_name.isNull())
                m_name = ChildName(id.get());
            return m_name;
        }
        if (column == 0 && role == Qt::DecorationRole)
            return ShellIcons::NodeIcon(m_kind);
        return QTreeWidgetItem::data(column, role);
    }
    void setData(int column, int role, const QVariant &value) override
    {
        if (column == 0 && (role == Qt::DisplayRole || role == Qt::EditRole)) {
            m_name = value.toString();
            emitDataChanged();
            return;
        }
        QTreeWidgetItem::setData(column, role, value);
    }

private:
    mutable QString m_name;
    TIconKind m_kind;

public:
    TIdList id;
    bool filled = false; // its sub-folders have been read
};

TNode *nodeOf(QTreeWidgetItem *item)
{
    return static_cast<TNode *>(item);
}

// Busy while nodes change: no fill and no notification in between.
struct Busy {
    bool &flag;
    explicit Busy(bool &f) : flag(f) { flag = true; }
    ~Busy() { flag = false; }
};

// The tree's editor hands the new name to the namespace instead of writing it into the node.
class TRenameDelegate : public QStyledItemDelegate {
public:
    explicit TRenameDelegate(TFolderView *tree) : QStyledItemDelegate(tree), m_tree(tree) {}
    void setModelData(QWidget *editor, QAbstractItemModel *, const QModelIndex &index) const override
    {
        const QString text = editor->property("text").toString();
        QTreeWidgetItem *node = m_tree->itemFromIndex(index);
        if (node && text != node->text(0))
            m_tree->RenameNode(node, text);
    }

private:
    TFolderView *m_tree;
};

} // namespace

TFolderView::TFolderView(QWidget *parent) : QTreeWidget(parent), m_desktop(TShellFolder::Desktop())
{
    InitUiPost();
    resize(200, 200);
    setHeaderHidden(true);
    setColumnCount(1);
    setSortingEnabled(false);
    setRootIsDecorated(false);
    setEditTriggers(QAbstractItemView::EditKeyPressed);
    setItemDelegate(new TRenameDelegate(this));
    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem *node) { ExpandNode(node); });
    connect(this, &QTreeWidget::currentItemChanged, this, [this] { selectionChanged(); });
}

TFolderView::~TFolderView()
{
    m_stop->store(true);
}

PCItemIDList TFolderView::NodeData(const QTreeWidgetItem *node)
{
    return node ? static_cast<const TNode *>(node)->id.get() : nullptr;
}

TIdList TFolderView::NodeIdList(const QTreeWidgetItem *node) const
{
    std::vector<const QTreeWidgetItem *> chain;
    for (const QTreeWidgetItem *n = node; n; n = n->parent())
        chain.push_back(n);
    TIdList list(IdListAlloc(2));
    for (auto it = chain.rbegin(); it != chain.rend() && list; ++it)
        list.reset(IdListConcat(list.get(), NodeData(*it)));
    return list;
}

std::unique_ptr<TShellFolder> TFolderView::folderOf(const QTreeWidgetItem *node) const
{
    if (!node || !m_desktop)
        return nullptr;
    return m_desktop->BindToObject(NodeIdList(node).get());
}

QTreeWidgetItem *TFolderView::makeNode(TShellItem &item, const TShellFolder &folder, bool marked)
{
    const TIconKind kind = folder.IconKindOf(item.id.get());
    auto *node = new TNode(std::move(item.id), std::move(item.name), kind);
    node->setChildIndicatorPolicy(marked ? QTreeWidgetItem::ShowIndicator : QTreeWidgetItem::DontShowIndicator);
    return node;
}

void TFolderView::Rebuild()
{
    if (m_busy || !m_desktop)
        return;
    QTreeWidgetItem *root = nullptr;
    {
        const Busy busy(m_busy);
        clear();
        ++m_epoch;
        m_last = m_previous = nullptr;
        const TIdList empty(IdListAlloc(2));
        const QString name = m_desktop->GetDisplayNameOf(empty.get(), SHGDN_INFOLDER);
        root = new TNode(TIdList(IdListAlloc(2)), name, TIconKind::Desktop);
        addTopLevelItem(root);
        root->setFlags(root->flags() & ~Qt::ItemIsEditable); // the root keeps its name
        setCurrentItem(root);
    }
    ExpandNode(root);
    root->setExpanded(true);
    m_last = root;
    notifyLinked(root);
}

void TFolderView::ExpandNode(QTreeWidgetItem *node)
{
    if (m_busy || !node || !NodeData(node) || nodeOf(node)->filled)
        return;
    const std::unique_ptr<TShellFolder> folder = folderOf(node);
    std::vector<TShellItem> items;
    if (!folder || !folder->EnumItems(SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN, 0, items)) {
        if (m_last && m_last != node)
            setCurrentItem(m_last);
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    {
        const Busy busy(m_busy);
        folder->SortItems(items);
        // A large folder gets its nodes at once and their expand buttons as its sub-folders are
        // looked into off this thread; a small one is looked into here.
        // So does any folder while the tree is off screen (the closed pane at start-up).
        const bool offScreen = !isVisible() || visibleRegion().isEmpty();
        const bool later = (items.size() > kMarkHere || offScreen) && !folder->Path().isEmpty();
        QList<QTreeWidgetItem *> nodes;
        nodes.reserve(qsizetype(items.size()));
        for (TShellItem &item : items)
            nodes.append(makeNode(item, *folder, later || folder->GetAttributesOf(item.id.get(), SFGAO_HASSUBFOLDER)));
        node->addChildren(nodes);
        nodeOf(node)->filled = true;
        if (items.empty())
            node->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
        if (later)
            markLater(node, folder->Path());
    }
    QApplication::restoreOverrideCursor();
}

void TFolderView::markLater(QTreeWidgetItem *node, const QString &path)
{
    // The names from the nodes themselves, which own the items now.
    QStringList names;
    names.reserve(node->childCount());
    for (int i = 0; i < node->childCount(); ++i)
        names.append(ChildName(NodeData(node->child(i))));
    QPointer<TFolderView> self(this);
    const int epoch = m_epoch;
    const std::shared_ptr<std::atomic<bool>> stop = m_stop;
    QThreadPool::globalInstance()->start([self, node, epoch, stop, path, names] {
        std::vector<bool> marks;
        marks.reserve(size_t(names.size()));
        const auto post = [&](qsizetype from) {
            PostToUi([self, node, epoch, from, marks] {
                if (self && self->m_epoch == epoch)
                    self->applyMarks(node, int(from), marks);
            });
        };
        qsizetype from = 0;
        for (const QString &name : names) {
            if (stop->load())
                return;
            marks.push_back(HasSubFolder(path + QLatin1Char('/') + name));
            if (marks.size() == kMarkBatch) {
                post(from);
                from += qsizetype(marks.size());
                marks.clear();
            }
        }
        if (!marks.empty())
            post(from);
    });
}

void TFolderView::applyMarks(QTreeWidgetItem *node, int from, const std::vector<bool> &marks)
{
    for (size_t i = 0; i < marks.size() && from + int(i) < node->childCount(); ++i) {
        QTreeWidgetItem *child = node->child(from + int(i));
        if (!marks[i] && child->childCount() == 0)
            child->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
    }
}

QTreeWidgetItem *TFolderView::FindChild(QTreeWidgetItem *node, PCItemIDList relative)
{
    if (!node || !NodeData(node) || !relative)
        return nullptr;
    const std::unique_ptr<TShellFolder> folder = folderOf(node);
    if (!folder)
        return nullptr;
    ExpandNode(node);
    for (int i = 0; i < node->childCount(); ++i)
        if (CompareItems(*folder, NodeData(node->child(i)), relative) == 0)
            return node->child(i);
    return nullptr;
}

QTreeWidgetItem *TFolderView::FindNode(PCItemIDList absolute)
{
    QTreeWidgetItem *node = topLevelItem(0);
    if (!node || !absolute)
        return nullptr;
    ExpandNode(node);
    for (PCItemIDList rest = absolute; node && IdListSize(rest) > 2;) {
        const TIdList first(IdListCopyFirst(rest));
        node = FindChild(node, first.get());
        rest += IdListSize(first.get()) - 2;
    }
    return node;
}

void TFolderView::SetCurrentPath(const QString &path)
{
    if (!m_desktop)
        return;
    const TIdList list = m_desktop->ParseDisplayName(path);
    if (list)
        SelectIdList(list.get());
}

void TFolderView::SelectIdList(PCItemIDList absolute)
{
    if (QTreeWidgetItem *node = FindNode(absolute)) {
        for (QTreeWidgetItem *p = node->parent(); p; p = p->parent())
            p->setExpanded(true);
        setCurrentItem(node);
    }
}

void TFolderView::SelectChild(PCItemIDList relative)
{
    if (QTreeWidgetItem *node = FindChild(currentItem(), relative)) {
        currentItem()->setExpanded(true);
        setCurrentItem(node);
    }
}

void TFolderView::setFileView(TFileView *list)
{
    if (m_fileView)
        m_fileView->m_tree = nullptr;
    m_fileView = list;
    if (list)
        list->m_tree = this;
}

void TFolderView::FolderListed()
{
    m_retried = false;
}

void TFolderView::FolderFailed()
{
    QTreeWidgetItem *failed = currentItem();
    if (!failed)
        return;
    if (!m_retried && m_previous && m_previous != failed) {
        m_retried = true;
        setCurrentItem(m_previous);
        return;
    }
    // Up from the folder that failed: the root (the desktop) can always be listed.
    QTreeWidgetItem *up = failed->parent();
    while (up && up->parent() &&
           !QFileInfo(m_desktop->GetDisplayNameOf(NodeIdList(up).get(), SHGDN_FORPARSING)).isReadable())
        up = up->parent();
    if (up)
        setCurrentItem(up);
}

std::unique_ptr<TShellFolder> TFolderView::parentFolderOf(const QTreeWidgetItem *node) const
{
    if (!node || !node->parent())
        return nullptr;
    return folderOf(node->parent());
}

bool TFolderView::RenameNode(QTreeWidgetItem *node, const QString &name)
{
    const std::unique_ptr<TShellFolder> parent = parentFolderOf(node);
    if (!parent || !NodeData(node))
        return false;
    TIdList renamed = parent->SetNameOf(NodeData(node), name);
    const bool ok = bool(renamed);
    {
        const Busy busy(m_busy);
        if (ok)
            nodeOf(node)->id = std::move(renamed);
        node->setText(0, parent->GetDisplayNameOf(NodeData(node), SHGDN_NORMAL));
    }
    if (ok && m_combo && currentItem())
        m_combo->ShowFolder(NodeIdList(currentItem()).get());
    return ok;
}

void TFolderView::ItemRenamed(PCItemIDList oldId, PCItemIDList newId)
{
    QTreeWidgetItem *node = FindChild(currentItem(), oldId);
    if (!node)
        return;
    const std::unique_ptr<TShellFolder> parent = folderOf(currentItem());
    TIdList first(IdListCopyFirst(newId));
    if (!parent || !first)
        return;
    {
        const Busy busy(m_busy);
        node->setText(0, parent->GetDisplayNameOf(first.get(), SHGDN_NORMAL));
        nodeOf(node)->id = std::move(first);
    }
    if (m_combo && currentItem())
        m_combo->ShowFolder(NodeIdList(currentItem()).get());
}

QString TFolderView::GetCurrentPath() const
{
    const QTreeWidgetItem *node = currentItem();
    if (!node || !m_desktop)
        return QString();
    return m_desktop->GetDisplayNameOf(NodeIdList(node).get(), SHGDN_FORPARSING);
}

void TFolderView::selectionChanged()
{
    if (m_busy)
        return;
    if (OnChange)
        OnChange();
    QTreeWidgetItem *node = currentItem();
    if (node != m_last) {
        m_previous = m_last;
        m_last = node;
    }
    notifyLinked(node);
}

void TFolderView::notifyLinked(QTreeWidgetItem *node)
{
    if (!node || m_busy)
        return;
    const TIdList list = NodeIdList(node);
    if (OnFolderSelected)
        OnFolderSelected(list.get());
    if (m_fileView)
        m_fileView->SetFolder(list.get());
    // A folder the list could not read has moved the selection on already.
    if (currentItem() != node)
        return;
    if (m_combo)
        m_combo->ShowFolder(list.get());
}

// ---- TComboView ------------------------------------------------------------------------------

namespace {

constexpr int kLevelRole = Qt::UserRole + 1;
constexpr int kKindRole = Qt::UserRole + 2;

// The drop-down list indents each entry by its depth; the closed field shows the name alone.
class TComboDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem o = option;
        o.rect.setLeft(o.rect.left() + index.data(kLevelRole).toInt() * 10);
        QStyledItemDelegate::paint(painter, o, index);
    }
};

} // namespace

TComboView::TComboView(QWidget *parent) : QComboBox(parent), m_desktop(TShellFolder::Desktop())
{
    setMaxVisibleItems(8);
    resize(200, height());
    setItemDelegate(new TComboDelegate(this));
    connect(this, &QComboBox::activated, this, [this](int index) {
        if (m_tree && index >= 0 && size_t(index) < m_entries.size())
            m_tree->SelectIdList(reinterpret_cast<PCItemIDList>(m_entries[size_t(index)].id.constData()));
    });
}

void TComboView::ensureIcons()
{
    // Pictures come from the icon theme, which takes a while to load the first time: only once
    // the combo is painted or opened, never while the window starts with the pane closed.
    for (int i = 0; i < count(); ++i)
        if (itemIcon(i).isNull())
            setItemIcon(i, ShellIcons::NodeIcon(TIconKind(itemData(i, kKindRole).toInt())));
}

void TComboView::paintEvent(QPaintEvent *event)
{
    ensureIcons();
    QComboBox::paintEvent(event);
}

void TComboView::showPopup()
{
    ensureIcons();
    QComboBox::showPopup();
}

void TComboView::setFolderView(TFolderView *tree)
{
    if (m_tree)
        m_tree->m_combo = nullptr;
    m_tree = tree;
    if (tree)
        tree->m_combo = this;
}

QString TComboView::nameOf(PCItemIDList absolute, TIconKind *kind) const
{
    const TItemInFolder split = SplitIdList(absolute);
    if (!split.folder)
        return QString();
    *kind = split.folder->IconKindOf(split.item.get());
    return split.folder->GetDisplayNameOf(split.item.get(), SHGDN_INFOLDER);
}

void TComboView::addEntry(int index, int level, PCItemIDList absolute)
{
    Entry e{bytesOf(absolute), level, m_building};
    TIconKind kind = TIconKind::Folder;
    const QString name = nameOf(absolute, &kind);
    insertItem(index, name);
    setItemData(index, int(kind), kKindRole);
    setItemData(index, level, kLevelRole);
    m_entries.insert(m_entries.begin() + index, std::move(e));
}

int TComboView::insertPath(PCItemIDList absolute)
{
    const auto idAt = [this](size_t i) { return reinterpret_cast<PCItemIDList>(m_entries[i].id.constData()); };
    int level = 1, position = 1;
    size_t start = 1;
    TIdList prefix(IdListAlloc(2));
    for (PCItemIDList rest = absolute; prefix && IdListSize(rest) > 2;) {
        const TIdList first(IdListCopyFirst(rest));
        rest += IdListSize(first.get()) - 2;
        prefix.reset(IdListConcat(prefix.get(), first.get()));
        bool found = false;
        for (size_t i = start; i < m_entries.size(); ++i) {
            if (m_entries[i].level != level)
                continue;
            const int c = m_desktop->CompareIDs(idAt(i), prefix.get());
            if (c == 0) {
                position = int(i) + 1;
                start = i + 1;
                found = true;
                break;
            }
            if (c < 0)
                position = int(i) + 1;
        }
        if (!found) {
            addEntry(position, level, prefix.get());
            ++position;
            start = size_t(position);
        }
        ++level;
    }
    return position - 1;
}

void TComboView::Rebuild()
{
    if (!m_desktop)
        return;
    m_building = false;
    clear();
    m_entries.clear();
    const TIdList desktop(IdListAlloc(2));
    addEntry(0, 0, desktop.get());
    std::vector<TIdList> ids;
    if (m_desktop->EnumObjects(SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN, ids))
        for (const TIdList &id : ids)
            insertPath(id.get());
    // My Computer's own folders (the root and the media) are fixed too; the root's route
    // starts with My Computer.
    const TIdList computerId(IdListCopyFirst(TIdList(m_desktop->ParseDisplayName(QStringLiteral("/"))).get()));
    if (const std::unique_ptr<TShellFolder> computer = m_desktop->BindToObject(computerId.get())) {
        std::vector<TIdList> drives;
        if (computer->EnumObjects(SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN, drives))
            for (const TIdList &d : drives)
                insertPath(TIdList(IdListConcat(computerId.get(), d.get())).get());
    }
    m_building = true;
    setCurrentIndex(0);
}

void TComboView::ShowFolder(PCItemIDList absolute)
{
    if (!absolute || !m_desktop)
        return;
    for (size_t i = m_entries.size(); i-- > 0;)
        if (m_entries[i].temporary) {
            removeItem(int(i));
            m_entries.erase(m_entries.begin() + qsizetype(i));
        }
    const TIdList desktop(IdListAlloc(2));
    setCurrentIndex(m_desktop->CompareIDs(absolute, desktop.get()) == 0 ? 0 : insertPath(absolute));
}
