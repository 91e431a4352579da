#pragma once

#include <QAbstractListModel>

namespace tavrenhold {

class NotesList;

// The notes two to a row, for a list view that builds only the rows in sight: row r holds note 2r
// on the left and note 2r+1 on the right (when there is one). Every note role comes twice, as
// `left…` and `right…`, with `hasRight`. Follows the notes list: a row count that grows or shrinks
// at the end, and changed data from the first row a change touches.
class NotePairs final : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role {
        LeftIdRole = Qt::UserRole + 1,
        LeftTitleRole,
        LeftBodyRole,
        LeftDisplayTitleRole,
        LeftPreviewRole,
        RightIdRole,
        RightTitleRole,
        RightBodyRole,
        RightDisplayTitleRole,
        RightPreviewRole,
        HasRightRole,
    };

    explicit NotePairs(const NotesList &notes, QObject *parent = nullptr);

    [[nodiscard]] int rowCount(const QModelIndex &parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex &index, int role) const override;
    [[nodiscard]] QHash<int, QByteArray> roleNames() const override;

private:
    [[nodiscard]] static int pairsFor(int notes) { return (notes + 1) / 2; }
    // Brings the row count to the source's and marks rows from `firstRow` on as changed.
    void follow(int firstRow);
    void reset();

    const NotesList &m_notes;
    int m_rows = 0;
};

} // namespace tavrenhold
