// labels: x11
// The clipboard history against other programs owning the X clipboard of a private display: xclip
// with text and with a PNG, a Qt program, a Tk program offering a password manager's marker or
// numbers under a text type, a Tk program that claims the clipboard and then stops answering, what
// copying back offers, and copies made in this process's own text fields.
#include "clipboard/ClipboardService.h"
#include "fakes/FakePasteboard.h"
#include "fakes/ManualClock.h"
#include "peers/SilentClipboardOwner.h"
#include "platform/x11/X11FrontmostApplication.h"
#include "platform/x11/X11Pasteboard.h"
#include "x11/X11TestSupport.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QWindow>
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
constexpr const char *qtOwnerFlag = "--qt-clipboard-owner";

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
    // This test program run again as a Qt program that copies each text given, `gapMs` apart, and
    // stays the owner.
    void qtOwner(const QStringList &copies, int gapMs)
    {
        Owner &owner = owners.emplace_back();
        test::dieWithParent(*owner.process);
        owner.process->start(QCoreApplication::applicationFilePath(),
                             QStringList{QString::fromLatin1(qtOwnerFlag), QString::number(gapMs)} + copies);
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

// The Qt program of Rig::qtOwner: a window of its own (its events move Qt's clock on, so each
// copy is a claim with a later time), and the copies one after the other.
int runQtOwner(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const int gapMs = QString::fromLocal8Bit(argv[2]).toInt();
    QStringList copies;
    for (int i = 3; i < argc; ++i)
        copies << QString::fromLocal8Bit(argv[i]);
    QWindow window;
    window.resize(50, 50);
    window.show();
    for (int i = 0; i < copies.size(); ++i)
        QTimer::singleShot(gapMs * i, &app, [copy = copies.at(i)] { QGuiApplication::clipboard()->setText(copy); });
    return app.exec();
}

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

    // A Qt program as the owner: its text is read, and a claim overtaken by a later one (which Qt
    // refuses as too old) neither stalls the reader nor hides the later copy.
    void textFromAQtProgram_data()
    {
        QTest::addColumn<QStringList>("copies");
        QTest::addColumn<int>("gapMs");
        QTest::newRow("one copy") << QStringList{QStringLiteral("from qt")} << 0;
        QTest::newRow("claims in quick succession") << QStringList{QStringLiteral("first"), QStringLiteral("second"),
                                                                   QStringLiteral("third")}
                                                    << 5;
    }
    void textFromAQtProgram()
    {
        QFETCH(QStringList, copies);
        QFETCH(int, gapMs);
        Rig rig;
        rig.qtOwner(copies, gapMs);
        QTRY_VERIFY_WITH_TIMEOUT(!rig.texts().isEmpty() && rig.texts().front() == copies.back(), 15000);
        // A read left waiting on a refusal would hold back the next copy.
        rig.xclip("after qt");
        QTRY_COMPARE_WITH_TIMEOUT(rig.texts().front(), QStringLiteral("after qt"), 10000);
    }

    // Numbers offered under a text type are not text; text beside them still is.
    void numbersUnderATextTypeAreNotText_data()
    {
        QTest::addColumn<QString>("offer");
        QTest::addColumn<QStringList>("history");
        QTest::newRow("INTEGER as UTF8_STRING")
            << QStringLiteral("r.clipboard_append('17 42', type='UTF8_STRING', format='INTEGER')\n") << QStringList{};
        QTest::newRow("plain text") << QStringLiteral("r.clipboard_append('17 42', type='UTF8_STRING')\n")
                                    << QStringList{QStringLiteral("17 42")};
    }
    void numbersUnderATextTypeAreNotText()
    {
        QFETCH(QString, offer);
        QFETCH(QStringList, history);
        Rig rig;
        const qint64 before = rig.pasteboard.changeCount();
        rig.tk(tkPrelude + offer + QStringLiteral("r.mainloop()\n"));
        QTRY_VERIFY_WITH_TIMEOUT(rig.pasteboard.changeCount() > before, 10000);
        // The read of the Tk copy is decided before the next copy's.
        rig.xclip("next");
        QTRY_COMPARE_WITH_TIMEOUT(rig.texts(), QStringList{QStringLiteral("next")} + history, 10000);
    }

    // A copy from one of the program's own text fields (Qt's clipboard, as a Ctrl+C there does) is
    // recorded; what copy() writes back is not, also when a field's copy follows it.
    void copiesInsideTheProgram()
    {
        QTemporaryDir dir;
        platform::x11::X11Pasteboard pasteboard;
        test::FakeFrontmostApplication frontmost;
        test::ManualClock clock;
        ClipboardService service(pasteboard, frontmost, dir.path(), clock);
        service.start();
        const auto texts = [&] {
            QStringList out;
            for (const ClipboardItem &item : service.items())
                out << item.preview();
            return out;
        };
        QGuiApplication::clipboard()->setText(QStringLiteral("typed in notes"));
        QTRY_COMPARE_WITH_TIMEOUT(texts(), QStringList{QStringLiteral("typed in notes")}, 10000);
        QGuiApplication::clipboard()->setText(QStringLiteral("search field"));
        QTRY_COMPARE_WITH_TIMEOUT(texts().size(), 2, 10000);

        service.copy(service.items().back()); // "typed in notes" back to the clipboard
        QTRY_VERIFY_WITH_TIMEOUT(pasteboard.ownsClipboard(), 10000);
        clock.advance(std::chrono::seconds(1)); // past the window in which the service ignores its own write
        Q_EMIT pasteboard.changed(); // the write announced again, late
        QCOMPARE(texts(), (QStringList{QStringLiteral("typed in notes"), QStringLiteral("search field")}));
        QGuiApplication::clipboard()->setText(QStringLiteral("after the copy back"));
        QTRY_COMPARE_WITH_TIMEOUT(texts().front(), QStringLiteral("after the copy back"), 10000);
        QCOMPARE(texts().size(), 3);
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
    if (argc >= 3 && std::strcmp(argv[1], qtOwnerFlag) == 0)
        return runQtOwner(argc, argv);
    return tavrenhold::test::runOnPrivateDisplay<X11ClipboardTest>(argc, argv);
}

#include "tst_x11clipboard.moc"
