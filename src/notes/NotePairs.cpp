#include "NotePairs.h"

#include "NotesStore.h"

#include <algorithm>

namespace tavrenhold {

NotePairs::NotePairs(const NotesList &notes, QObject *parent)
    : QAbstractListModel(parent), m_notes(notes), m_rows(pairsFor(notes.rowCount()))
{
    connect(&m_notes, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex &, int first, int) { follow(first / 2); });
    connect(&m_notes, &QAbstractItemModel::rowsRemoved, this, [this](const QModelIndex &, int first, int) { follow(first / 2); });
    connect(&m_notes, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &topLeft, const QModelIndex &bottomRight) {
                if (!topLeft.isValid() || !bottomRight.isValid())
                    return;
                const int first = topLeft.row() / 2, last = std::min(bottomRight.row() / 2, m_rows - 1);
                if (first <= last)
                    Q_EMIT dataChanged(index(first), index(last));
            });
    connect(&m_notes, &QAbstractItemModel::rowsMoved, this, &NotePairs::reset);
    connect(&m_notes, &QAbstractItemModel::layoutChanged, this, &NotePairs::reset);
    connect(&m_notes, &QAbstractItemModel::modelReset, this, &NotePairs::reset);
}

int NotePairs::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : m_rows; }

QVariant NotePairs::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const int right = 2 * index.row() + 1;
    if (role == HasRightRole)
        return right < m_notes.rowCount();
    if (role < LeftIdRole || role > RightPreviewRole)
        return {};
    const bool isRight = role >= RightIdRole;
    const int row = isRight ? right : right - 1;
    // The last row's missing right note, or a row not yet dropped after a removal: empty texts.
    if (row >= m_notes.rowCount())
        return QString();
    const int noteRole = NotesList::IdRole + (role - (isRight ? RightIdRole : LeftIdRole));
    return m_notes.data(m_notes.index(row), noteRole);
}

QHash<int, QByteArray> NotePairs::roleNames() const
{
    return {{LeftIdRole, "leftId"},
            {LeftTitleRole, "leftTitle"},
            {LeftBodyRole, "leftBody"},
            {LeftDisplayTitleRole, "leftDisplayTitle"},
            {LeftPreviewRole, "leftPreview"},
            {RightIdRole, "rightId"},
            {RightTitleRole, "rightTitle"},
            {RightBodyRole, "rightBody"},
            {RightDisplayTitleRole, "rightDisplayTitle"},
            {RightPreviewRole, "rightPreview"},
            {HasRightRole, "hasRight"}};
}

void NotePairs::follow(int firstRow)
{
    // A note in or out shifts every note after it by one place: the rows from the one it touched
    // on show other notes, and only the last row can appear or go.
    const int rows = pairsFor(m_notes.rowCount());
    if (rows > m_rows) {
        beginInsertRows({}, m_rows, rows - 1);
        m_rows = rows;
        endInsertRows();
    } else if (rows < m_rows) {
        beginRemoveRows({}, rows, m_rows - 1);
        m_rows = rows;
        endRemoveRows();
    }
    if (firstRow < m_rows)
        Q_EMIT dataChanged(index(firstRow), index(m_rows - 1));
}

void NotePairs::reset()
{
    beginResetModel();
    m_rows = pairsFor(m_notes.rowCount());
    endResetModel();
}

} // namespace tavrenhold
