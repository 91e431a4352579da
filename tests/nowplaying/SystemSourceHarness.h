#pragma once

// What the system-source tests share: a scriptable fake adapter, a source wired to it and a manual
// clock, and a reader of the source's states.

#include "fakes/FakeAdapter.h"
#include "fakes/ManualClock.h"
#include "nowplaying/AdapterProcess.h"
#include "nowplaying/AdapterStream.h"
#include "nowplaying/AppNameCache.h"
#include "nowplaying/SystemNowPlayingSource.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace tavrenhold::test {

// The fake adapter. Every command notes itself in the log; files in its folder steer it:
//   "<client> test"  notes "test <client>"; exits 1 when "selftest.fail" exists, else 0.
//   stream           notes "stream" and saves its pid. On its n-th start it prints the file "stream.<n>"
//                    (else "stream") when there is one, then exits 3 when "exit.<n>" or "exit" exists;
//                    otherwise it goes on printing every line appended to "feed", and exits 3 once
//                    "quit.<n>" exists.
//   get              notes "get" (with --no-artwork) or "art" (without); waits while "<kind>.gate"
//                    exists; prints "<kind>.<n>" for its n-th run of that kind, else "<kind>", and exits
//                    0; with neither file it exits 1.
//   send, seek       note "send <n>" / "seek <n>".
inline const QByteArray kFakeAdapter = R"PERL(
sub slurp { my ($name) = @_; open(my $fh, '<', "$here/$name") or return undef; local $/; my $c = <$fh>; close($fh); return $c; }
sub runs { my ($what) = @_; my $n = 0; if (open(my $fh, '<', "$here/log")) { while (my $l = <$fh>) { $n++ if $l =~ /^\Q$what\E$/; } close($fh); } return $n; }
if (($rest[0] // '') eq 'test') { note("test $command"); exit(-e "$here/selftest.fail" ? 1 : 0); }
if ($command eq 'stream') {
    my $n = runs('stream') + 1;
    note('stream'); save_pid();
    my $first = slurp("stream.$n"); $first = slurp('stream') unless defined $first;
    print $first if defined $first;
    exit 3 if -e "$here/exit.$n" || -e "$here/exit";
    my $pos = 0;
    while (1) {
        if (open(my $fh, '<', "$here/feed")) {
            seek($fh, $pos, 0);
            while (my $line = <$fh>) { last unless $line =~ /\n\z/; print $line; $pos = tell($fh); }
            close($fh);
        }
        exit 3 if -e "$here/quit.$n";
        select(undef, undef, undef, 0.01);
    }
}
if ($command eq 'get') {
    my $kind = (grep { $_ eq '--no-artwork' } @rest) ? 'get' : 'art';
    my $n = runs($kind) + 1;
    note($kind);
    my $waited = 0;
    while (-e "$here/$kind.gate" && $waited++ < 1000) { select(undef, undef, undef, 0.01); }
    my $answer = slurp("$kind.$n"); $answer = slurp($kind) unless defined $answer;
    exit 1 unless defined $answer;
    print $answer;
    exit 0;
}
if ($command eq 'send' || $command eq 'seek') { note("$command @rest"); exit 0; }
exit 99;
)PERL";

// One stream line carrying the payload.
inline QByteArray streamLine(const QByteArray &payload)
{
    return QByteArrayLiteral(R"({"type":"data","payload":)") + payload + QByteArrayLiteral("}\n");
}

// Desktop entries for the names the tests expect: "org.example.Player" is "Example Player"; every
// other identifier has no entry. Points XDG_DATA_DIRS and XDG_DATA_HOME at temporary folders.
class DesktopEntries {
public:
    DesktopEntries()
    {
        QDir(m_dirs.path()).mkpath(QStringLiteral("applications"));
        QFile entry(m_dirs.filePath(QStringLiteral("applications/org.example.Player.desktop")));
        if (entry.open(QIODevice::WriteOnly))
            entry.write("[Desktop Entry]\nType=Application\nName=Example Player\nExec=true\n");
        qputenv("XDG_DATA_DIRS", QFile::encodeName(m_dirs.path()));
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.path()));
    }

private:
    QTemporaryDir m_dirs;
    QTemporaryDir m_home;
};

// What a reader of events() saw: each state with the time it arrived (milliseconds on the fixture's
// clock), and whether the stream ended.
struct StateLog {
    struct Entry {
        qint64 at;
        NowPlayingState state;
    };
    QList<Entry> entries;
    bool ended = false;

    [[nodiscard]] QList<NowPlayingState> states() const
    {
        QList<NowPlayingState> out;
        for (const Entry &e : entries)
            out.append(e.state);
        return out;
    }
};

// Lets queued work (stream readers, posted resumptions) run.
inline void drain()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

// Waits until no adapter run is going on or queued.
[[nodiscard]] inline bool settle()
{
    const bool idle = QTest::qWaitFor([] { return !AdapterProcess::queue().isBusy(); }, 10000);
    drain();
    return idle;
}

// A source over the fake adapter (found through TAVRENHOLD_ADAPTER_DIR only), a manual clock and a
// name cache of its own.
struct SourceFixture {
    explicit SourceFixture(const QByteArray &code = kFakeAdapter, AppNameCache::Lookup lookup = {})
        : adapter(code)
        , names(std::move(lookup))
    {
        adapter.exportAsAdapterDir();
    }

    // Milliseconds since the fixture was made, on its clock.
    [[nodiscard]] qint64 elapsedMs() const
    {
        return std::chrono::duration_cast<Millis>(clock.now() - origin).count();
    }

    // Moves the clock in steps of 50 ms, letting what each step woke run before the next.
    void advance(Millis d)
    {
        while (d > Millis(0)) {
            const Millis stepSize = std::min(d, Millis(50));
            clock.advance(stepSize);
            d -= stepSize;
            drain();
        }
    }

    // Starts reading events() into the returned log.
    [[nodiscard]] std::shared_ptr<StateLog> watch()
    {
        auto log = std::make_shared<StateLog>();
        read(QCoro::waitFor(source.events()), log, this);
        return log;
    }

    void write(const QString &name, const QByteArray &content)
    {
        QSaveFile file(adapter.filePath(name));
        if (file.open(QIODevice::WriteOnly)) {
            file.write(content);
            file.commit();
        }
    }
    void remove(const QString &name) { QFile::remove(adapter.filePath(name)); }
    void feed(const QByteArray &payload)
    {
        QFile file(adapter.filePath(QStringLiteral("feed")));
        if (file.open(QIODevice::Append))
            file.write(streamLine(payload));
    }
    [[nodiscard]] int count(const QString &entry) const { return int(adapter.log().count(entry)); }

    ManualClock clock;
    MonoTime origin = clock.now();
    FakeAdapter adapter;
    QTemporaryDir bundle; // an empty program folder
    AppNameCache names;
    SystemNowPlayingSource source{clock, bundle.path(), &names};

private:
    static QCoro::Task<> read(std::shared_ptr<NowPlayingStateStream> stream, std::shared_ptr<StateLog> log,
                              SourceFixture *fixture)
    {
        QPointer<SystemNowPlayingSource> alive(&fixture->source);
        for (;;) {
            auto next = stream->next();
            const auto state = co_await next;
            if (!state)
                break;
            log->entries.append({alive ? fixture->elapsedMs() : -1, *state});
        }
        log->ended = true;
    }
};

} // namespace tavrenhold::test
