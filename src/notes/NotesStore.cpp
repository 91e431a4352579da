#include "NotesStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

namespace tavrenhold {

namespace {
// Canonically equal texts count as equal.
bool sameText(const QString &a, const QString &b)
{
    return a == b || a.normalized(QString::NormalizationForm_C) == b.normalized(QString::NormalizationForm_C);
}

QString qmlId(const QUuid &id) { return id.toString(QUuid::WithoutBraces); }

// Something is at the path, even a link to nothing.
bool occupied(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}
} // namespace

// ---- The rows

NotesList::NotesList(const NotesStore &store, QObject *parent) : QAbstractListModel(parent), m_store(store) {}

int NotesList::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : m_store.count(); }

QVariant NotesList::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const NoteRecord &note = m_store.m_notes[std::size_t(index.row())];
    switch (role) {
    case IdRole: return qmlId(note.id);
    case TitleRole: return note.title;
    case BodyRole: return note.body;
    case DisplayTitleRole: return displayTitle(note);
    case PreviewRole: return preview(note);
    default: return {};
    }
}

QHash<int, QByteArray> NotesList::roleNames() const
{
    return {{IdRole, "id"},
            {TitleRole, "title"},
            {BodyRole, "body"},
            {DisplayTitleRole, "displayTitle"},
            {PreviewRole, "preview"}};
}

// ---- The store

NotesStore::NotesStore(QString filePath, Clock &clock, QObject *parent)
    : NotesStore(std::move(filePath), clock, Loading::atOnce, parent)
{
}

NotesStore::NotesStore(QString filePath, Clock &clock, Loading loading, QObject *parent)
    : QObject(parent), m_path(std::move(filePath)), m_clock(clock)
{
    const qint64 asideSeconds = m_clock.wallNow().toSecsSinceEpoch();
    if (loading == Loading::atOnce) {
        take(read(m_path, asideSeconds));
        return;
    }
    m_loading = true;
    connect(&m_loadWatcher, &QFutureWatcher<Loaded>::finished, this, &NotesStore::finishLoading);
    m_load = QtConcurrent::run(&NotesStore::read, m_path, asideSeconds);
    m_loadWatcher.setFuture(m_load);
}

NotesStore::~NotesStore()
{
    if (m_pending)
        write();
    m_persist.cancel();
}

QString NotesStore::defaultPath()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty())
        return {};
    const QString folder = data + QStringLiteral("/app.tavrenhold");
    // A folder that cannot be made only makes the writes fail.
    [[maybe_unused]] const bool made = QDir().mkpath(folder);
    return folder + QStringLiteral("/notes.json");
}

NotesStore::Loaded NotesStore::read(const QString &path, qint64 asideSeconds)
{
    Loaded loaded;
    if (path.isEmpty() || !occupied(path))
        return loaded;
    // Only a regular file of sensible size is read; anything else there is moved aside whole.
    const QFileInfo info(path);
    if (info.isFile() && info.size() <= maxFileBytes) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray bytes = file.read(maxFileBytes + 1);
            if (file.error() == QFileDevice::NoError && bytes.size() <= maxFileBytes) {
                if (auto decoded = decodeNotes(bytes)) {
                    loaded.notes = repairNotes(std::move(*decoded));
                    return loaded;
                }
            }
        }
    }
    const QString base = info.absolutePath() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral(".corrupt.")
        + QString::number(asideSeconds);
    // rename(2) would replace an earlier copy silently; QFile::rename refuses an existing target.
    for (int n = 0; n < 1000; ++n) {
        const QString candidate = base + (n == 0 ? QString() : QStringLiteral("-%1").arg(n)) + QStringLiteral(".json");
        if (occupied(candidate))
            continue;
        if (QFile::rename(path, candidate)) {
            loaded.setAside = candidate;
            return loaded;
        }
        if (!occupied(candidate))
            break;
    }
    // Neither readable nor movable: leave it exactly as it is for the rest of the run.
    loaded.writable = false;
    return loaded;
}

void NotesStore::take(Loaded loaded)
{
    m_setAside = std::move(loaded.setAside);
    m_writable = loaded.writable;
    if (loaded.notes.empty())
        return;
    m_list.beginResetModel();
    m_notes = std::move(loaded.notes);
    m_bytes = encodedLength(m_notes);
    m_list.endResetModel();
    Q_EMIT notesChanged();
}

void NotesStore::finishLoading()
{
    if (!m_loading)
        return;
    m_loading = false;
    m_loadWatcher.disconnect(this);
    take(m_load.result());
    m_load = {};
    Q_EMIT loadedChanged();
}

void NotesStore::setNotice(const QString &notice)
{
    if (notice == m_notice)
        return;
    m_notice = notice;
    Q_EMIT noticeChanged();
}

QString NotesStore::editingIDText() const { return m_editingID ? qmlId(*m_editingID) : QString(); }

void NotesStore::setEditingIDText(const QString &id)
{
    const QUuid uuid = QUuid::fromString(id);
    setEditingID(id.isEmpty() || uuid.isNull() ? std::nullopt : std::optional(uuid));
}

void NotesStore::setEditingID(std::optional<QUuid> id)
{
    finishLoading();
    if (id == m_editingID)
        return;
    m_editingID = id;
    Q_EMIT editingIDChanged();
}

void NotesStore::setDraftTitle(const QString &title)
{
    finishLoading();
    if (sameText(title, m_draftTitle))
        return;
    m_draftTitle = title;
    Q_EMIT draftTitleChanged();
}

void NotesStore::setDraft(const QString &draft)
{
    finishLoading();
    if (sameText(draft, m_draft))
        return;
    m_draft = draft;
    Q_EMIT draftChanged();
}

void NotesStore::closeEditor()
{
    setEditingID(std::nullopt);
    setDraftTitle(QString());
    setDraft(QString());
    setNotice(QString());
}

void NotesStore::open(const QString &id)
{
    finishLoading();
    const QUuid uuid = QUuid::fromString(id);
    const auto it = std::find_if(m_notes.begin(), m_notes.end(), [&](const NoteRecord &n) { return n.id == uuid; });
    if (uuid.isNull() || it == m_notes.end())
        return;
    const NoteRecord note = *it;
    setEditingID(note.id);
    setDraftTitle(note.title);
    setDraft(note.body);
}

void NotesStore::create()
{
    finishLoading();
    const NoteRecord note{QUuid::createUuid(), QString(), QString(), noteTime(m_clock.wallNow())};
    const qint64 bytes = m_bytes + encodedLength(note) + (m_notes.empty() ? 0 : 1);
    if (bytes > maxFileBytes) {
        setNotice(tr("No room for another note: the notes are full."));
        return;
    }
    setNotice(QString());
    m_bytes = bytes;
    m_list.beginInsertRows({}, 0, 0);
    m_notes.insert(m_notes.begin(), note);
    m_list.endInsertRows();
    Q_EMIT notesChanged();
    setEditingID(note.id);
    setDraftTitle(QString());
    setDraft(QString());
    persist(true);
}

void NotesStore::fitDraft(const NoteRecord &note)
{
    // What the file takes without the note's texts, and so what is left for them.
    // A note may always keep what it holds: a cut never takes away text it had before.
    NoteRecord bare{note.id, QString(), QString(), noteTime(m_clock.wallNow())};
    const qint64 left = std::max(maxFileBytes - (m_bytes - encodedLength(note)) - encodedLength(bare),
                                 encodedLength(note.title) + encodedLength(note.body));
    const qint64 titleBytes = encodedLength(m_draftTitle);
    if (titleBytes + encodedLength(m_draft) <= left)
        return;
    const qsizetype titleLength = fittingLength(m_draftTitle, std::max<qint64>(0, left));
    const qint64 bodyLeft = std::max<qint64>(0, left - encodedLength(QStringView(m_draftTitle).left(titleLength)));
    if (titleLength < m_draftTitle.size()) {
        m_draftTitle.truncate(titleLength);
        Q_EMIT draftTitleChanged();
    }
    const qsizetype bodyLength = fittingLength(m_draft, bodyLeft);
    if (bodyLength < m_draft.size()) {
        m_draft.truncate(bodyLength);
        Q_EMIT draftChanged();
    }
    setNotice(tr("Too long to keep: the note was cut where the notes are full."));
}

void NotesStore::commitDraft(bool flush)
{
    finishLoading();
    if (!m_editingID)
        return;
    const auto it = std::find_if(m_notes.begin(), m_notes.end(), [&](const NoteRecord &n) { return n.id == *m_editingID; });
    if (it == m_notes.end())
        return;
    // Only a real change moves the note's time, so opening and closing a note keeps its place at
    // the next start.
    if (!sameText(it->title, m_draftTitle) || !sameText(it->body, m_draft)) {
        fitDraft(*it);
        const qint64 before = encodedLength(*it);
        it->title = m_draftTitle;
        it->body = m_draft;
        it->updatedAt = noteTime(m_clock.wallNow());
        m_bytes += encodedLength(*it) - before;
        const QModelIndex row = m_list.index(int(it - m_notes.begin()));
        Q_EMIT m_list.dataChanged(row, row);
        Q_EMIT notesChanged();
    } else if (!flush) {
        return;
    }
    persist(flush);
}

void NotesStore::save()
{
    finishLoading();
    commitDraft(true);
    if (m_editingID && m_draftTitle.trimmed().isEmpty() && m_draft.trimmed().isEmpty()) {
        removeId(*m_editingID);
        persist(true);
    }
    closeEditor();
}

void NotesStore::removeId(const QUuid &id)
{
    for (int row = count() - 1; row >= 0; --row) {
        if (m_notes[std::size_t(row)].id != id)
            continue;
        m_bytes -= encodedLength(m_notes[std::size_t(row)]) + (m_notes.size() > 1 ? 1 : 0);
        m_list.beginRemoveRows({}, row, row);
        m_notes.erase(m_notes.begin() + row);
        m_list.endRemoveRows();
    }
    Q_EMIT notesChanged();
}

void NotesStore::deleteNote(const NoteRecord &note)
{
    finishLoading();
    // The note may be one of the list's own, gone after the removal.
    const QUuid id = note.id;
    removeId(id);
    setNotice(QString());
    if (m_editingID == id)
        closeEditor();
    persist(true);
}

void NotesStore::deleteNote(const QString &id)
{
    const QUuid uuid = QUuid::fromString(id);
    if (uuid.isNull())
        return;
    deleteNote(NoteRecord{uuid, {}, {}, 0});
}

void NotesStore::clearAll()
{
    finishLoading();
    closeEditor();
    m_list.beginResetModel();
    m_notes.clear();
    m_bytes = 2;
    m_list.endResetModel();
    Q_EMIT notesChanged();
    persist(true);
}

void NotesStore::persist(bool now)
{
    const CancelToken token = m_persist.renew();
    if (now) {
        m_pending = false;
        write();
        return;
    }
    m_pending = true;
    debounced(QPointer(this), m_clock, token);
}

QCoro::Task<> NotesStore::debounced(QPointer<NotesStore> self, Clock &clock, CancelToken token)
{
    co_await clock.sleepFor(debounce, token);
    if (token.isCancelled() || !self)
        co_return;
    self->m_pending = false;
    self->write();
}

void NotesStore::write()
{
    if (!writesFile())
        return;
    auto bytes = encodeNotes(m_notes);
    // Escaped slashes could take a file read with plain ones past what a load reads.
    if (bytes && bytes->size() > maxFileBytes)
        bytes = encodeNotes(m_notes, Slash::plain);
    if (!bytes)
        return;
    // Times read in a long form (1e300 is written with all its digits) can still take a file read
    // within the bound past it: the file read stays, rather than one the next start would set aside.
    if (bytes->size() > maxFileBytes) {
        setNotice(tr("Not saved: the notes would be too large to read back."));
        return;
    }
    // QSaveFile writes beside the file and renames into place: never a partial file.
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    // Notes are as private as the clipboard history: the owner's alone, also when an earlier
    // file was readable by others (QSaveFile would carry its mode over).
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        file.cancelWriting();
        return;
    }
    if (file.write(*bytes) != bytes->size()) {
        file.cancelWriting();
        return;
    }
    [[maybe_unused]] const bool committed = file.commit();
}

} // namespace tavrenhold
