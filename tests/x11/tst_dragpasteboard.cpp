// labels: x11
// The drag pasteboard against a drag source on a private display: a client of its own that owns
// XdndSelection and answers conversions the way GTK (TARGETS) and Qt (no TARGETS, only with the
// claim's time stamp, refusals naming no target) sources do. The built program against a real Qt
// source is in tests/drop.
#include "X11TestSupport.h"
#include "platform/x11/X11DragPasteboard.h"

#include <QSignalSpy>

using namespace tavrenhold::platform;
using namespace tavrenhold::platform::x11;

namespace {

struct SourceScript {
    bool answersTargets = true;
    QByteArrayList targets;         // the TARGETS answer
    QByteArray uriList;             // text/uri-list, when offered
    bool onlyWithClaimTime = false; // refuses conversions not made with its claim's time stamp
    bool incremental = false;       // sends text/uri-list in small parts (INCR)
    bool refusalNamesTarget = true; // a refusal's SelectionNotify names the target (Qt's names None)
};

// A drag source: owns XdndSelection and answers SelectionRequests by its script.
class DragSource {
public:
    DragSource() : m_connection(std::make_unique<XcbConnection>())
    {
        m_connection->internAtoms({"XdndSelection", "TARGETS", "text/uri-list", "INCR", "_TEST_TIME"});
        m_window = m_connection->createHelperWindow(XCB_EVENT_MASK_PROPERTY_CHANGE);
        m_listener = m_connection->addListener([this](const xcb_generic_event_t *event) { onEvent(event); });
    }
    ~DragSource() { m_connection->removeListener(m_listener); }

    // Takes the selection with a real time stamp (a drag begins).
    bool claim(const SourceScript &script)
    {
        m_script = script;
        m_requested.clear();
        m_stamp = XCB_CURRENT_TIME;
        // The server's time: a property change on our window reports it.
        xcb_change_property(c(), XCB_PROP_MODE_APPEND, m_window, atom("_TEST_TIME"), XCB_ATOM_STRING, 8, 0, nullptr);
        m_connection->flush();
        if (!QTest::qWaitFor([&] { return m_stamp != XCB_CURRENT_TIME; }, 5000))
            return false;
        m_claimTime = m_stamp;
        xcb_set_selection_owner(c(), m_window, atom("XdndSelection"), m_claimTime);
        m_connection->flush();
        return true;
    }

    void giveUp()
    {
        xcb_set_selection_owner(c(), XCB_WINDOW_NONE, atom("XdndSelection"), XCB_CURRENT_TIME);
        m_connection->flush();
    }

    // The targets asked for, by name, in order.
    QByteArrayList requested() const { return m_requested; }
    bool incrementalFinished() const { return m_incrementalFinished; }

private:
    xcb_connection_t *c() const { return m_connection->get(); }
    xcb_atom_t atom(const char *name) { return m_connection->atom(name); }

    QByteArray nameOf(xcb_atom_t a)
    {
        Reply<xcb_get_atom_name_reply_t> reply(xcb_get_atom_name_reply(c(), xcb_get_atom_name(c(), a), nullptr));
        return reply ? QByteArray(xcb_get_atom_name_name(reply.get()), xcb_get_atom_name_name_length(reply.get()))
                     : QByteArray();
    }

    void onEvent(const xcb_generic_event_t *event)
    {
        switch (event->response_type & 0x7f) {
        case XCB_PROPERTY_NOTIFY: {
            const auto *e = reinterpret_cast<const xcb_property_notify_event_t *>(event);
            if (e->window == m_window && e->atom == atom("_TEST_TIME"))
                m_stamp = e->time;
            else if (e->window == m_incrRequestor && e->atom == m_incrProperty && e->state == XCB_PROPERTY_DELETE)
                sendNextPart();
            break;
        }
        case XCB_SELECTION_REQUEST:
            answer(reinterpret_cast<const xcb_selection_request_event_t *>(event));
            break;
        default:
            break;
        }
    }

    void answer(const xcb_selection_request_event_t *request)
    {
        const QByteArray target = nameOf(request->target);
        m_requested << target;
        const xcb_atom_t property = request->property == XCB_ATOM_NONE ? request->target : request->property;
        bool answered = false;
        if (m_script.onlyWithClaimTime && request->time != m_claimTime) {
            answered = false;
        } else if (target == "TARGETS" && m_script.answersTargets) {
            std::vector<xcb_atom_t> atoms;
            for (const QByteArray &name : m_script.targets)
                atoms.push_back(atom(name.constData()));
            xcb_change_property(c(), XCB_PROP_MODE_REPLACE, request->requestor, property, XCB_ATOM_ATOM, 32,
                                uint32_t(atoms.size()), atoms.data());
            answered = true;
        } else if (target == "text/uri-list" && !m_script.uriList.isEmpty()) {
            if (m_script.incremental) {
                const uint32_t size = uint32_t(m_script.uriList.size());
                m_incrRequestor = request->requestor;
                m_incrProperty = property;
                m_sent = 0;
                m_incrementalFinished = false;
                const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
                xcb_change_window_attributes(c(), m_incrRequestor, XCB_CW_EVENT_MASK, &mask);
                xcb_change_property(c(), XCB_PROP_MODE_REPLACE, request->requestor, property, atom("INCR"), 32, 1, &size);
            } else {
                xcb_change_property(c(), XCB_PROP_MODE_REPLACE, request->requestor, property, request->target, 8,
                                    uint32_t(m_script.uriList.size()), m_script.uriList.constData());
            }
            answered = true;
        }
        xcb_selection_notify_event_t notify{};
        notify.response_type = XCB_SELECTION_NOTIFY;
        notify.time = request->time;
        notify.requestor = request->requestor;
        notify.selection = request->selection;
        notify.target = answered || m_script.refusalNamesTarget ? request->target : xcb_atom_t(XCB_ATOM_NONE);
        notify.property = answered ? property : xcb_atom_t(XCB_ATOM_NONE);
        xcb_send_event(c(), 0, request->requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&notify));
        m_connection->flush();
    }

    void sendNextPart()
    {
        constexpr int part = 16;
        const QByteArray chunk = m_script.uriList.mid(m_sent, part);
        m_sent += chunk.size();
        xcb_change_property(c(), XCB_PROP_MODE_REPLACE, m_incrRequestor, m_incrProperty, atom("text/uri-list"), 8,
                            uint32_t(chunk.size()), chunk.constData());
        if (chunk.isEmpty()) {
            m_incrementalFinished = true;
            m_incrRequestor = XCB_WINDOW_NONE;
        }
        m_connection->flush();
    }

    std::unique_ptr<XcbConnection> m_connection;
    int m_listener = 0;
    xcb_window_t m_window = XCB_WINDOW_NONE;
    SourceScript m_script;
    xcb_timestamp_t m_stamp = XCB_CURRENT_TIME;
    xcb_timestamp_t m_claimTime = XCB_CURRENT_TIME;
    QByteArrayList m_requested;
    xcb_window_t m_incrRequestor = XCB_WINDOW_NONE;
    xcb_atom_t m_incrProperty = XCB_ATOM_NONE;
    qsizetype m_sent = 0;
    bool m_incrementalFinished = false;
};

const QByteArray oneFile = "file:///tmp/report.pdf\r\n";

QByteArray longList(const QByteArray &middle)
{
    QByteArray list = "# dragged from a file manager\r\n";
    for (int i = 0; i < 20; ++i)
        list += "https://example.org/page" + QByteArray::number(i) + "\r\n";
    return list + middle + "https://example.org/last\r\n";
}

} // namespace

Q_DECLARE_METATYPE(SourceScript)

class DragPasteboardTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void uriListNamesFiles_data()
    {
        QTest::addColumn<QByteArray>("list");
        QTest::addColumn<bool>("files");
        QTest::newRow("one file") << oneFile << true;
        QTest::newRow("newlines only, file after a link") << QByteArray("https://a.example/\nfile:///x\n") << true;
        QTest::newRow("scheme in capitals") << QByteArray("FILE:///tmp/x\r\n") << true;
        QTest::newRow("comment naming a file") << QByteArray("# file:///tmp/x\r\nhttps://a.example/\r\n") << false;
        QTest::newRow("links only") << QByteArray("https://a.example/\r\nftp://b.example/f\r\n") << false;
        QTest::newRow("bare scheme") << QByteArray("file:\r\n") << false;
        QTest::newRow("empty") << QByteArray() << false;
    }

    void uriListNamesFiles()
    {
        QFETCH(QByteArray, list);
        QFETCH(bool, files);
        QCOMPARE(X11DragPasteboard::uriListNamesFiles(list), files);
    }

    void sourcesAreAskedWhatTheyCarry_data()
    {
        QTest::addColumn<SourceScript>("script");
        QTest::addColumn<bool>("files");
        QTest::addColumn<QByteArrayList>("requested");
        const QByteArrayList targetsThenList{"TARGETS", "text/uri-list"};
        QTest::newRow("files, listed in TARGETS")
            << SourceScript{true, {"TARGETS", "text/uri-list"}, oneFile} << true << targetsThenList;
        QTest::newRow("files from a source that refuses TARGETS")
            << SourceScript{false, {}, oneFile, true} << true << targetsThenList;
        QTest::newRow("files from a source that refuses TARGETS naming no target, as Qt does")
            << SourceScript{false, {}, oneFile, true, false, false} << true << targetsThenList;
        QTest::newRow("promised file is never converted")
            << SourceScript{true, {"TARGETS", "XdndDirectSave0", "text/plain"}, {}} << true
            << QByteArrayList{"TARGETS"};
        QTest::newRow("links are no files")
            << SourceScript{true, {"TARGETS", "text/uri-list"}, "# from a browser\r\nhttps://example.org/\r\n"}
            << false << targetsThenList;
        QTest::newRow("text only") << SourceScript{true, {"TARGETS", "text/plain"}, {}} << false
                                   << QByteArrayList{"TARGETS"};
        QTest::newRow("refuses everything") << SourceScript{false, {}, {}} << false << targetsThenList;
        QTest::newRow("refuses everything naming no target")
            << SourceScript{false, {}, {}, false, false, false} << false << targetsThenList;
        QTest::newRow("long list sent in parts")
            << SourceScript{true, {"TARGETS", "text/uri-list"}, longList(oneFile), false, true} << true
            << targetsThenList;
        QTest::newRow("long list of links sent in parts")
            << SourceScript{true, {"TARGETS", "text/uri-list"}, longList({}), false, true} << false << targetsThenList;
    }

    void sourcesAreAskedWhatTheyCarry()
    {
        QFETCH(SourceScript, script);
        QFETCH(bool, files);
        QFETCH(QByteArrayList, requested);
        X11DragPasteboard pasteboard;
        QVERIFY(pasteboard.start());
        DragSource source;

        QVERIFY(source.claim(script));
        QTRY_COMPARE(pasteboard.changeCount(), 1);
        QTRY_VERIFY(!pasteboard.isPending());
        QCOMPARE(pasteboard.carriesFiles(), files);
        QCOMPARE(source.requested(), requested);
        if (script.incremental)
            QTRY_VERIFY(source.incrementalFinished());
    }

    void everyNewDragIsAChange()
    {
        X11DragPasteboard pasteboard;
        QVERIFY(pasteboard.start());
        QSignalSpy changes(&pasteboard, &DragPasteboard::changed);
        const SourceScript withFiles{true, {"TARGETS", "text/uri-list"}, oneFile};
        auto source = std::make_unique<DragSource>();

        QVERIFY(source->claim(withFiles));
        QTRY_VERIFY(pasteboard.carriesFiles());
        QCOMPARE(pasteboard.changeCount(), 1);
        QCOMPARE(changes.size(), 2); // the new drag, then its answer

        // The same window starting another drag is a new drag.
        QVERIFY(source->claim(SourceScript{true, {"TARGETS", "text/plain"}, {}}));
        QTRY_COMPARE(pasteboard.changeCount(), 2);
        QVERIFY(!pasteboard.carriesFiles());

        // Given up at the end of the drag: nothing is dragged.
        QVERIFY(source->claim(withFiles));
        QTRY_VERIFY(pasteboard.carriesFiles());
        source->giveUp();
        QTRY_COMPARE(pasteboard.changeCount(), 4);
        QVERIFY(!pasteboard.carriesFiles());

        // The source ends.
        QVERIFY(source->claim(withFiles));
        QTRY_VERIFY(pasteboard.carriesFiles());
        source.reset();
        QTRY_COMPARE(pasteboard.changeCount(), 6);
        QVERIFY(!pasteboard.carriesFiles());
    }

    void stoppedPasteboardSeesNothing()
    {
        X11DragPasteboard pasteboard;
        QVERIFY(pasteboard.start());
        pasteboard.stop();
        pasteboard.stop();
        DragSource source;
        QVERIFY(source.claim(SourceScript{true, {"TARGETS", "text/uri-list"}, oneFile}));
        QTest::qWait(100);
        QCOMPARE(pasteboard.changeCount(), 0);
        QVERIFY(source.requested().isEmpty());

        QVERIFY(pasteboard.start());
        QVERIFY(source.claim(SourceScript{true, {"TARGETS", "text/uri-list"}, oneFile}));
        QTRY_VERIFY(pasteboard.carriesFiles());
        QCOMPARE(pasteboard.changeCount(), 1);
    }
};

int main(int argc, char **argv)
{
    return tavrenhold::test::runOnPrivateDisplay<DragPasteboardTest>(argc, argv);
}

#include "tst_dragpasteboard.moc"
