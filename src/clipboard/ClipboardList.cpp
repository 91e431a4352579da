#include "ClipboardList.h"

namespace tavrenhold {

ClipboardList::ClipboardList(QObject *parent) : QAbstractListModel(parent) {}

void ClipboardList::setStore(ClipboardService *store)
{
    if (m_store == store)
        return;
    if (m_store)
        disconnect(m_store, nullptr, this, nullptr);
    m_store = store;
    if (m_store) {
        connect(m_store, &ClipboardService::itemsChanged, this, &ClipboardList::rebuild);
        connect(m_store, &ClipboardService::searchQueryChanged, this, &ClipboardList::rebuild);
    }
    rebuild();
    Q_EMIT storeChanged();
}

void ClipboardList::rebuild()
{
    const int before = count();
    beginResetModel();
    m_rows.clear();
    if (m_store) {
        const double now = m_store->now();
        for (ClipboardItem &item : m_store->filtered()) {
            const QString time = relativeTime(item.copiedAt, now);
            QString preview = item.rowPreview();
            m_rows.push_back(Row{std::move(item), time, std::move(preview)});
        }
    }
    endResetModel();
    // The empty text also depends on the unfiltered history, which may change at an equal count.
    if (before != count() || count() == 0)
        Q_EMIT countChanged();
}

QString ClipboardList::emptyText() const
{
    if (!m_rows.empty())
        return {};
    if (m_store && !m_store->isEmpty())
        return QStringLiteral("Nothing in your clipboard history matches");
    return QStringLiteral("Clipboard history is empty");
}

int ClipboardList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count();
}

QVariant ClipboardList::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= count())
        return {};
    const Row &row = m_rows[size_t(index.row())];
    const ClipboardItem &item = row.item;
    switch (role) {
    case IdRole: return item.id.toString(QUuid::WithoutBraces);
    case KindRole: return rawValue(item.kind);
    case PreviewRole: return row.preview;
    case SourceAppRole: return item.sourceApp.value_or(QString());
    case PinnedRole: return item.pinned;
    case TimeRole: return row.time;
    case SymbolRole: return item.kind == ClipboardItem::Kind::image ? QStringLiteral("photo") : QStringLiteral("doc.on.clipboard");
    default: return {};
    }
}

QHash<int, QByteArray> ClipboardList::roleNames() const
{
    return {{IdRole, "itemId"},       {KindRole, "kind"},     {PreviewRole, "preview"}, {SourceAppRole, "sourceApp"},
            {PinnedRole, "pinned"},   {TimeRole, "timeText"}, {SymbolRole, "symbol"}};
}

std::optional<ClipboardItem> ClipboardList::find(const QString &id) const
{
    return m_store ? m_store->item(QUuid::fromString(id)) : std::nullopt;
}

void ClipboardList::copy(const QString &id)
{
    if (auto item = find(id))
        m_store->copy(*item);
}

void ClipboardList::togglePin(const QString &id)
{
    if (auto item = find(id))
        m_store->togglePin(*item);
}

void ClipboardList::remove(const QString &id)
{
    if (!m_store)
        return;
    ClipboardItem item;
    item.id = QUuid::fromString(id);
    m_store->remove(item);
}

void ClipboardList::clearHistory()
{
    if (m_store)
        m_store->clearHistory();
}

void ClipboardList::togglePaused()
{
    if (m_store)
        m_store->setPaused(!m_store->isPaused());
}

} // namespace tavrenhold
