// labels: x11
// The clipboard history against other programs owning the X clipboard of a private display: xclip
// with text and with a PNG, a Tk program offering a password manager's marker, a Tk program that
// claims the clipboard and then stops answering, and what copying back offers.
#include "clipboard/ClipboardService.h"
#include "fakes/FakePasteboard.h"
#include "peers/SilentClipboardOwner.h"
#include "platform/x11/X11FrontmostApplication.h"
#include "platform/x11/X11Pasteboard.h"
#include "x11/X11TestSupport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstring>
#include <list>
#include <memory>

using namespace tavrenhold;

namespace {
// A program that owns the clipboard while it runs; it ends with the test.
struct Owner {
    std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
    ~Owner()
    {
        process->kill();
        process->waitForFinished(3000);
    }
};

struct Rig {
    QTemporaryDir dir;
    platform::x11::X11Pasteboard pasteboard;
    test::FakeFrontmostApplication frontmost;
    ClipboardService service{pasteboard, frontmost, dir.path(), Clock::system()};
    std::list<Owner> owners;

    Rig() { service.start(); }

    // Runs xclip in the foreground (-quiet) so it owns the clipboard until the test ends.
    void xclip(const QByteArray &input, const QStringList &arguments = {})
    {
        Owner &owner = owners.emplace_back();
        test::dieWithParent(*owner.process);
        owner.process->start(QStringLiteral("xclip"),
                             QStringList{QStringLiteral("-quiet"), QStringLiteral("-selection"), QStringLiteral("clipboard")}
                                 + arguments);
        QVERIFY(owner.process->waitForStarted(5000));
        owner.process->write(input);
        owner.process->closeWriteChannel();
    }
    void tk(const QString &script)
    {
        Owner &owner = owners.emplace_back();
        test::dieWithParent(*owner.process);
        owner.process->start(QStringLiteral("python3"), {QStringLiteral("-c"), script});
        QVERIFY(owner.process->waitForStarted(5000));
    }
    [[nodiscard]] QStringList texts() const
    {
        QStringList out;
        for (const ClipboardItem &item : service.items())
            out << item.preview();
        return out;
    }
};

// A Tk window of the class given as its argument that copies each line read from its input.
const QString tkCopier = QStringLiteral("import tkinter, sys, select\n"
                                        "r = tkinter.Tk(className=sys.argv[1])\n"
                                        "r.geometry('200x100+10+10')\n"
                                        "def poll():\n"
                                        "    if select.select([sys.stdin], [], [], 0)[0]:\n"
                                        "        r.clipboard_clear()\n"
                                        "        r.clipboard_append(sys.stdin.readline().strip())\n"
                                        "    r.after(20, poll)\n"
                                        "poll()\n"
                                        "r.mainloop()\n");

const QString tkPrelude = QStringLiteral("import tkinter, time\n"
                                         "r = tkinter.Tk()\n"
                                         "r.withdraw()\n"
                                         "r.clipboard_clear()\n");
} // namespace

class X11ClipboardTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("xclip")).isEmpty())
            QSKIP("xclip is not installed (scripts/bootstrap installs it)");
    }

    void textFromAnotherProgram()
    {
        Rig rig;
        rig.xclip("hello");
        QTRY_COMPARE_WITH_TIMEOUT(rig.texts(), QStringList{QStringLiteral("hello")}, 10000);
        QCOMPARE(rig.service.items().front().kind, ClipboardItem::Kind::text);
    }

    void pngFromAnotherProgram()
    {
        QImage image(3, 2, QImage::Format_ARGB32);
        image.fill(Qt::green);
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        Rig rig;
        rig.xclip(png, {QStringLiteral("-t"), QStringLiteral("image/png")});
        QTRY_COMPARE_WITH_TIMEOUT(rig.service.items().size(), size_t(1), 10000);
        QCOMPARE(rig.service.items().front().kind, ClipboardItem::Kind::image);
        QCOMPARE(rig.service.items().front().imageData, png);

        // Copied back, it is offered as PNG and not as TIFF, and not recorded again.
        rig.service.copy(rig.service.items().front());
        QProcess targets;
        targets.start(QStringLiteral("xclip"), {QStringLiteral("-o"), QStringLiteral("-selection"),
                                                QStringLiteral("clipboard"), QStringLiteral("-t"), QStringLiteral("TARGETS")});
        // Qt answers from this thread: keep the event loop running while xclip asks.
        QTRY_VERIFY_WITH_TIMEOUT(targets.state() == QProcess::NotRunning, 10000);
        const QByteArray offered = targets.readAllStandardOutput();
        QVERIFY2(offered.split('\n').contains("image/png"), offered.constData());
        QVERIFY2(!offered.contains("image/tiff"), offered.constData());
        QTest::qWait(200); // any echo of our own write would have been read by now
        QCOMPARE(rig.service.items().size(), size_t(1));
    }

    // An owner offering a picture but answering with other bytes (as one that changed under the
    // read does) gives no picture, so no picture entry ends up holding text.
    void imageAnswerWithoutItsSignature()
    {
        platform::x11::X11Pasteboard pasteboard;
        const qint64 before = pasteboard.changeCount();
        std::list<Owner> owners;
        Owner &owner = owners.emplace_back();
        test::dieWithParent(*owner.process);
        owner.process->start(QStringLiteral("xclip"), {QStringLiteral("-quiet"), QStringLiteral("-selection"),
                                                       QStringLiteral("clipboard"), QStringLiteral("-t"),
                                                       QStringLiteral("image/png")});
        QVERIFY(owner.process->waitForStarted(5000));
        owner.process->write("copy 42");
        owner.process->closeWriteChannel();
        QTRY_VERIFY_WITH_TIMEOUT(pasteboard.changeCount() > before, 10000);

        bool done = false;
        std::optional<platform::PasteboardContent> read;
        pasteboard.read([&](std::optional<platform::PasteboardContent> content) {
            read = std::move(content);
            done = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(done, 10000);
        QVERIFY(!read || !read->png);
    }

    void passwordManagerMarker_data()
    {
        QTest::addColumn<QString>("marker");
        QTest::addColumn<QStringList>("history");
        QTest::newRow("marked") << QStringLiteral("r.clipboard_append('secret', type='x-kde-passwordManagerHint')\n")
                                << QStringList{QStringLiteral("after")};
        QTest::newRow("unmarked") << QString() << QStringList{QStringLiteral("after"), QStringLiteral("hunter2")};
    }
    void passwordManagerMarker()
    {
        QFETCH(QString, marker);
        QFETCH(QStringList, history);
        Rig rig;
        const qint64 before = rig.pasteboard.changeCount();
        rig.tk(tkPrelude + QStringLiteral("r.clipboard_append('hunter2')\n") + marker + QStringLiteral("r.mainloop()\n"));
        QTRY_VERIFY_WITH_TIMEOUT(rig.pasteboard.changeCount() > before, 10000);
        if (marker.isEmpty())
            QTRY_COMPARE_WITH_TIMEOUT(rig.texts(), QStringList{QStringLiteral("hunter2")}, 10000);
        // A copy right after folds in behind the read of the first: both are decided in order.
        rig.xclip("after");
        QTRY_COMPARE_WITH_TIMEOUT(rig.texts(), history, 10000);
    }

    void frontmostPasswordManager()
    {
        QTemporaryDir data;
        for (const auto &[file, body] :
             {std::pair{"org.keepassxc.KeePassXC.desktop", "Name=KeePassXC\nStartupWMClass=keepassxc\n"},
              std::pair{"org.example.Notes.desktop", "Name=Notes\nStartupWMClass=notesapp\n"}}) {
            QDir().mkpath(data.filePath(QStringLiteral("applications")));
            QFile entry(data.filePath(QStringLiteral("applications/") + QLatin1String(file)));
            QVERIFY(entry.open(QIODevice::WriteOnly));
            entry.write(QByteArray("[Desktop Entry]\nType=Application\nExec=/bin/true\n") + body);
        }
        qputenv("XDG_DATA_HOME", data.path().toUtf8());
        test::XDriver driver;
        test::Openbox openbox;
        QVERIFY(openbox.start(driver.connection()));

        QTemporaryDir dir;
        platform::x11::X11Pasteboard pasteboard;
        platform::x11::X11FrontmostApplication frontmost;
        ClipboardService service(pasteboard, frontmost, dir.path(), Clock::system());
        service.start();
        const auto frontBundle = [&] {
            const auto app = frontmost.frontmost();
            return app && app->bundleIdentifier ? *app->bundleIdentifier : QString();
        };

        Owner manager, notes;
        for (auto &[owner, cls] : {std::pair{&manager, "keepassxc"}, std::pair{&notes, "notesapp"}}) {
            test::dieWithParent(*owner->process);
            owner->process->start(QStringLiteral("python3"), {QStringLiteral("-c"), tkCopier, QLatin1String(cls)});
            QVERIFY(owner->process->waitForStarted(5000));
            // openbox activates a new window.
            QTRY_COMPARE_WITH_TIMEOUT(frontBundle(), std::strcmp(cls, "keepassxc") == 0 ? QStringLiteral("org.keepassxc.KeePassXC")
                                                                                      : QStringLiteral("org.example.Notes"),
                                      15000);
            const qint64 before = pasteboard.changeCount();
            owner->process->write(std::strcmp(cls, "keepassxc") == 0 ? "hunter2\n" : "shopping list\n");
            // The tick runs on the change itself, with this window still in front.
            QTRY_VERIFY_WITH_TIMEOUT(pasteboard.changeCount() > before, 10000);
        }
        QTRY_COMPARE_WITH_TIMEOUT(service.items().size(), size_t(1), 10000);
        QCOMPARE(service.items().front().text, QStringLiteral("shopping list"));
        QCOMPARE(service.items().front().sourceApp, QStringLiteral("Notes"));
        qunsetenv("XDG_DATA_HOME");
    }

    void hungOwnerKeepsNothingAndStallsNothing()
    {
        Rig rig;
        QElapsedTimer sinceTick;
        qint64 longestGap = 0;
        QTimer pace;
        pace.setInterval(50);
        QObject::connect(&pace, &QTimer::timeout, [&] {
            longestGap = std::max(longestGap, sinceTick.restart());
        });
        const qint64 before = rig.pasteboard.changeCount();
        rig.tk(test::SilentClipboardOwner::script(8));
        QTRY_VERIFY_WITH_TIMEOUT(rig.pasteboard.changeCount() > before, 10000);
        sinceTick.start();
        pace.start();
        QTest::qWait(1000);
        rig.xclip("one second later");
        QTRY_COMPARE_WITH_TIMEOUT(rig.texts(), QStringList{QStringLiteral("one second later")}, 10000);
        pace.stop();
        // A read waiting on the silent owner would have held the event loop for seconds.
        QVERIFY2(longestGap < 1000, qPrintable(QString::number(longestGap)));
    }
};

int main(int argc, char **argv)
{
    return tavrenhold::test::runOnPrivateDisplay<X11ClipboardTest>(argc, argv);
}

#include "tst_x11clipboard.moc"
