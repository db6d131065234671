#include "FileView.h"
#include "ShView.h"
#include "ShellIcons.h"
#include "UiPost.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QDesktopServices>
#include <QHeaderView>
#include <QKeyEvent>
#include <QListView>
#include <QMouseEvent>
#include <QStackedLayout>
#include <QStyledItemDelegate>
#include <QThreadPool>
#include <QTreeView>
#include <QUrl>

#include <algorithm>
#include <condition_variable>
#include <ctime>
#include <mutex>
#include <numeric>

int TFileView::ColumnSign[4] = {1, 1, 1, 1};

QString SizeText(int64_t size)
{
    return QString::asprintf("%8lldKB", static_cast<long long>(size / 1024 + 1));
}

QString DateText(int64_t secondsSinceEpoch)
{
    const time_t t = time_t(secondsSinceEpoch);
    struct tm local {};
    if (!localtime_r(&t, &local))
        return QString();
    return QString::asprintf("%02d/%02d/%02d %02d:%02d", local.tm_year % 100, local.tm_mon + 1, local.tm_mday,
                             local.tm_hour, local.tm_min);
}

bool MaskShows(const QStringList &mask, const QString &name, bool folder)
{
    if (mask.isEmpty() || folder)
        return true;
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return false;
    const QStringView extension = QStringView(name).mid(dot);
    // ASCII case only: "É" and "é" are different extensions, as they are to the file system.
    const auto asciiEqual = [](QStringView a, QStringView b) {
        if (a.size() != b.size())
            return false;
        for (qsizetype i = 0; i < a.size(); ++i) {
            char16_t x = a[i].unicode(), y = b[i].unicode();
            if (x >= 'A' && x <= 'Z')
                x = char16_t(x + 32);
            if (y >= 'A' && y <= 'Z')
                y = char16_t(y + 32);
            if (x != y)
                return false;
        }
        return true;
    };
    return std::any_of(mask.begin(), mask.end(), [&](const QString &m) { return asciiEqual(extension, m); });
}

// ---- the rows -------------------------------------------------------------------------------

namespace {

const char *const kCaptions[4] = {"名前", "ｻｲｽﾞ", "ﾌｧｲﾙの種類", "更新日時"};
const int kWidths[4] = {120, 60, 120, 120};
// A listing that takes longer than this is left to fill in when it is read.
constexpr int kWaitMs = 20;

struct TFileRow {
    TIdList id;
    QString name;
    int type = -1;
    TIconKind kind = TIconKind::File;
    bool folder = false, link = false, found = false;
    int64_t size = 0, mtime = 0;
    uint32_t rank = 0; // place in the namespace's order of names
};

} // namespace

class TFileModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    std::vector<TFileRow> rows;
    std::vector<TTypeNames::Type> types;
    std::vector<int> typeRank; // types in the order of their names
    bool readOnly = false;
    std::function<bool(int, const QString &)> rename;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(rows.size());
    }
    int columnCount(const QModelIndex &parent = QModelIndex()) const override { return parent.isValid() ? 0 : 4; }

    QString text(const TFileRow &r, int column) const
    {
        switch (column) {
        case 0:
            return r.name;
        case 1:
            return r.found ? SizeText(r.size) : QString();
        case 2:
            return r.type >= 0 && size_t(r.type) < types.size() ? types[size_t(r.type)].name : QString();
        case 3:
            return r.found ? DateText(r.mtime) : QString();
        default:
            return QString();
        }
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || size_t(index.row()) >= rows.size())
            return {};
        const TFileRow &r = rows[size_t(index.row())];
        switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return text(r, index.column());
        case Qt::DecorationRole:
            if (index.column() != 0)
                return {};
            if (r.kind != TIconKind::Folder && r.kind != TIconKind::File)
                return ShellIcons::NodeIcon(r.kind);
            if (r.type >= 0 && size_t(r.type) < types.size())
                return ShellIcons::TypeIcon(types[size_t(r.type)].iconName, types[size_t(r.type)].genericIconName,
                                            r.folder, r.link);
            return ShellIcons::TypeIcon(QString(), QString(), r.folder, r.link);
        case Qt::TextAlignmentRole:
            return index.column() == 1 ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
        default:
            return {};
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < 4)
            return QString::fromUtf8(kCaptions[section]);
        if (orientation == Qt::Horizontal && role == Qt::TextAlignmentRole && section == 1)
            return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        return QAbstractTableModel::headerData(section, orientation, role);
    }

    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        Qt::ItemFlags f = QAbstractTableModel::flags(index);
        if (index.isValid() && index.column() == 0 && !readOnly)
            f |= Qt::ItemIsEditable;
        return f;
    }

    bool setData(const QModelIndex &index, const QVariant &value, int role) override
    {
        if (role != Qt::EditRole || index.column() != 0 || !rename)
            return false;
        const bool ok = rename(index.row(), value.toString());
        emit dataChanged(index, index);
        return ok;
    }

    // The rows replaced are handed back: a large folder's are let go off this thread.
    std::vector<TFileRow> replace(std::vector<TFileRow> newRows, std::vector<TTypeNames::Type> newTypes)
    {
        beginResetModel();
        rows.swap(newRows);
        types = std::move(newTypes);
        rankTypes();
        endResetModel();
        return newRows;
    }

    int addType(const TTypeNames::Type &type)
    {
        for (size_t i = 0; i < types.size(); ++i)
            if (types[i].name == type.name && types[i].iconName == type.iconName && types[i].folder == type.folder)
                return int(i);
        types.push_back(type);
        rankTypes();
        return int(types.size() - 1);
    }

    void rankTypes()
    {
        std::vector<int> order(types.size());
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(), [this](int a, int b) {
            return QString::localeAwareCompare(types[size_t(a)].name, types[size_t(b)].name) < 0;
        });
        typeRank.assign(types.size(), 0);
        for (size_t i = 0; i < order.size(); ++i)
            typeRank[size_t(order[i])] = int(i);
    }

    // Reorders the rows by a comparison of two of them; the selection follows its items.
    template <typename Less> void sortRows(Less less)
    {
        emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        std::vector<uint32_t> order(rows.size());
        std::iota(order.begin(), order.end(), 0u);
        std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return less(rows[a], rows[b]); });
        std::vector<int> newRowOf(rows.size());
        std::vector<TFileRow> sorted;
        sorted.reserve(rows.size());
        for (size_t i = 0; i < order.size(); ++i) {
            newRowOf[order[i]] = int(i);
            sorted.push_back(std::move(rows[order[i]]));
        }
        rows.swap(sorted);
        const QModelIndexList before = persistentIndexList();
        QModelIndexList after;
        after.reserve(before.size());
        for (const QModelIndex &i : before)
            after.append(index(newRowOf[size_t(i.row())], i.column()));
        changePersistentIndexList(before, after);
        emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    }
};

// Every item of the icon and list views takes its grid cell: the views ask one item for its
// size (uniform sizes, for speed), and the first item's own would cut every longer name.
class TCellDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize cell;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        return cell.isValid() ? cell : QStyledItemDelegate::sizeHint(option, index);
    }
};

// ---- listing --------------------------------------------------------------------------------

struct TFileView::Job {
    // The list view's columns are as wide as the widest name: measuring every name would hold
    // the window up, so the few that look widest (a wide character counting twice) are measured.
    void findLongest()
    {
        std::vector<std::pair<int, uint32_t>> weights;
        weights.reserve(rows.size());
        for (uint32_t i = 0; i < rows.size(); ++i) {
            int w = 0;
            for (const QChar c : rows[i].name)
                w += c.unicode() >= 0x1100 ? 2 : 1;
            weights.emplace_back(w, i);
        }
        const size_t n = std::min<size_t>(weights.size(), 24);
        std::partial_sort(weights.begin(), weights.begin() + qsizetype(n), weights.end(),
                          [](const auto &a, const auto &b) { return a.first > b.first; });
        for (size_t i = 0; i < n; ++i)
            longest.append(rows[weights[i].second].name);
    }

    TIdList folderList;
    QStringList mask;
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable doneChanged;
    bool launched = false; // handed to a reading thread
    bool done = false;
    bool applied = false;
    bool ok = false;
    std::unique_ptr<TShellFolder> folder;
    std::vector<TFileRow> rows;
    std::vector<TTypeNames::Type> types;
    QStringList longest; // the names likely the widest

    // Off the user-interface thread: everything the rows show, read and sorted.
    void run()
    {
        const std::unique_ptr<TShellFolder> desktop = TShellFolder::Desktop();
        if (desktop)
            folder =
                IdListSize(folderList.get()) <= 2 ? TShellFolder::Desktop() : desktop->BindToObject(folderList.get());
        std::vector<TShellItem> items;
        ok = folder && folder->EnumItems(SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN,
                                         TShellFolder::kWantNames | TShellFolder::kWantDetails, items, &stop);
        if (ok) {
            items.erase(std::remove_if(items.begin(), items.end(),
                                       [&](const TShellItem &i) { return !MaskShows(mask, i.name, i.folder); }),
                        items.end());
            folder->SortItems(items);
            TTypeNames names;
            rows.reserve(items.size());
            const bool plain = !folder->Path().isEmpty(); // a file-system folder: no virtual items
            for (size_t i = 0; i < items.size(); ++i) {
                TShellItem &item = items[i];
                TFileRow row;
                row.kind =
                    plain ? (item.folder ? TIconKind::Folder : TIconKind::File) : folder->IconKindOf(item.id.get());
                row.type = names.Of(item.name, item.folder);
                row.folder = item.folder;
                row.link = item.link;
                row.found = item.found;
                row.size = item.size;
                row.mtime = item.mtime;
                row.rank = uint32_t(i);
                row.name = std::move(item.name);
                row.id = std::move(item.id);
                rows.push_back(std::move(row));
            }
            types = names.Types();
            findLongest();
        }
        const std::lock_guard<std::mutex> lock(mutex);
        done = true;
        doneChanged.notify_all();
    }
};

TFileView::TFileView(QWidget *parent) : QWidget(parent)
{
    resize(200, 200);
    InitUiPost();
    m_model = new TFileModel(this);
    m_model->rename = [this](int row, const QString &name) { return RenameItem(row, name); };
    m_selection = new QItemSelectionModel(m_model, this);

    m_icons = new QListView(this);
    m_details = new QTreeView(this);
    for (QAbstractItemView *view :
         {static_cast<QAbstractItemView *>(m_icons), static_cast<QAbstractItemView *>(m_details)}) {
        QItemSelectionModel *own = (view->setModel(m_model), view->selectionModel());
        view->setSelectionModel(m_selection);
        delete own;
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        view->setEditTriggers(QAbstractItemView::EditKeyPressed);
        view->installEventFilter(this);
        view->viewport()->installEventFilter(this);
        connect(view, &QAbstractItemView::clicked, this, [this] {
            if (OnClick)
                OnClick();
        });
        connect(view, &QAbstractItemView::doubleClicked, this, [this] { doubleClicked(); });
    }
    m_icons->setUniformItemSizes(true);
    m_cells = new TCellDelegate(m_icons);
    m_icons->setItemDelegate(m_cells);
    m_icons->setLayoutMode(QListView::Batched);
    m_icons->setBatchSize(2000);
    m_icons->setResizeMode(QListView::Adjust);
    m_icons->setMovement(QListView::Static);
    m_details->setRootIsDecorated(false);
    m_details->setItemsExpandable(false);
    m_details->setUniformRowHeights(true);
    m_details->setSortingEnabled(false);
    m_details->setAllColumnsShowFocus(true);
    QHeaderView *header = m_details->header();
    header->setSectionsClickable(true);
    header->setStretchLastSection(false);
    for (int c = 0; c < 4; ++c)
        header->resizeSection(c, kWidths[c]);
    connect(header, &QHeaderView::sectionClicked, this, [this](int column) { SortColumn(column); });

    m_stack = new QStackedLayout(this);
    m_stack->setContentsMargins(0, 0, 0, 0);
    m_stack->addWidget(m_icons);
    m_stack->addWidget(m_details);
    SetViewStyle(TViewStyle::vsIcon);
}

TFileView::~TFileView()
{
    if (m_job)
        m_job->stop.store(true);
    if (m_waitCursor)
        QApplication::restoreOverrideCursor();
}

void TFileView::SetViewStyle(TViewStyle style)
{
    m_style = style;
    if (style == TViewStyle::vsReport) {
        m_stack->setCurrentWidget(m_details);
        return;
    }
    const bool large = style == TViewStyle::vsIcon;
    m_icons->setViewMode(large ? QListView::IconMode : QListView::ListMode);
    m_icons->setIconSize(large ? QSize(32, 32) : QSize(16, 16));
    fitGrid();
    m_icons->setWordWrap(large);
    m_icons->setTextElideMode(large ? Qt::ElideMiddle : Qt::ElideRight);
    // Small icons run across and wrap; the list runs down in columns.
    m_icons->setFlow(style == TViewStyle::vsList ? QListView::TopToBottom : QListView::LeftToRight);
    m_icons->setWrapping(true);
    m_icons->setMovement(QListView::Static);
    m_icons->setResizeMode(QListView::Adjust);
    m_stack->setCurrentWidget(m_icons);
}

void TFileView::fitGrid()
{
    const QFontMetrics metrics(m_icons->font());
    QSize grid;
    if (m_style == TViewStyle::vsIcon) {
        // Two lines of name below the icon.
        grid = QSize(88, 32 + 8 + 2 * metrics.height());
    } else {
        int widest = 0;
        for (const QString &name : m_longest)
            widest = std::max(widest, metrics.horizontalAdvance(name));
        grid = QSize(std::clamp(widest + 16 + 14, 60, 320), std::max(18, metrics.height() + 3));
    }
    m_cells->cell = grid - QSize(4, 2);
    m_icons->setGridSize(grid);
}

void TFileView::SetRowSelect(bool on)
{
    m_details->setSelectionBehavior(on ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
}

void TFileView::SetGridLines(bool on)
{
    m_details->setStyleSheet(on ? QStringLiteral("QTreeView::item { border-bottom: 1px solid palette(mid); "
                                                 "border-right: 1px solid palette(mid); }")
                                : QString());
}

void TFileView::SetHotTrack(bool on)
{
    for (QAbstractItemView *view :
         {static_cast<QAbstractItemView *>(m_icons), static_cast<QAbstractItemView *>(m_details)})
        view->setMouseTracking(on), view->viewport()->setAttribute(Qt::WA_Hover, on);
}

void TFileView::SetReadOnly(bool on)
{
    m_model->readOnly = on;
}

QAbstractItemView *TFileView::currentView() const
{
    return m_style == TViewStyle::vsReport ? static_cast<QAbstractItemView *>(m_details) : m_icons;
}

void TFileView::SetMask(const QStringList *mask)
{
    if (mask)
        Mask = *mask;
}

PCItemIDList TFileView::FolderIdList() const
{
    return m_job ? m_job->folderList.get() : nullptr;
}

void TFileView::SetFolder(PCItemIDList absolute)
{
    if (!absolute)
        return;
    TIdList copy(IdListConcat(absolute, nullptr));
    if (!copy)
        return;
    if (m_job)
        m_job->stop.store(true);
    m_job = std::make_shared<Job>();
    m_job->folderList = std::move(copy);
    startFill();
}

void TFileView::Refresh()
{
    if (!m_job)
        return;
    TIdList copy(IdListConcat(m_job->folderList.get(), nullptr));
    if (!copy)
        return;
    m_job->stop.store(true);
    m_job = std::make_shared<Job>();
    m_job->folderList = std::move(copy);
    startFill();
}

void TFileView::startFill()
{
    m_job->mask = Mask;
    // A list not on screen is read when it comes on screen or is waited for: at start-up the
    // pane is closed, and the first picture has the second core to itself.
    if (!onScreen())
        return;
    launch(m_job);
    if (!WaitFilled(kWaitMs) && !m_waitCursor) {
        m_waitCursor = true;
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
}

void TFileView::launch(const std::shared_ptr<Job> &job)
{
    if (job->launched)
        return;
    job->launched = true;
    QPointer<TFileView> self(this);
    QThreadPool::globalInstance()->start([job, self] {
        job->run();
        PostToUi([self, job] {
            if (self)
                self->apply(job);
        });
    });
}

bool TFileView::onScreen() const
{
    // A closed pane keeps its controls visible, in no room at all.
    return isVisible() && !visibleRegion().isEmpty();
}

void TFileView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_job && !m_job->applied && onScreen())
        launch(m_job);
}

void TFileView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_job && !m_job->applied && onScreen())
        launch(m_job);
}

bool TFileView::Filling() const
{
    return m_job && !m_job->applied;
}

bool TFileView::WaitFilled(int ms)
{
    const std::shared_ptr<Job> job = m_job;
    if (!job || job->applied)
        return true;
    launch(job);
    {
        std::unique_lock<std::mutex> lock(job->mutex);
        const auto isDone = [&] { return job->done; };
        if (ms < 0)
            job->doneChanged.wait(lock, isDone);
        else if (!job->doneChanged.wait_for(lock, std::chrono::milliseconds(ms), isDone))
            return false;
    }
    apply(job);
    return true;
}

namespace {

// Freeing a hundred thousand rows takes a while; the window need not wait for it.
void letGo(std::vector<TFileRow> rows)
{
    if (rows.size() < 2000)
        return;
    auto old = std::make_shared<std::vector<TFileRow>>(std::move(rows));
    QThreadPool::globalInstance()->start([old]() mutable { old.reset(); });
}

} // namespace

void TFileView::apply(const std::shared_ptr<Job> &job)
{
    if (job != m_job || job->applied || job->stop.load())
        return;
    job->applied = true;
    if (m_waitCursor) {
        m_waitCursor = false;
        QApplication::restoreOverrideCursor();
    }
    if (!job->ok) {
        // Rows of another folder would give wrong paths under this one.
        letGo(m_model->replace({}, {}));
        if (m_tree)
            m_tree->FolderFailed();
    } else {
        std::fill(std::begin(ColumnSign), std::end(ColumnSign), 1);
        m_folder = std::move(job->folder);
        letGo(m_model->replace(std::move(job->rows), std::move(job->types)));
        m_longest = std::move(job->longest);
        if (m_style != TViewStyle::vsReport)
            fitGrid();
        if (m_tree)
            m_tree->FolderListed();
    }
    if (OnFilled)
        OnFilled();
}

// ---- reading the rows -----------------------------------------------------------------------

int TFileView::Count() const
{
    return int(m_model->rows.size());
}

QString TFileView::ItemText(int row, int column) const
{
    if (row < 0 || row >= Count())
        return QString();
    return m_model->text(m_model->rows[size_t(row)], column);
}

PCItemIDList TFileView::ItemData(int row) const
{
    return row >= 0 && row < Count() ? m_model->rows[size_t(row)].id.get() : nullptr;
}

bool TFileView::ItemIsLink(int row) const
{
    return row >= 0 && row < Count() && m_model->rows[size_t(row)].link;
}

QString TFileView::GetItemPath(int row) const
{
    const PCItemIDList id = ItemData(row);
    if (!m_folder || !id)
        return QString();
    return m_folder->GetDisplayNameOf(id, SHGDN_FORPARSING);
}

int TFileView::Selected() const
{
    const QModelIndex current = m_selection->currentIndex();
    if (current.isValid() && m_selection->isSelected(current))
        return current.row();
    const QModelIndexList rows = m_selection->selectedRows();
    if (!rows.isEmpty())
        return rows.first().row();
    const QModelIndexList cells = m_selection->selectedIndexes();
    return cells.isEmpty() ? -1 : cells.first().row();
}

void TFileView::SetSelected(int row)
{
    if (row < 0 || row >= Count()) {
        m_selection->clear();
        return;
    }
    m_selection->setCurrentIndex(m_model->index(row, 0),
                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

QString TFileView::GetSelectedPath() const
{
    return GetItemPath(Selected());
}

// ---- sorting, renaming, opening -------------------------------------------------------------

void TFileView::SortColumn(int column)
{
    if (column < 0 || column > 3)
        return;
    ColumnSign[column] = -ColumnSign[column];
    const int sign = ColumnSign[column];
    const auto byRank = [](const TFileRow &a, const TFileRow &b) { return a.rank < b.rank; };
    // A row without find data shows empty texts, which come before every other text.
    const auto timeOf = [](const TFileRow &r) { return r.found ? r.mtime : INT64_MIN; };
    const auto sizeOf = [](const TFileRow &r) { return r.found ? r.size : INT64_C(-1); };
    const auto typeOf = [this](const TFileRow &r) {
        return r.type >= 0 && size_t(r.type) < m_model->typeRank.size() ? m_model->typeRank[size_t(r.type)] : -1;
    };
    const auto by = [&](auto key) {
        m_model->sortRows([&](const TFileRow &a, const TFileRow &b) {
            const auto x = key(a), y = key(b);
            if (x != y)
                return sign > 0 ? x < y : y < x;
            return byRank(a, b);
        });
    };
    switch (column) {
    case 0:
        by([](const TFileRow &r) { return int64_t(r.rank); });
        break;
    case 1:
        by(sizeOf);
        break;
    case 2:
        by(typeOf);
        break;
    default:
        by(timeOf);
        break;
    }
    m_details->header()->setSortIndicatorShown(true);
    m_details->header()->setSortIndicator(column, sign > 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
}

bool TFileView::RenameItem(int row, const QString &name)
{
    if (!m_folder || row < 0 || row >= Count() || m_model->readOnly)
        return false;
    TFileRow &r = m_model->rows[size_t(row)];
    TIdList renamed = m_folder->SetNameOf(r.id.get(), name);
    if (!renamed)
        return false;
    if (m_tree && r.folder)
        m_tree->ItemRenamed(r.id.get(), renamed.get());
    r.id = std::move(renamed);
    r.name = m_folder->GetDisplayNameOf(r.id.get(), SHGDN_NORMAL);
    // The type follows the new extension.
    TTypeNames names;
    const int type = names.Of(r.name, r.folder);
    r.type = m_model->addType(names.Types()[size_t(type)]);
    return true;
}

void TFileView::doubleClicked()
{
    if (OnDblClick)
        OnDblClick();
    const int row = Selected();
    const PCItemIDList id = ItemData(row);
    if (!id || !m_folder)
        return;
    if (m_folder->GetAttributesOf(id, SFGAO_FOLDER | SFGAO_FILESYSANCESTOR) && m_tree) {
        m_tree->SelectChild(id);
    } else if (FileExecute) {
        const QString path = GetItemPath(row);
        if (path.startsWith(QLatin1Char('/')))
            QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    }
}

bool TFileView::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress && OnMouseDown &&
        (watched == m_icons->viewport() || watched == m_details->viewport())) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        OnMouseDown(mouse->button(), mouse->globalPosition().toPoint());
    } else if (event->type() == QEvent::KeyPress && OnKeyDown && (watched == m_icons || watched == m_details)) {
        const auto *key = static_cast<QKeyEvent *>(event);
        OnKeyDown(key->key(), key->modifiers());
    }
    return QWidget::eventFilter(watched, event);
}
