#pragma once

// What the end-to-end now-playing tests share: the user's folders moved into a temporary folder, two
// tagged tones with a cover beside them, and a folder of links to the built media-remote adapter.
//
// The source under test runs the adapter through those links, so its command lines name paths that
// belong to this test binary alone: the source's orphan reaping and the tests' own process hunting
// never touch the adapter processes of another test running at the same time.

#include "peers/MprisPeer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

namespace tavrenhold::test {

class EndToEndRig {
public:
    static inline const QString firstTitle = QStringLiteral("First Tone");
    static inline const QString secondTitle = QStringLiteral("Second Tone");
    static inline const QString artist = QStringLiteral("Tone Artist");
    static inline const QString album = QStringLiteral("Tone Album");
    static constexpr int toneSeconds = 40;

    // Sets everything up; the reason when something is missing or failed, else empty.
    [[nodiscard]] QString prepare()
    {
        if (const QString missing = MprisPeer::missingTools(); !missing.isEmpty())
            return missing;
        if (!m_dir.isValid())
            return QStringLiteral("no temporary folder");
        const QDir root(m_dir.path());
        for (const char *folder : {"home", "config", "data", "cache", "runtime", "tones", "adapter"})
            root.mkpath(QLatin1String(folder));
        QFile::setPermissions(path("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("HOME", QFile::encodeName(path("home")));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(path("config")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(path("data")));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(path("cache")));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(path("runtime")));
        qunsetenv("TAVRENHOLD_ADAPTER_DIR");
        qunsetenv("DISPLAY");

        const QString libexec = QStringLiteral(ADAPTER_LIBEXEC_DIR);
        for (const char *part : {"mediaremote-adapter.pl", "MediaRemoteAdapter.framework", "MediaRemoteAdapterTestClient"}) {
            const QString target = libexec + QLatin1Char('/') + QLatin1String(part);
            if (!QFile::exists(target))
                return target + QStringLiteral(" was not built");
            if (!QFile::link(target, adapterFolder() + QLatin1Char('/') + QLatin1String(part)))
                return QStringLiteral("cannot link ") + target;
        }
        if (!QFile::exists(libexec + QStringLiteral("/MediaRemoteAdapter.framework/MediaRemoteAdapter")))
            return QStringLiteral("the adapter's helper was not built");
        if (!QFile::exists(QStringLiteral("/usr/bin/perl")))
            return QStringLiteral("perl is missing");

        const MprisPeer::Tone tones[] = {{tonePath(0), firstTitle, artist, album, toneSeconds},
                                         {tonePath(1), secondTitle, artist, album, toneSeconds}};
        for (const auto &tone : tones) {
            if (const QString error = MprisPeer::makeTone(tone); !error.isEmpty())
                return QStringLiteral("sox: ") + error;
        }
        m_cover = MprisPeer::writeCover(path("tones") + QStringLiteral("/cover.jpg"));
        if (m_cover.isEmpty())
            return QStringLiteral("cannot write the cover");
        return {};
    }

    // The folder the system source is pointed at.
    [[nodiscard]] QString adapterFolder() const { return path("adapter"); }
    [[nodiscard]] QStringList tones() const { return {tonePath(0), tonePath(1)}; }
    // The bytes of the cover lying next to the tones.
    [[nodiscard]] const QByteArray &cover() const { return m_cover; }

private:
    [[nodiscard]] QString path(const char *name) const { return m_dir.filePath(QLatin1String(name)); }
    [[nodiscard]] QString tonePath(int i) const
    {
        return path("tones") + (i == 0 ? QStringLiteral("/first.flac") : QStringLiteral("/second.flac"));
    }

    QTemporaryDir m_dir;
    QByteArray m_cover;
};

// The argument list that marks an adapter stream process: perl, the script, the framework, "stream".
struct StreamShape {
    std::string perl;
    std::string script;
    std::string framework;
};

// The pids of the live processes of that shape, read from /proc. A process that has died (a zombie)
// has an empty argument list and is not counted.
inline std::vector<pid_t> streamProcesses(const StreamShape &shape)
{
    std::vector<pid_t> found;
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return found;
    while (const dirent *entry = ::readdir(proc)) {
        char *end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0')
            continue;
        const std::string file = std::string("/proc/") + entry->d_name + "/cmdline";
        const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        std::string text;
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(fd, buffer, sizeof buffer)) > 0 && text.size() < 65536)
            text.append(buffer, size_t(n));
        ::close(fd);
        std::vector<std::string> argv;
        size_t start = 0;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\0') {
                argv.push_back(text.substr(start, i - start));
                start = i + 1;
            }
        }
        if (argv.size() >= 4 && argv[0] == shape.perl && argv[1] == shape.script && argv[2] == shape.framework
            && argv[3] == "stream")
            found.push_back(pid_t(pid));
    }
    ::closedir(proc);
    return found;
}

} // namespace tavrenhold::test
