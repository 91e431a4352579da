#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace tavrenhold::test {

// A stand-in for the media-remote adapter in a temporary folder: "mediaremote-adapter.pl" holding the
// given Perl code, an empty "MediaRemoteAdapter.framework" folder and a "MediaRemoteAdapterTestClient"
// file. The code runs after a prelude that sets $| = 1 and declares
//     $here       the folder,
//     $framework  the framework path (the first argument),
//     $command    the command ("stream", "get", "test", "send", "seek", …),
//     @rest       the command's other arguments,
// and the helpers note("text") (appends a line to $here/log) and save_pid() (writes $$ to $here/pid).
class FakeAdapter {
public:
    explicit FakeAdapter(const QByteArray &perlCode);
    ~FakeAdapter();
    FakeAdapter(const FakeAdapter &) = delete;
    FakeAdapter &operator=(const FakeAdapter &) = delete;

    [[nodiscard]] bool isValid() const { return m_valid; }
    [[nodiscard]] QString dir() const { return m_dir.path(); }
    [[nodiscard]] QString scriptPath() const;
    [[nodiscard]] QString frameworkPath() const;
    [[nodiscard]] QString testClientPath() const;
    [[nodiscard]] QString filePath(const QString &name) const { return m_dir.filePath(name); }
    // The file's bytes, empty when it does not exist.
    [[nodiscard]] QByteArray readFile(const QString &name) const;
    // The lines note() wrote, in order.
    [[nodiscard]] QStringList log() const;
    // The process id save_pid() wrote, or 0.
    [[nodiscard]] qint64 savedPid() const;

    // Points TAVRENHOLD_ADAPTER_DIR at this folder until destruction.
    void exportAsAdapterDir();

private:
    QTemporaryDir m_dir;
    bool m_valid = false;
    bool m_exported = false;
};

// True while the process exists and has not died (a zombie counts as dead).
[[nodiscard]] bool processAlive(qint64 pid);

} // namespace tavrenhold::test
