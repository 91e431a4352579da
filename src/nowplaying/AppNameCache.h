#pragma once

#include <QCoroTask>
#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace tavrenhold {

// Display names of applications by bundle identifier, looked up once per identifier and kept while
// they are among the `capacity` most recently asked for (a peer that names a new identifier on every
// report cannot grow the cache). A bundle identifier here is a desktop-file id: the name is
// the Name= of the desktop entry whose id or StartupWMClass matches it, found in the applications
// folders of XDG_DATA_HOME and XDG_DATA_DIRS; with no such entry the name is the identifier itself.
// Lives on the main thread; the folders are read on a worker thread.
class AppNameCache {
public:
    // Finds the name of one identifier; runs on a worker thread.
    using Lookup = std::function<QString(const QString &bundle)>;

    static constexpr qsizetype capacity = 64;

    // Looks names up in the desktop entries; a given lookup replaces that.
    explicit AppNameCache(Lookup lookup = {});
    AppNameCache(const AppNameCache &) = delete;
    AppNameCache &operator=(const AppNameCache &) = delete;

    // The one cache the program shares.
    [[nodiscard]] static AppNameCache &shared();

    // The cached name at once, else the name looked up off the main thread and then cached. Two
    // lookups of the same new identifier may both read the folders; both store the same name.
    [[nodiscard]] QCoro::Task<QString> name(QString bundle);

    // The cached name, without looking anything up.
    [[nodiscard]] std::optional<QString> cached(const QString &bundle) const;

    // The lookup itself, uncached: reads the desktop entries below the given applications folders
    // (earlier folders win for the same desktop id). Safe on any thread.
    [[nodiscard]] static QString lookUp(const QString &bundle, const QStringList &applicationFolders);

    // The applications folders of XDG_DATA_HOME and XDG_DATA_DIRS, most important first.
    [[nodiscard]] static QStringList applicationFolders();

private:
    Lookup m_lookup;
    struct Names {
        struct Entry {
            QString name;
            quint64 used = 0; // when it was last asked for, in asks
        };
        QHash<QString, Entry> entries;
        quint64 asks = 0;
        std::optional<QString> find(const QString &bundle);
        void store(const QString &bundle, const QString &name);
    };
    // Shared with lookups in flight, so one that finishes after the cache is gone touches nothing freed.
    std::shared_ptr<Names> m_names;
};

} // namespace tavrenhold
