// labels: unit
// The adapter's command lines, as the script hands them over and as the program writes them.
#include "Options.h"

#include <QTest>

using namespace tavrenhold::adapter;

Q_DECLARE_METATYPE(Invocation)

class CommandLineTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void commandArguments_data()
    {
        QTest::addColumn<QStringList>("argv");
        QTest::addColumn<QStringList>("args");
        QTest::newRow("through the script")
            << QStringList{"/usr/bin/perl", "/x/mediaremote-adapter.pl", "/x/MediaRemoteAdapter.framework", "get"}
            << QStringList{"get"};
        QTest::newRow("probe through the script")
            << QStringList{"/usr/bin/perl", "/x/mediaremote-adapter.pl", "/x/F.framework", "/x/MediaRemoteAdapterTestClient", "test"}
            << QStringList{"/x/MediaRemoteAdapterTestClient", "test"};
        QTest::newRow("direct") << QStringList{"/x/F.framework/MediaRemoteAdapter", "send", "1"}
                                << QStringList{"send", "1"};
    }
    void commandArguments()
    {
        QFETCH(QStringList, argv);
        QTEST(tavrenhold::adapter::commandArguments(argv), "args");
    }

    void parse_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<Invocation>("expected");

        const auto with = [](auto change) {
            Invocation inv;
            change(inv);
            return inv;
        };
        QTest::newRow("test") << QStringList{"test"} << true << with([](Invocation &i) { i.command = Command::Test; });
        QTest::newRow("test with a client") << QStringList{"/x/MediaRemoteAdapterTestClient", "test"} << true
                                            << with([](Invocation &i) { i.testClient = "/x/MediaRemoteAdapterTestClient"; });
        QTest::newRow("the program's stream")
            << QStringList{"stream", "--no-diff", "--debounce=120", "--no-artwork", "--allow-missing-title"} << true
            << with([](Invocation &i) {
                   i.command = Command::Stream;
                   i.diff = false;
                   i.debounceMs = 120;
                   i.artwork = false;
                   i.allowMissingTitle = true;
               });
        QTest::newRow("plain stream") << QStringList{"stream"} << true
                                      << with([](Invocation &i) { i.command = Command::Stream; });
        QTest::newRow("the program's artwork get") << QStringList{"get", "--allow-missing-title"} << true
                                                   << with([](Invocation &i) {
                                                          i.command = Command::Get;
                                                          i.allowMissingTitle = true;
                                                      });
        QTest::newRow("pause") << QStringList{"send", "1"} << true << with([](Invocation &i) {
            i.command = Command::Send;
            i.sendCode = 1;
        });
        QTest::newRow("previous") << QStringList{"send", "5"} << true << with([](Invocation &i) {
            i.command = Command::Send;
            i.sendCode = 5;
        });
        QTest::newRow("seek") << QStringList{"seek", "5000000"} << true << with([](Invocation &i) {
            i.command = Command::Seek;
            i.seekUs = 5'000'000;
        });
        QTest::newRow("seek before the start") << QStringList{"seek", "-3"} << true << with([](Invocation &i) {
            i.command = Command::Seek;
            i.seekUs = 0;
        });
        const Invocation none;
        QTest::newRow("nothing") << QStringList{} << false << none;
        QTest::newRow("unknown command") << QStringList{"play"} << false << none;
        QTest::newRow("send 3 is not a command") << QStringList{"send", "3"} << false << none;
        QTest::newRow("send without a code") << QStringList{"send"} << false << none;
        QTest::newRow("send test is no probe") << QStringList{"send", "test"} << false << none;
        QTest::newRow("seek in seconds") << QStringList{"seek", "1.5"} << false << none;
        QTest::newRow("seek beyond int64") << QStringList{"seek", "99999999999999999999"} << false << none;
        QTest::newRow("seek in exponent form") << QStringList{"seek", "1e6"} << false << none;
        QTest::newRow("debounce not a number") << QStringList{"stream", "--debounce=fast"} << false << none;
        QTest::newRow("debounce negative") << QStringList{"stream", "--debounce=-1"} << false << none;
        QTest::newRow("debounce too long") << QStringList{"stream", "--debounce=600000"} << false << none;
        QTest::newRow("stream option on get") << QStringList{"get", "--no-diff"} << false << none;
        QTest::newRow("unknown option") << QStringList{"stream", "--verbose"} << false << none;
        QTest::newRow("test with extra words") << QStringList{"test", "now"} << false << none;
    }
    void parse()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, ok);
        QFETCH(Invocation, expected);
        const auto parsed = parseInvocation(args);
        QCOMPARE(parsed.ok(), ok);
        if (ok)
            QVERIFY(parsed.value() == expected);
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "tst_commandline.moc"
