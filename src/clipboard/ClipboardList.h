#pragma once

#include "ClipboardService.h"

#include <QAbstractListModel>
#include <QPointer>
#include <QtQml/qqmlregistration.h>

namespace tavrenhold {

// The rows the Clipboard pane lists: the service's `filtered`, one row per entry, with the texts
// the row shows (the preview cut to what two lines show) worked out when the list is rebuilt (on every change of the history or the query).
// Actions name an entry by its id.
class ClipboardList : public QAbstractListModel {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(tavrenhold::ClipboardService *store READ store WRITE setStore NOTIFY storeChanged)
    Q_PROPERTY(int count READ count NOTIFY countChanged)
    Q_PROPERTY(QString emptyText READ emptyText NOTIFY countChanged)

public:
    enum Role { IdRole = Qt::UserRole + 1, KindRole, PreviewRole, SourceAppRole, PinnedRole, TimeRole, SymbolRole };
    Q_ENUM(Role)

    explicit ClipboardList(QObject *parent = nullptr);

    [[nodiscard]] ClipboardService *store() const { return m_store; }
    void setStore(ClipboardService *store);
    [[nodiscard]] int count() const { return int(m_rows.size()); }
    // Shown in place of the list: "Clipboard history is empty", or with entries that the search
    // hides, "Nothing in your clipboard history matches"; empty while rows are listed.
    [[nodiscard]] QString emptyText() const;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    Q_INVOKABLE void copy(const QString &id);
    Q_INVOKABLE void togglePin(const QString &id);
    Q_INVOKABLE void remove(const QString &id);
    Q_INVOKABLE void clearHistory();
    Q_INVOKABLE void togglePaused();

Q_SIGNALS:
    void storeChanged();
    void countChanged();

private:
    struct Row {
        ClipboardItem item;
        QString time;
        QString preview;
    };
    void rebuild();
    [[nodiscard]] std::optional<ClipboardItem> find(const QString &id) const;

    QPointer<ClipboardService> m_store;
    std::vector<Row> m_rows;
};

} // namespace tavrenhold
