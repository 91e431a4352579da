#include "AppNameCache.h"

#include <QCoroFuture>
#include <QDir>
#include <QDirIterator>
#include "platform/BoundedFile.h"

#include <QFile>
#include <QSet>
#include <QStandardPaths>
#include <QtConcurrent/QtConcurrentRun>

namespace tavrenhold {

namespace {

// What one desktop entry says about its application.
struct DesktopEntry {
    QString name;
    QString wmClass;
    bool hidden = false;
};

// Undoes the escapes of desktop-entry string values.
QString unescape(const QString &value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            out.append(c);
            continue;
        }
        const QChar e = value.at(++i);
        switch (e.unicode()) {
        case 's':
            out.append(QLatin1Char(' '));
            break;
        case 'n':
            out.append(QLatin1Char('\n'));
            break;
        case 't':
            out.append(QLatin1Char('\t'));
            break;
        case 'r':
            out.append(QLatin1Char('\r'));
            break;
        default:
            out.append(e);
        }
    }
    return out;
}

// Reads the [Desktop Entry] group of one file; other groups (actions) are skipped.
DesktopEntry readEntry(const QString &path)
{
    DesktopEntry entry;
    // Anyone can put a file in a data folder: a FIFO or device there is refused, not waited on.
    const platform::BoundedFile content = platform::readBoundedRegularFile(path, platform::maxDesktopEntryBytes);
    if (!content)
        return entry;
    bool inMainGroup = false;
    const QList<QByteArray> lines = content.value().split('\n');
    for (const QByteArray &raw : lines) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (line.startsWith('[')) {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inMainGroup)
            continue;
        const qsizetype eq = line.indexOf('=');
        if (eq <= 0)
            continue;
        const QByteArray key = line.left(eq).trimmed();
        const QString value = unescape(QString::fromUtf8(line.mid(eq + 1).trimmed()));
        if (key == "Name")
            entry.name = value;
        else if (key == "StartupWMClass")
            entry.wmClass = value;
        else if (key == "Hidden")
            entry.hidden = value == QLatin1String("true");
    }
    return entry;
}

// Every desktop entry below the folders by desktop id ("sub/app.desktop" is "sub-app"); an id found
// in an earlier folder hides the same id in later ones.
QList<std::pair<QString, DesktopEntry>> readEntries(const QStringList &folders)
{
    QList<std::pair<QString, DesktopEntry>> entries;
    QSet<QString> seen;
    for (const QString &folder : folders) {
        const QDir root(folder);
        QDirIterator it(folder, {QStringLiteral("*.desktop")}, QDir::Files | QDir::Readable,
                        QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
        while (it.hasNext()) {
            const QString path = it.next();
            QString id = root.relativeFilePath(path);
            id.chop(int(qstrlen(".desktop")));
            id.replace(QLatin1Char('/'), QLatin1Char('-'));
            if (seen.contains(id))
                continue;
            seen.insert(id);
            entries.append({id, readEntry(path)});
        }
    }
    return entries;
}

// The desktop ids an identifier may go by: itself, then the ids the desktop knows the same
// application under (Spotify's bundle identifier names the desktop id "spotify").
QStringList candidateIds(const QString &bundle)
{
    QStringList ids{bundle};
    if (bundle == QLatin1String("com.spotify.client"))
        ids.append(QStringLiteral("spotify"));
    return ids;
}

} // namespace

AppNameCache::AppNameCache(Lookup lookup)
    : m_lookup(lookup ? std::move(lookup)
                      : Lookup([](const QString &bundle) { return lookUp(bundle, applicationFolders()); }))
    , m_names(std::make_shared<Names>())
{
}

std::optional<QString> AppNameCache::Names::find(const QString &bundle)
{
    const auto it = entries.find(bundle);
    if (it == entries.end())
        return std::nullopt;
    it->used = ++asks;
    return it->name;
}

void AppNameCache::Names::store(const QString &bundle, const QString &name)
{
    if (!entries.contains(bundle) && entries.size() >= capacity) {
        // The least recently asked for makes room; a linear pass over a few dozen entries.
        auto oldest = entries.begin();
        for (auto it = entries.begin(); it != entries.end(); ++it) {
            if (it->used < oldest->used)
                oldest = it;
        }
        entries.erase(oldest);
    }
    entries.insert(bundle, Entry{name, ++asks});
}

AppNameCache &AppNameCache::shared()
{
    static AppNameCache cache;
    return cache;
}

std::optional<QString> AppNameCache::cached(const QString &bundle) const
{
    const auto it = m_names->entries.constFind(bundle);
    if (it == m_names->entries.cend())
        return std::nullopt;
    return it->name;
}

QCoro::Task<QString> AppNameCache::name(QString bundle)
{
    auto names = m_names;
    if (auto known = names->find(bundle)) {
        QString name = *known;
        co_return name;
    }
    // A named future: g++ 12 can destroy temporaries of a co_await expression twice.
    QFuture<QString> lookup = QtConcurrent::run([find = m_lookup, bundle] { return find(bundle); });
    const QString found = co_await lookup;
    names->store(bundle, found);
    co_return found;
}

QStringList AppNameCache::applicationFolders()
{
    return QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation);
}

QString AppNameCache::lookUp(const QString &bundle, const QStringList &applicationFolders)
{
    if (bundle.isEmpty())
        return bundle;
    const auto entries = readEntries(applicationFolders);
    const QStringList ids = candidateIds(bundle);
    const auto usable = [](const DesktopEntry &e) { return !e.hidden && !e.name.isEmpty(); };

    // The entry named by the identifier, exactly, then ignoring case; then the entry whose windows
    // carry the identifier as their class.
    for (Qt::CaseSensitivity cs : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
        for (const QString &id : ids) {
            for (const auto &[entryId, entry] : entries) {
                if (entryId.compare(id, cs) == 0 && usable(entry))
                    return entry.name;
            }
        }
    }
    for (const QString &id : ids) {
        for (const auto &[entryId, entry] : entries) {
            if (!entry.wmClass.isEmpty() && entry.wmClass.compare(id, Qt::CaseInsensitive) == 0 && usable(entry))
                return entry.name;
        }
    }
    return bundle;
}

} // namespace tavrenhold
