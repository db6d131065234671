#include "ShView.h"

#include <QApplication>
#include <QHeaderView>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Each node keeps its own item: the bytes of a one-item list, terminator included.
constexpr int kIdRole = Qt::UserRole + 1;
constexpr int kFilledRole = Qt::UserRole + 2;

QByteArray bytesOf(PCItemIDList list)
{
    return QByteArray(reinterpret_cast<const char *>(list), qsizetype(IdListSize(list)));
}

// Busy while nodes change: no fill and no notification in between.
struct Busy {
    bool &flag;
    explicit Busy(bool &f) : flag(f) { flag = true; }
    ~Busy() { flag = false; }
};

} // namespace

TFolderView::TFolderView(QWidget *parent) : QTreeWidget(parent), m_desktop(TShellFolder::Desktop())
{
    resize(200, 200);
    setHeaderHidden(true);
    setColumnCount(1);
    setSortingEnabled(false);
    setRootIsDecorated(false);
    setEditTriggers(QAbstractItemView::EditKeyPressed);
    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem *node) { ExpandNode(node); });
    connect(this, &QTreeWidget::currentItemChanged, this, [this] { selectionChanged(); });
}

PCItemIDList TFolderView::NodeData(const QTreeWidgetItem *node)
{
    if (!node)
        return nullptr;
    const QVariant v = node->data(0, kIdRole);
    if (!v.isValid())
        return nullptr;
    return reinterpret_cast<PCItemIDList>(static_cast<const QByteArray *>(v.constData())->constData());
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

QTreeWidgetItem *TFolderView::addNode(QTreeWidgetItem *parent, TIdList id, const TShellFolder &folder)
{
    auto *node = new QTreeWidgetItem(parent);
    node->setText(0, folder.GetDisplayNameOf(id.get(), SHGDN_INFOLDER));
    node->setData(0, kIdRole, bytesOf(id.get()));
    if (folder.GetAttributesOf(id.get(), SFGAO_HASSUBFOLDER))
        node->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    else
        node->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
    node->setFlags(node->flags() | Qt::ItemIsEditable);
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
        m_last = m_previous = nullptr;
        const TIdList empty(IdListAlloc(2));
        root = new QTreeWidgetItem(this);
        root->setText(0, m_desktop->GetDisplayNameOf(empty.get(), SHGDN_INFOLDER));
        root->setData(0, kIdRole, bytesOf(empty.get()));
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
    if (m_busy || !node || !NodeData(node) || node->data(0, kFilledRole).toBool())
        return;
    const std::unique_ptr<TShellFolder> folder = folderOf(node);
    std::vector<TIdList> ids;
    if (!folder || !folder->EnumObjects(SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN, ids)) {
        if (m_last && m_last != node)
            setCurrentItem(m_last);
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    {
        const Busy busy(m_busy);
        std::sort(ids.begin(), ids.end(),
                  [&](const TIdList &a, const TIdList &b) { return folder->CompareIDs(a.get(), b.get()) < 0; });
        for (TIdList &id : ids)
            addNode(node, std::move(id), *folder);
        node->setData(0, kFilledRole, true);
        if (ids.empty())
            node->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
    }
    QApplication::restoreOverrideCursor();
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
        if (folder->CompareIDs(NodeData(node->child(i)), relative) == 0)
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
    if (!list)
        return;
    if (QTreeWidgetItem *node = FindNode(list.get())) {
        for (QTreeWidgetItem *p = node->parent(); p; p = p->parent())
            p->setExpanded(true);
        setCurrentItem(node);
    }
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
    if (!node || m_busy || !OnFolderSelected)
        return;
    const TIdList list = NodeIdList(node);
    OnFolderSelected(list.get());
}
