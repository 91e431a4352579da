#include "ShelfItem.h"

#include <algorithm>

namespace tavrenhold {

int ShelfItemModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_items.size());
}

QVariant ShelfItemModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.row() >= int(m_items.size()))
        return {};
    const ShelfItem &item = m_items[size_t(index.row())];
    switch (role) {
    case IdRole:
        return item.id.toString(QUuid::WithoutBraces);
    case Qt::DisplayRole:
    case NameRole:
        return item.name;
    case UrlRole:
        return item.url;
    case PathRole:
        return item.url.toLocalFile();
    case ByteSizeRole:
        return item.byteSize;
    case AddedAtRole:
        return item.addedAt;
    default:
        return {};
    }
}

QHash<int, QByteArray> ShelfItemModel::roleNames() const
{
    return {{IdRole, "itemId"},     {NameRole, "name"},         {UrlRole, "url"},
            {PathRole, "path"},     {ByteSizeRole, "byteSize"}, {AddedAtRole, "addedAt"}};
}

bool ShelfItemModel::assign(std::vector<ShelfItem> items)
{
    if (items == m_items)
        return false;
    const int before = count();
    // Rows that stay keep their place: remove the ones that left, then append the new ones, so
    // views move only what changed. Items are only ever appended or removed.
    for (int row = count() - 1; row >= 0; --row) {
        const QUuid id = m_items[size_t(row)].id;
        const bool stays = std::any_of(items.begin(), items.end(), [&](const ShelfItem &i) { return i.id == id; });
        if (!stays) {
            beginRemoveRows({}, row, row);
            m_items.erase(m_items.begin() + row);
            endRemoveRows();
        }
    }
    const bool prefixHolds = m_items.size() <= items.size() && std::equal(m_items.begin(), m_items.end(), items.begin());
    if (prefixHolds) {
        if (items.size() > m_items.size()) {
            beginInsertRows({}, count(), int(items.size()) - 1);
            m_items = std::move(items);
            endInsertRows();
        }
    } else {
        beginResetModel();
        m_items = std::move(items);
        endResetModel();
    }
    if (count() != before)
        Q_EMIT countChanged();
    return true;
}

} // namespace tavrenhold
