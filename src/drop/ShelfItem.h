#pragma once

#include <QAbstractListModel>
#include <QDateTime>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <vector>

namespace tavrenhold {

// One parked entry of the shelf.
struct ShelfItem {
    QUuid id;
    QString name;    // the dropped file's own name
    QUrl url;        // the copy inside the shelf folder
    qint64 byteSize = 0;
    QDateTime addedAt;
    bool operator==(const ShelfItem &) const = default;
};

// The shelf's items for the views, oldest first.
class ShelfItemModel final : public QAbstractListModel {
    Q_OBJECT
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    enum Role { IdRole = Qt::UserRole + 1, NameRole, UrlRole, PathRole, ByteSizeRole, AddedAtRole };

    using QAbstractListModel::QAbstractListModel;

    [[nodiscard]] int rowCount(const QModelIndex &parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex &index, int role) const override;
    [[nodiscard]] QHash<int, QByteArray> roleNames() const override;

    [[nodiscard]] int count() const { return int(m_items.size()); }
    [[nodiscard]] const std::vector<ShelfItem> &items() const { return m_items; }
    // Takes the new list; returns whether anything changed (and then tells the views).
    bool assign(std::vector<ShelfItem> items);

Q_SIGNALS:
    void countChanged();

private:
    std::vector<ShelfItem> m_items;
};

} // namespace tavrenhold
