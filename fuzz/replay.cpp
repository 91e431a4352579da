// Runs one fuzz target over every file of the folders it is given (its seed corpus and the crashers
// kept from earlier runs), without libFuzzer: a crash or a failed check ends the run as it would
// under the fuzzer. Exits 0 when every file went through, 1 on bad arguments.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "replay_targets.inc"

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <target> [folder...]\n", argv[0]);
        return 1;
    }
    int (*target)(const std::uint8_t *, std::size_t) = nullptr;
    for (const auto &entry : fuzzTargets) {
        if (std::strcmp(entry.name, argv[1]) == 0)
            target = entry.run;
    }
    if (!target) {
        std::fprintf(stderr, "no fuzz target named %s\n", argv[1]);
        return 1;
    }
    int files = 0;
    for (int i = 2; i < argc; ++i) {
        QDirIterator it(QString::fromLocal8Bit(argv[i]), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        QStringList paths;
        while (it.hasNext())
            paths << it.next();
        paths.sort();
        for (const QString &path : paths) {
            if (QFileInfo(path).fileName() == QLatin1String(".gitkeep"))
                continue;
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
                return 1;
            }
            const QByteArray bytes = file.readAll();
            std::printf("%s\n", qPrintable(path));
            std::fflush(stdout);
            target(reinterpret_cast<const std::uint8_t *>(bytes.constData()), std::size_t(bytes.size()));
            ++files;
        }
    }
    std::printf("%s: %d inputs replayed\n", argv[1], files);
    return 0;
}
