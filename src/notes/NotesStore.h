#pragma once

#include "NotePairs.h"
#include "NoteRecord.h"
#include "design/CancelToken.h"
#include "design/Clock.h"

#include <QAbstractListModel>
#include <QFuture>
#include <QFutureWatcher>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUuid>
#include <QtQml/qqmlregistration.h>

#include <optional>
#include <vector>

namespace tavrenhold {

class NotesStore;

// The store's notes as rows for the list view: `id`, `title`, `body` as stored, and the
// `displayTitle` and `preview` the tiles show. Kept in step by the store.
class NotesList final : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role { IdRole = Qt::UserRole + 1, TitleRole, BodyRole, DisplayTitleRole, PreviewRole };

    explicit NotesList(const NotesStore &store, QObject *parent = nullptr);

    [[nodiscard]] int rowCount(const QModelIndex &parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex &index, int role) const override;
    [[nodiscard]] QHash<int, QByteArray> roleNames() const override;

private:
    friend class NotesStore;
    const NotesStore &m_store;
};

// The user's notes: the list in memory, the file that mirrors it, and the note being edited with
// its draft. Every structural change is written at once; typing is written 0.3 s after the last
// change, on the injected clock. The file is replaced whole and atomically; write failures are
// silent and the next write tries again.
//
// A file that cannot be read or decoded is moved aside (never over an earlier copy) and the list
// starts empty; if it cannot be moved either, this run never writes to that path.
//
// The file never grows past what a load reads: a draft that would take it past `maxFileBytes` is
// cut to fit, and a note that would not fit is not made; `notice` then says why. The file may be
// read on a worker; until it has been, the list is empty and `loaded` false, and every operation
// first waits for it, so nothing is written over notes not yet read.
class NotesStore final : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The notes store comes with the Notes pane.")
    Q_PROPERTY(QAbstractListModel *notes READ notesModel CONSTANT)
    // The same notes two to a row, for the list of tiles.
    Q_PROPERTY(QAbstractListModel *notePairs READ notePairs CONSTANT)
    Q_PROPERTY(int count READ count NOTIFY notesChanged)
    Q_PROPERTY(QString editingID READ editingIDText WRITE setEditingIDText NOTIFY editingIDChanged)
    Q_PROPERTY(bool showsEditor READ showsEditor NOTIFY editingIDChanged)
    Q_PROPERTY(QString draftTitle READ draftTitle WRITE setDraftTitle NOTIFY draftTitleChanged)
    Q_PROPERTY(QString draft READ draft WRITE setDraft NOTIFY draftChanged)
    Q_PROPERTY(bool loaded READ loaded NOTIFY loadedChanged)
    // Why the last capture was cut or refused; empty when none was.
    Q_PROPERTY(QString notice READ notice NOTIFY noticeChanged)

public:
    static constexpr Millis debounce{300};
    // Larger files are not read; they are moved aside like unreadable ones. No write is larger.
    static constexpr qint64 maxFileBytes = qint64(32) << 20;

    enum class Loading { atOnce, onWorker };

    // Reads the file at `filePath` once, at once or on a worker. An empty path keeps the notes in
    // memory only.
    NotesStore(QString filePath, Clock &clock, QObject *parent = nullptr);
    NotesStore(QString filePath, Clock &clock, Loading loading, QObject *parent = nullptr);
    // A write still waiting for its debounce is made now, so nothing typed is lost.
    ~NotesStore() override;

    // notes.json in the user's data folder (created if missing), or empty when there is none.
    [[nodiscard]] static QString defaultPath();

    [[nodiscard]] const std::vector<NoteRecord> &notes() const { return m_notes; }
    [[nodiscard]] QAbstractListModel *notesModel() { return &m_list; }
    [[nodiscard]] QAbstractListModel *notePairs() { return &m_pairs; }
    [[nodiscard]] int count() const { return int(m_notes.size()); }
    [[nodiscard]] bool loaded() const { return !m_loading; }
    // Waits for a load on a worker and takes its notes; nothing when the notes are there.
    void finishLoading();
    [[nodiscard]] QString notice() const { return m_notice; }

    [[nodiscard]] std::optional<QUuid> editingID() const { return m_editingID; }
    void setEditingID(std::optional<QUuid> id);
    [[nodiscard]] bool showsEditor() const { return m_editingID.has_value(); }
    [[nodiscard]] QString draftTitle() const { return m_draftTitle; }
    void setDraftTitle(const QString &title);
    [[nodiscard]] QString draft() const { return m_draft; }
    void setDraft(const QString &draft);

    // Ids as QML sees them: lower-case, without braces; empty for none.
    [[nodiscard]] QString editingIDText() const;
    void setEditingIDText(const QString &id);

    // Opens the note for editing: its id, then its stored title and body as the draft.
    Q_INVOKABLE void open(const QString &id);
    // A blank note at the top of the list, open in the editor, written at once.
    Q_INVOKABLE void create();
    // Copies the draft into the note being edited; written at once or after the debounce.
    Q_INVOKABLE void commitDraft(bool flush);
    // Commits and writes at once, drops the note if both texts are blank, closes the editor.
    Q_INVOKABLE void save();
    // Removes every note with that note's id, closing the editor if it was open on it.
    void deleteNote(const NoteRecord &note);
    Q_INVOKABLE void deleteNote(const QString &id);
    Q_INVOKABLE void clearAll();

    [[nodiscard]] QString filePath() const { return m_path; }
    // Where an unreadable file was moved at load; empty when nothing was moved.
    [[nodiscard]] QString setAsidePath() const { return m_setAside; }
    // False when the file could be neither read nor moved aside: it is then never written over.
    [[nodiscard]] bool writesFile() const { return m_writable && !m_path.isEmpty(); }

Q_SIGNALS:
    void notesChanged();
    void editingIDChanged();
    void draftTitleChanged();
    void draftChanged();
    void loadedChanged();
    void noticeChanged();

private:
    friend class NotesList;

    struct Loaded {
        std::vector<NoteRecord> notes;
        QString setAside;
        bool writable = true;
    };
    // Reads, decodes and repairs the file, or moves it aside; touches nothing of a store.
    [[nodiscard]] static Loaded read(const QString &path, qint64 asideSeconds);
    void take(Loaded loaded);
    // Cuts the draft so the note edited, with the others, fits in the file.
    void fitDraft(const NoteRecord &note);
    void setNotice(const QString &notice);
    void closeEditor();
    void removeId(const QUuid &id);
    void persist(bool now);
    void write();
    static QCoro::Task<> debounced(QPointer<NotesStore> self, Clock &clock, CancelToken token);

    QString m_path;
    Clock &m_clock;
    NotesList m_list{*this};
    std::vector<NoteRecord> m_notes;
    // After the notes: it counts them when it is made.
    NotePairs m_pairs{m_list};
    std::optional<QUuid> m_editingID;
    QString m_draftTitle;
    QString m_draft;
    QString m_setAside;
    QString m_notice;
    // The file's bytes for the notes in memory.
    qint64 m_bytes = 2;
    bool m_loading = false;
    QFuture<Loaded> m_load;
    QFutureWatcher<Loaded> m_loadWatcher;
    bool m_writable = true;
    bool m_pending = false;
    CancelSlot m_persist;
};

} // namespace tavrenhold
