#include "ShellIcons.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>

namespace {

QIcon standard(QStyle::StandardPixmap which)
{
    return QApplication::style()->standardIcon(which);
}

QIcon withOpenPicture(const QIcon &closed, const QIcon &open)
{
    QIcon icon;
    for (const int size : {16, 32}) {
        icon.addPixmap(closed.pixmap(size), QIcon::Normal);
        icon.addPixmap(open.pixmap(size), QIcon::Selected);
    }
    return icon;
}

// The mark of a symbolic link: a small white box with a bent arrow, at the lower left.
QIcon withLinkMark(const QIcon &base)
{
    QIcon icon;
    for (const int size : {16, 32, 48}) {
        QPixmap pixmap = base.pixmap(size);
        if (pixmap.isNull())
            continue;
        const qreal s = pixmap.width() / pixmap.devicePixelRatio();
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal box = qMax<qreal>(7, s * 0.45);
        const QRectF r(0.5, s - box - 0.5, box, box);
        p.setPen(QPen(Qt::black, qMax<qreal>(1, s / 24)));
        p.setBrush(Qt::white);
        p.drawRect(r);
        QPainterPath arrow;
        arrow.moveTo(r.left() + box * 0.25, r.bottom() - box * 0.2);
        arrow.quadTo(r.left() + box * 0.25, r.top() + box * 0.35, r.right() - box * 0.25, r.top() + box * 0.35);
        p.setBrush(Qt::NoBrush);
        p.drawPath(arrow);
        QPolygonF head;
        head << QPointF(r.right() - box * 0.15, r.top() + box * 0.35)
             << QPointF(r.right() - box * 0.4, r.top() + box * 0.12)
             << QPointF(r.right() - box * 0.4, r.top() + box * 0.58);
        p.setBrush(Qt::black);
        p.drawPolygon(head);
        icon.addPixmap(pixmap);
    }
    return icon;
}

// A picture file where the desktop has no picture for it: a sheet with a sky, a sun and a hill.
QIcon drawnPictureIcon()
{
    QIcon icon;
    for (const int size : {16, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal m = size / 16.0;
        const QRectF sheet(1.5 * m, 2.5 * m, 13 * m, 11 * m);
        p.setPen(QPen(QColor(90, 90, 90), qMax<qreal>(1, m * 0.8)));
        p.setBrush(QColor(150, 200, 245));
        p.drawRect(sheet);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(250, 210, 60));
        p.drawEllipse(QPointF(5 * m, 6 * m), 1.6 * m, 1.6 * m);
        p.setBrush(QColor(70, 150, 70));
        QPainterPath hill;
        hill.moveTo(sheet.bottomLeft());
        hill.lineTo(sheet.left(), 11 * m);
        hill.quadTo(7 * m, 6.5 * m, sheet.right(), 10.5 * m);
        hill.lineTo(sheet.bottomRight());
        hill.closeSubpath();
        p.drawPath(hill);
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace

QIcon ShellIcons::NodeIcon(TIconKind kind)
{
    static QHash<int, QIcon> cache;
    const auto found = cache.constFind(int(kind));
    if (found != cache.constEnd())
        return *found;
    QIcon icon;
    switch (kind) {
    case TIconKind::Desktop:
        icon = standard(QStyle::SP_DesktopIcon);
        break;
    case TIconKind::Computer:
        icon = standard(QStyle::SP_ComputerIcon);
        break;
    case TIconKind::Home:
        icon = standard(QStyle::SP_DirHomeIcon);
        break;
    case TIconKind::Drive:
        icon = standard(QStyle::SP_DriveHDIcon);
        break;
    case TIconKind::Folder:
        icon = withOpenPicture(standard(QStyle::SP_DirClosedIcon), standard(QStyle::SP_DirOpenIcon));
        break;
    case TIconKind::File:
        icon = standard(QStyle::SP_FileIcon);
        break;
    }
    cache.insert(int(kind), icon);
    return icon;
}

QIcon ShellIcons::TypeIcon(const QString &iconName, const QString &genericIconName, bool folder, bool link)
{
    static QHash<QString, QIcon> cache;
    const QString key = iconName + QLatin1Char('\n') + QLatin1Char(folder ? 'd' : 'f') + QLatin1Char(link ? 'l' : '-');
    const auto found = cache.constFind(key);
    if (found != cache.constEnd())
        return *found;
    QIcon icon = folder ? standard(QStyle::SP_DirIcon) : QIcon::fromTheme(iconName);
    if (icon.isNull())
        icon = QIcon::fromTheme(genericIconName);
    if (icon.isNull() && genericIconName == QLatin1String("image-x-generic"))
        icon = drawnPictureIcon();
    if (icon.isNull())
        icon = standard(QStyle::SP_FileIcon);
    if (link)
        icon = withLinkMark(icon);
    cache.insert(key, icon);
    return icon;
}

int TTypeNames::add(const QMimeType &mime, bool folder)
{
    m_types.push_back(Type{mime.comment().left(80), mime.iconName(), mime.genericIconName(), folder});
    return int(m_types.size() - 1);
}

int TTypeNames::Of(const QString &fileName, bool folder)
{
    if (folder) {
        if (m_folder < 0)
            m_folder = add(m_db.mimeTypeForName(QStringLiteral("inode/directory")), true);
        return m_folder;
    }
    // The last two extensions decide ("x.tar.gz"); names that differ only before them share
    // one lookup.
    const qsizetype last = fileName.lastIndexOf(QLatin1Char('.'));
    const qsizetype before = last > 0 ? fileName.lastIndexOf(QLatin1Char('.'), last - 1) : -1;
    const QStringView view = last < 0 ? QStringView() : QStringView(fileName).mid(before >= 0 ? before : last);
    // Sorted names mostly share their extension with the one before.
    if (m_lastIndex >= 0 && view == m_lastKey)
        return m_lastIndex;
    const QString key = view.toString();
    auto found = m_byKey.constFind(key);
    if (found == m_byKey.constEnd())
        found = m_byKey.insert(key,
                               add(m_db.mimeTypeForFile(QLatin1Char('x') + key, QMimeDatabase::MatchExtension), false));
    m_lastKey = key;
    m_lastIndex = *found;
    return m_lastIndex;
}

QString GetItemName(const TShellFolder &folder, PCItemIDList id, uint32_t flags, bool *ok)
{
    const QString name = id ? folder.GetDisplayNameOf(id, flags) : QString();
    if (ok)
        *ok = !name.isEmpty();
    return name;
}

QIcon GetItemIcon(PCItemIDList absolute, uint32_t flags)
{
    const TItemInFolder split = SplitIdList(absolute);
    if (!split.folder)
        return QIcon();
    const TIconKind kind = split.folder->IconKindOf(split.item.get());
    const QIcon icon = ShellIcons::NodeIcon(kind);
    if (flags == SHGFI_SMALLOPEN_INDEX && kind == TIconKind::Folder) {
        QIcon open;
        open.addPixmap(icon.pixmap(16, QIcon::Selected));
        return open;
    }
    return icon;
}

int CompareItems(const TShellFolder &folder, PCItemIDList a, PCItemIDList b)
{
    if (!a || !b)
        return -1;
    return folder.CompareIDs(a, b);
}
