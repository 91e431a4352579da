#include "DropPane.h"
#include "ShelfFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTextBoundaryFinder>

#include <QCoro/QCoroTask>
#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <set>

namespace tavrenhold {

namespace {

constexpr int uuidLength = 36;

QString newUuidText() { return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(); }

// The folder's visible entries; hidden names (staging in progress, partial copies) are skipped.
std::optional<QStringList> listEntries(const QString &folder)
{
    const QDir dir(folder);
    if (!dir.exists())
        return std::nullopt;
    return dir.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

bool isUuidText(QStringView text)
{
    if (text.size() != uuidLength)
        return false;
    const QUuid parsed = QUuid::fromString(text);
    return !parsed.isNull() || text == QLatin1String("00000000-0000-0000-0000-000000000000");
}

QDateTime distantPast() { return QDateTime::fromMSecsSinceEpoch(0, Qt::UTC).addYears(-2000); }

} // namespace

DropPane::DropPane(const QString &directory, Clock &clock, QObject *parent)
    : NotchPane(parent)
    , m_directory(QDir::cleanPath(directory))
    , m_dragOut(QDir::cleanPath(directory + QStringLiteral("/../DragOut")))
    , m_clock(clock)
{
    (void)QDir().mkpath(m_directory);
    load();
    rescheduleSweep();
}

DropPane::~DropPane()
{
    m_stopCopies->store(true);
}

QString DropPane::standardDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
        + QStringLiteral("/app.tavrenhold/DropShelf");
}

QString DropPane::displayName(const QString &storedName)
{
    // Counts user-perceived characters: the 37th must be a plain "-" and the 36 before it a UUID.
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, storedName);
    qsizetype lastStart = 0;
    qsizetype end = 0;
    for (int taken = 0; taken < uuidLength + 1; ++taken) {
        const qsizetype next = graphemes.toNextBoundary();
        if (next < 0)
            break;
        lastStart = end;
        end = next;
    }
    if (QStringView(storedName).mid(lastStart, end - lastStart) != QLatin1String("-"))
        return storedName;
    if (!isUuidText(QStringView(storedName).left(lastStart)))
        return storedName;
    return storedName.mid(end);
}

IdleSignal DropPane::idle() const
{
    if (m_items.count() == 0)
        return IdleSignal::inactive;
    IdleSignal signal;
    signal.isLive = true;
    signal.priority = 40;
    signal.identity = IdleBadge{symbol(), QString::number(m_items.count())};
    signal.pulse = m_pulse;
    return signal;
}

QUrl DropPane::content() const { return QUrl(QStringLiteral("qrc:/Tavrenhold/Drop/qml/DropPaneView.qml")); }

void DropPane::setItems(std::vector<ShelfItem> items)
{
    const int before = m_items.count();
    m_items.assign(std::move(items));
    if (m_items.count() != before)
        Q_EMIT idleChanged();
}

const ShelfItem *DropPane::find(const QString &itemId) const
{
    const QUuid id = QUuid::fromString(itemId);
    const auto &all = m_items.items();
    const auto it = std::find_if(all.begin(), all.end(), [&](const ShelfItem &i) { return i.id == id; });
    return it == all.end() ? nullptr : &*it;
}

void DropPane::load()
{
    // Partial copies of an earlier run that ended mid-copy.
    const QStringList hidden = QDir(m_directory).entryList(
        {QStringLiteral(".partial-*")}, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &name : hidden)
        (void)shelf::removeEntry(m_directory + QLatin1Char('/') + name);

    purgeExpired();
    const auto entries = listEntries(m_directory);
    if (!entries)
        return;
    std::vector<ShelfItem> items;
    for (const QString &entry : *entries) {
        const QString path = m_directory + QLatin1Char('/') + entry;
        const auto facts = shelf::facts(path);
        ShelfItem item;
        item.id = QUuid::createUuid();
        item.name = displayName(entry);
        item.url = QUrl::fromLocalFile(path);
        item.byteSize = facts ? facts->byteSize : 0;
        item.addedAt = facts && facts->modified ? *facts->modified : distantPast();
        items.push_back(std::move(item));
    }
    std::stable_sort(items.begin(), items.end(),
                     [](const ShelfItem &a, const ShelfItem &b) { return a.addedAt < b.addedAt; });
    // The newest entry of each name stays; older ones of the same name are deleted.
    std::set<QString> seen;
    for (auto it = items.rbegin(); it != items.rend(); ++it) {
        if (!seen.insert(it->name).second)
            (void)shelf::removeEntry(it->url.toLocalFile());
    }
    std::erase_if(items, [](const ShelfItem &i) { return !shelf::facts(i.url.toLocalFile()).has_value(); });
    setItems(std::move(items));
}

void DropPane::purgeExpired()
{
    const QDateTime cutoff = m_clock.wallNow().addSecs(-expirySeconds);
    std::vector<ShelfItem> kept;
    for (const ShelfItem &item : m_items.items()) {
        if (item.addedAt < cutoff)
            (void)shelf::removeEntry(item.url.toLocalFile());
        else
            kept.push_back(item);
    }
    setItems(std::move(kept));

    if (const auto entries = listEntries(m_directory)) {
        for (const QString &entry : *entries) {
            const QString path = m_directory + QLatin1Char('/') + entry;
            const auto facts = shelf::facts(path);
            const QDateTime modified = facts && facts->modified ? *facts->modified : distantPast();
            if (modified < cutoff)
                (void)shelf::removeEntry(path);
        }
    }
    purgeDragOut();
}

void DropPane::purgeDragOut()
{
    // Receivers may read a dragged-out copy well after the drag ended: keep each a day.
    const QDateTime cutoff = m_clock.wallNow().addSecs(-expirySeconds);
    const QStringList folders = QDir(m_dragOut).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &folder : folders) {
        const QString path = m_dragOut + QLatin1Char('/') + folder;
        const auto facts = shelf::facts(path);
        if (!facts || !facts->modified || *facts->modified < cutoff)
            (void)shelf::removeEntry(path);
    }
}

std::vector<DropPane::Copied> DropPane::copyAll(const QString &directory, const CopyJob &job,
                                                const std::atomic<bool> &stop)
{
    // A stored name is "<UUID>-<name>": the name gets what the file system leaves after the prefix.
    const qsizetype nameBytes = shelf::maxNameBytes(directory) - (uuidLength + 1);
    std::vector<Copied> copied;
    for (QString source : job.sources) {
        if (stop)
            break;
        while (source.size() > 1 && source.endsWith(QLatin1Char('/')))
            source.chop(1);
        QString name = QFileInfo(source).fileName();
        // "…/sub/.." and "…/." name a folder by a step: park the folder under its real name.
        if (name == QLatin1String(".") || name == QLatin1String("..")) {
            source = QFileInfo(source).canonicalFilePath();
            name = QFileInfo(source).fileName();
        }
        if (name.isEmpty() || !shelf::facts(source))
            continue;
        // A folder that holds the shelf would be copied into itself.
        if (shelf::containsFolder(source, directory))
            continue;
        // Copied under a hidden name and renamed into place, so a failed or cut-off copy never shows.
        const QString partial = directory + QStringLiteral("/.partial-") + newUuidText();
        const auto kinds = job.promised ? shelf::CopyKinds::regularFileOnly : shelf::CopyKinds::any;
        if (shelf::copyEntry(source, partial, kinds, &stop))
            copied.push_back({shelf::fitName(name, nameBytes), partial});
    }
    return copied;
}

bool DropPane::park(const Copied &copied)
{
    const QString destination = m_directory + QLatin1Char('/') + newUuidText() + QLatin1Char('-') + copied.name;
    if (::rename(QFile::encodeName(copied.partial).constData(), QFile::encodeName(destination).constData()) != 0) {
        (void)shelf::removeEntry(copied.partial);
        return false;
    }
    // The parking time, not the source's own date, is what a later start and the folder pass read.
    const QDateTime parked = m_clock.wallNow();
    (void)shelf::setModified(destination, parked);
    const auto facts = shelf::facts(destination);
    if (!facts)
        return false;

    std::vector<ShelfItem> items;
    for (const ShelfItem &item : m_items.items()) {
        if (item.name == copied.name)
            (void)shelf::removeEntry(item.url.toLocalFile());
        else
            items.push_back(item);
    }
    items.push_back(
        ShelfItem{QUuid::createUuid(), copied.name, QUrl::fromLocalFile(destination), facts->byteSize, parked});
    setItems(std::move(items));
    return true;
}

void DropPane::enqueue(CopyJob job)
{
    m_jobs.push_back(std::move(job));
    if (m_copying)
        return;
    m_copying = true;
    Q_EMIT isCopyingChanged();
    startNextJob();
}

void DropPane::startNextJob()
{
    if (m_jobs.empty()) {
        m_copying = false;
        Q_EMIT isCopyingChanged();
        return;
    }
    // The worker gets its own copies of everything; a pane that goes first tells it to stop, and
    // what it leaves under a hidden name is removed at the next start.
    auto *watcher = new QFutureWatcher<std::vector<Copied>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
        watcher->deleteLater();
        const CopyJob job = std::move(m_jobs.front());
        m_jobs.pop_front();
        finishJob(job, watcher->result());
        startNextJob();
    });
    watcher->setFuture(QtConcurrent::run(
        [directory = m_directory, job = m_jobs.front(), stop = m_stopCopies] { return copyAll(directory, job, *stop); }));
}

void DropPane::finishJob(const CopyJob &job, const std::vector<Copied> &copied)
{
    bool parkedAll = !copied.empty();
    for (const Copied &c : copied)
        parkedAll = park(c) && parkedAll;
    if (job.promised) {
        // The staging folder stays when the file was not parked, and expires like any entry.
        const QString parent = QFileInfo(job.sources.value(0)).absolutePath();
        if (parkedAll && QFileInfo(parent).fileName().startsWith(QLatin1String("staging-"))
            && QDir::cleanPath(QFileInfo(parent).absolutePath()) == m_directory)
            (void)shelf::removeEntry(parent);
        if (parkedAll && !m_sweeping)
            rescheduleSweep();
        return;
    }
    ++m_pulse;
    Q_EMIT pulseChanged();
    Q_EMIT idleChanged();
    rescheduleSweep();
}

void DropPane::ingest(const QList<QUrl> &urls)
{
    if (urls.isEmpty())
        return;
    CopyJob job;
    for (const QUrl &url : urls) {
        const bool local = url.scheme() == QLatin1String("file")
            && (url.host().isEmpty() || url.host() == QLatin1String("localhost"));
        if (local)
            job.sources.append(url.path());
    }
    enqueue(std::move(job));
}

void DropPane::adoptPromisedFile(const QString &path)
{
    enqueue(CopyJob{{path}, true});
}

void DropPane::remove(const QString &itemId)
{
    const ShelfItem *item = find(itemId);
    if (!item)
        return;
    const QUuid id = item->id;
    (void)shelf::removeEntry(item->url.toLocalFile());
    std::vector<ShelfItem> items = m_items.items();
    std::erase_if(items, [&](const ShelfItem &i) { return i.id == id; });
    setItems(std::move(items));
    rescheduleSweep();
}

void DropPane::clear()
{
    for (const ShelfItem &item : m_items.items())
        (void)shelf::removeEntry(item.url.toLocalFile());
    setItems({});
    rescheduleSweep();
}

std::optional<QString> DropPane::dragPath(const QString &itemId)
{
    const ShelfItem *item = find(itemId);
    if (!item)
        return std::nullopt;
    const QString folder = m_dragOut + QLatin1Char('/') + newUuidText();
    if (!QDir().mkpath(folder))
        return std::nullopt;
    const QString stored = QFileInfo(item->url.toLocalFile()).fileName();
    // A name that is a step ("..", ".") would put the copy beside the folder, among other copies.
    const bool plain = !item->name.isEmpty() && item->name != QLatin1String(".") && item->name != QLatin1String("..");
    const QString name = plain ? item->name : stored;
    const QString destination = folder + QLatin1Char('/') + name;
    // A second name for a parked file rather than a copy: a large chip starts its drag at once.
    if (!shelf::shareEntry(item->url.toLocalFile(), destination)) {
        (void)shelf::removeEntry(folder);
        return std::nullopt;
    }
    return destination;
}

QUrl DropPane::dragURL(const QString &itemId)
{
    const auto path = dragPath(itemId);
    return path ? QUrl::fromLocalFile(*path) : QUrl();
}

std::optional<QString> DropPane::storedPath(const QString &itemId) const
{
    const ShelfItem *item = find(itemId);
    return item ? std::optional(item->url.toLocalFile()) : std::nullopt;
}

void DropPane::beginTargeting()
{
    // The callback may rebuild what holds this pane's drop targets: check the pane is still here.
    const QPointer<DropPane> self(this);
    if (m_onDragRequestsExpand)
        m_onDragRequestsExpand();
    if (!self || m_targeted)
        return;
    m_targeted = true;
    Q_EMIT isTargetedChanged();
}

void DropPane::endTargeting()
{
    if (!m_targeted)
        return;
    m_targeted = false;
    Q_EMIT isTargetedChanged();
}

void DropPane::rescheduleSweep()
{
    m_sweep.cancel();
    m_sweeping = false;
    if (m_items.count() == 0)
        return;
    m_sweeping = true;
    sweep(QPointer(this), m_clock, m_sweep.renew());
}

QCoro::Task<> DropPane::sweep(QPointer<DropPane> self, Clock &clock, CancelToken token)
{
    QDateTime due = clock.wallNow().addSecs(sweepSeconds);
    for (;;) {
        const bool slept = co_await clock.sleepUntil(due, token);
        if (!slept || token.isCancelled() || !self)
            co_return;
        const QDateTime now = clock.wallNow();
        if (now < due) {
            // Woken early by a clock change: never wait longer than one period from now.
            due = std::min(due, now.addSecs(sweepSeconds));
            continue;
        }
        self->purgeExpired();
        if (token.isCancelled() || !self)
            co_return;
        if (self->m_items.count() == 0) {
            self->m_sweeping = false;
            co_return;
        }
        due = now.addSecs(sweepSeconds);
    }
}

} // namespace tavrenhold
