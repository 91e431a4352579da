#include "ClipboardService.h"

#include "platform/FrontmostApplication.h"
#include "platform/Pasteboard.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QStandardPaths>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

namespace tavrenhold {

namespace {
QByteArray pngOf(const QImage &image)
{
    QByteArray png;
    QBuffer buffer(&png);
    if (image.isNull() || !buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG"))
        return {};
    return png;
}

bool isPng(const QByteArray &bytes)
{
    return bytes.startsWith(QByteArrayLiteral("\x89PNG\r\n\x1a\n"));
}

bool isTiff(const QByteArray &bytes)
{
    return bytes.startsWith(QByteArrayLiteral("II*\0")) || bytes.startsWith(QByteArrayLiteral("MM\0*"));
}

QString megabytes(qsizetype bytes)
{
    return QString::number(double(bytes) / (1024.0 * 1024.0), 'f', 1) + QStringLiteral(" MB");
}

QString canonical(const QString &text)
{
    return text.normalized(QString::NormalizationForm_C);
}
} // namespace

ClipboardService::ClipboardService(platform::Pasteboard &pasteboard, const platform::FrontmostApplication &frontmost,
                                   const QString &folder, Clock &clock, QObject *parent)
    : QObject(parent)
    , m_pasteboard(pasteboard)
    , m_frontmost(frontmost)
    , m_clock(clock)
    , m_store(folder)
    , m_lastChangeCount(pasteboard.changeCount())
{
    connect(&m_pasteboard, &platform::Pasteboard::changed, this, [this] {
        if (m_started)
            poll();
    });
    // Nothing stored, nothing to wait for.
    const QFileInfo stored(m_store.historyPath());
    if (folder.isEmpty() || (!stored.exists() && !stored.isSymLink()))
        return;
    m_loading = true;
    connect(&m_loadWatcher, &QFutureWatcher<ClipboardHistoryStore::Loaded>::finished, this,
            &ClipboardService::finishLoading);
    m_load = QtConcurrent::run(&ClipboardHistoryStore::read, m_store.folder(), ClipboardHistoryStore::Images::later);
    m_loadWatcher.setFuture(m_load);
}

ClipboardService::~ClipboardService()
{
    m_loadWatcher.disconnect(this);
    if (m_loading)
        m_load.waitForFinished();
}

void ClipboardService::finishLoading()
{
    if (!m_loading)
        return;
    m_loadWatcher.disconnect(this);
    m_items = m_store.take(m_load.result());
    m_load = {};
    m_loading = false;
    const bool cleared = std::exchange(m_clearLoaded, false);
    if (cleared)
        std::erase_if(m_items, [](const ClipboardItem &e) { return !e.pinned; });
    sortPinnedFirst();
    std::vector<ClipboardItem> captured = std::exchange(m_captured, {});
    for (auto it = captured.rbegin(); it != captured.rend(); ++it)
        admit(std::move(*it));
    // What changed while the history was read is written now, once.
    if (cleared || !captured.empty())
        persist();
    Q_EMIT isLoadedChanged();
    changed();
}

ClipboardService &ClipboardService::shared()
{
    static const std::unique_ptr<platform::Pasteboard> pasteboard = platform::Pasteboard::create();
    static const std::unique_ptr<platform::FrontmostApplication> frontmost = platform::FrontmostApplication::create();
    static ClipboardService *service = [] {
        // Without a data folder the history stays in memory: never the shared temporary folder.
        const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        const QString folder = base.isEmpty() ? QString() : base + QStringLiteral("/app.tavrenhold");
        return new ClipboardService(*pasteboard, *frontmost, folder, Clock::system());
    }();
    return *service;
}

void ClipboardService::start()
{
    if (m_started)
        return;
    m_started = true;
    poll();
}

double ClipboardService::now() const
{
    return historySeconds(m_clock.wallNow());
}

void ClipboardService::poll()
{
    if (m_reading) {
        m_tickPending = true;
        return;
    }
    const qint64 count = m_pasteboard.changeCount();
    if (count == m_lastChangeCount)
        return;
    m_lastChangeCount = count;
    if (m_ignoringOwnWrite || m_pasteboard.ownsClipboard() || m_paused)
        return;
    const auto front = m_frontmost.frontmost();
    if (front && front->bundleIdentifier && m_blockedBundles.contains(*front->bundleIdentifier))
        return;
    std::optional<QString> sourceApp = front ? front->localizedName : std::nullopt;
    m_reading = true;
    QPointer<ClipboardService> self(this);
    m_pasteboard.read([self, sourceApp](std::optional<platform::PasteboardContent> content) {
        if (!self)
            return;
        self->m_reading = false;
        if (content) {
            const bool concealed = std::any_of(markerTypes.begin(), markerTypes.end(),
                                               [&](const QString &marker) { return content->types.contains(marker); });
            std::optional<QByteArray> image;
            if (content->tiff && !content->tiff->isEmpty())
                image = content->tiff;
            else if (content->png && !content->png->isEmpty())
                image = content->png;
            if (concealed) {
                // recorded nowhere
            } else if (image) {
                self->ingest(ClipboardItem{QUuid::createUuid(), ClipboardItem::Kind::image, std::nullopt, *image,
                                           sourceApp, false, self->now()});
            } else if (content->text) {
                const QString trimmed = content->text->trimmed();
                if (!trimmed.isEmpty())
                    self->ingest(ClipboardItem{QUuid::createUuid(), ClipboardItem::Kind::text, trimmed, std::nullopt,
                                               sourceApp, false, self->now()});
            }
        }
        if (std::exchange(self->m_tickPending, false))
            self->poll();
    });
}

void ClipboardService::setNotice(const QString &notice)
{
    if (m_notice == notice)
        return;
    m_notice = notice;
    Q_EMIT noticeChanged();
}

bool ClipboardService::fitStore(ClipboardItem &item)
{
    // A text longer than one entry may take is cut to its start.
    QString notice;
    if (item.text) {
        const qsizetype bytes = jsonStringBytes(*item.text);
        if (bytes > maxEntryBytes) {
            item.text = cutToJsonBytes(*item.text, maxEntryBytes);
            notice = QStringLiteral("The last copy (%1 as stored) was cut to its first %2 to fit the history.")
                         .arg(megabytes(bytes), megabytes(maxEntryBytes));
        }
    }
    // Older unpinned entries make room, as the count limit makes them; pinned ones stay, and when
    // they leave no room the copy is not kept.
    const qsizetype budget = ClipboardHistoryStore::maxFileBytes - 2; // the array's brackets
    const qsizetype own = storedRowBytes(item);
    std::vector<qsizetype> sizes;
    sizes.reserve(m_items.size());
    qsizetype pinned = 0;
    qsizetype total = own;
    for (const ClipboardItem &e : m_items) {
        sizes.push_back(storedRowBytes(e));
        total += sizes.back();
        pinned += e.pinned ? sizes.back() : 0;
    }
    if (own + pinned > budget) {
        setNotice(QStringLiteral("The last copy was not kept: pinned entries fill the history."));
        return false;
    }
    for (qsizetype i = qsizetype(m_items.size()) - 1; i >= 0 && total > budget; --i) {
        if (m_items[size_t(i)].pinned)
            continue;
        total -= sizes[size_t(i)];
        m_items.erase(m_items.begin() + i);
    }
    setNotice(notice);
    return true;
}

void ClipboardService::ingest(ClipboardItem item)
{
    if (m_loading) {
        m_captured.insert(m_captured.begin(), std::move(item));
        return;
    }
    admit(std::move(item));
    persist();
    changed();
}

void ClipboardService::admit(ClipboardItem item)
{
    if (!fitStore(item))
        return;
    if (item.kind == ClipboardItem::Kind::text && item.text) {
        const QString text = canonical(*item.text);
        std::erase_if(m_items, [&](const ClipboardItem &e) {
            return !e.pinned && e.kind == ClipboardItem::Kind::text && e.text && canonical(*e.text) == text;
        });
    }
    m_items.insert(m_items.begin(), std::move(item));
    trim();
}

void ClipboardService::trim()
{
    int unpinned = 0;
    std::erase_if(m_items, [&](const ClipboardItem &e) { return !e.pinned && ++unpinned > limit; });
    sortPinnedFirst();
}

void ClipboardService::sortPinnedFirst()
{
    std::stable_sort(m_items.begin(), m_items.end(), [](const ClipboardItem &a, const ClipboardItem &b) {
        if (a.pinned != b.pinned)
            return a.pinned;
        return a.copiedAt > b.copiedAt;
    });
}

void ClipboardService::persist()
{
    // Before the stored history is in, a write would replace it.
    if (m_loading)
        return;
    m_store.persist(m_items);
}

void ClipboardService::changed()
{
    Q_EMIT itemsChanged();
}

std::vector<ClipboardItem> ClipboardService::filtered() const
{
    const QString q = canonical(m_searchQuery.trimmed());
    if (q.isEmpty())
        return m_items;
    std::vector<ClipboardItem> out;
    for (const ClipboardItem &item : m_items) {
        if (canonical(item.preview()).contains(q, Qt::CaseInsensitive)
            || (item.sourceApp && canonical(*item.sourceApp).contains(q, Qt::CaseInsensitive)))
            out.push_back(item);
    }
    return out;
}

std::optional<QByteArray> ClipboardService::imageBytes(const ClipboardItem &item) const
{
    if (item.kind != ClipboardItem::Kind::image)
        return std::nullopt;
    if (item.imageData)
        return item.imageData;
    const auto it = std::find_if(m_items.begin(), m_items.end(), [&](const ClipboardItem &e) { return e.id == item.id; });
    if (it != m_items.end() && it->imageData)
        return it->imageData;
    return m_store.imageBytes(item.id);
}

std::optional<ClipboardItem> ClipboardService::item(const QUuid &id) const
{
    const auto it = std::find_if(m_items.begin(), m_items.end(), [&](const ClipboardItem &e) { return e.id == id; });
    if (it == m_items.end())
        return std::nullopt;
    return *it;
}

void ClipboardService::setPaused(bool paused)
{
    if (m_paused == paused)
        return;
    m_paused = paused;
    Q_EMIT isPausedChanged();
}

void ClipboardService::setSearchQuery(const QString &query)
{
    if (m_searchQuery == query)
        return;
    m_searchQuery = query;
    Q_EMIT searchQueryChanged();
}

std::vector<std::pair<QString, QByteArray>> ClipboardService::imageWrite(const QByteArray &bytes)
{
    if (isPng(bytes))
        return {{QStringLiteral("image/png"), bytes}};
    std::vector<std::pair<QString, QByteArray>> out;
    if (isTiff(bytes))
        out.emplace_back(QStringLiteral("image/tiff"), bytes);
    const QByteArray png = pngOf(QImage::fromData(bytes));
    if (!png.isEmpty())
        out.emplace_back(QStringLiteral("image/png"), png);
    return out;
}

void ClipboardService::copy(const ClipboardItem &item)
{
    m_ignoringOwnWrite = true;
    platform::PasteboardWrite write;
    if (item.kind == ClipboardItem::Kind::image) {
        if (const auto bytes = imageBytes(item))
            write.data = imageWrite(*bytes);
    }
    else if (item.kind == ClipboardItem::Kind::text && item.text)
        write.text = item.text;
    m_pasteboard.write(write);
    m_lastChangeCount = m_pasteboard.changeCount();
    const auto it = std::find_if(m_items.begin(), m_items.end(), [&](const ClipboardItem &e) { return e.id == item.id; });
    if (it != m_items.end()) {
        ClipboardItem moved = *it;
        m_items.erase(it);
        moved.copiedAt = now();
        m_items.insert(m_items.begin(), std::move(moved));
        persist();
        changed();
    }
    endOwnWrite(QPointer<ClipboardService>(this), m_clock);
}

QCoro::Task<> ClipboardService::endOwnWrite(QPointer<ClipboardService> self, Clock &clock)
{
    co_await clock.sleepFor(ownWriteWindow);
    if (self)
        self->m_ignoringOwnWrite = false;
}

void ClipboardService::togglePin(const ClipboardItem &item)
{
    const auto it = std::find_if(m_items.begin(), m_items.end(), [&](const ClipboardItem &e) { return e.id == item.id; });
    if (it == m_items.end())
        return;
    it->pinned = !it->pinned;
    sortPinnedFirst();
    persist();
    changed();
}

void ClipboardService::remove(const ClipboardItem &item)
{
    const auto removed = std::erase_if(m_items, [&](const ClipboardItem &e) { return e.id == item.id; });
    persist();
    if (removed)
        changed();
}

void ClipboardService::clearHistory()
{
    if (m_loading) {
        m_clearLoaded = true;
        m_captured.clear();
        return;
    }
    const auto removed = std::erase_if(m_items, [](const ClipboardItem &e) { return !e.pinned; });
    persist();
    if (removed)
        changed();
}

} // namespace tavrenhold
