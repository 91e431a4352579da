// labels: usage
// What the sign-in program writes, read as hostile input: the jar it mirrors (keyed by name, domain
// and path, in arrival order), the address, the notices, and every line that breaks the pipe.
#include "platform/WebSignInProcess.h"

#include <QTest>

using namespace tavrenhold::platform;

namespace {

QString jarText(const QList<WebCookie> &jar)
{
    QStringList parts;
    for (const WebCookie &c : jar)
        parts.append(c.name + u'|' + c.domain + u'|' + c.path + u'|' + c.value);
    return parts.join(u';');
}

QString noticeText(const QList<SignInPipe::Notice> &notices)
{
    QStringList parts;
    for (const auto n : notices)
        parts.append(n == SignInPipe::Notice::done ? QStringLiteral("done") : QStringLiteral("closed"));
    return parts.join(u',');
}

} // namespace

class SignInPipeTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void lines_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<bool>("readable");
        QTest::addColumn<QString>("jar");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("notices");

        QTest::newRow("cookie") << QByteArray("cookie+ sessionKey .claude.test %2F abc\n") << true
                                << "sessionKey|.claude.test|/|abc" << "" << "";
        QTest::newRow("encoded fields, tab in value")
            << QByteArray("cookie+ a%20b h%C3%A9.test %2Fx%2Fy v%09%3D%3B%22\n") << true << QString::fromUtf8("a b|hé.test|/x/y|v\t=;\"")
            << "" << "";
        QTest::newRow("empty and dash fields") << QByteArray("cookie+ n host.test - -\ncookie+ m host.test - %2D\n")
                                               << true << "n|host.test||;m|host.test||-" << "" << "";
        QTest::newRow("re-set moves to the end")
            << QByteArray("cookie+ a d %2F 1\ncookie+ b d %2F 2\ncookie- a d %2F\ncookie+ a d %2F 3\n") << true
            << "b|d|/|2;a|d|/|3" << "" << "";
        QTest::newRow("same name, other domain or path is another cookie")
            << QByteArray("cookie+ a d %2F 1\ncookie+ a e %2F 2\ncookie+ a d %2Fx 3\ncookie+ a d %2F 4\n") << true
            << "a|e|/|2;a|d|/x|3;a|d|/|4" << "" << "";
        QTest::newRow("removing an unknown cookie") << QByteArray("cookie- a d %2F\n") << true << "" << "" << "";
        QTest::newRow("nameless cookie ignored") << QByteArray("cookie+ - d %2F v\n") << true << "" << "" << "";
        QTest::newRow("address") << QByteArray("address https%3A%2F%2Fclaude.test%3A8443%2Fnew\n") << true << ""
                                 << "https://claude.test:8443/new" << "";
        QTest::newRow("notices in order") << QByteArray("done\nclosed\ndone\n") << true << "" << "" << "done,closed,done";
        QTest::newRow("line split over reads is whole only at its end")
            << QByteArray("cookie+ a d %2F 1\ncookie+ b d") << true << "a|d|/|1" << "" << "";

        const QByteArray longValue(SignInPipe::maxLineBytes, 'x');
        QTest::newRow("unknown kind") << QByteArray("cookie* a d %2F v\n") << false << "" << "" << "";
        QTest::newRow("too few fields") << QByteArray("cookie+ a d %2F\n") << false << "" << "" << "";
        QTest::newRow("too many fields") << QByteArray("cookie- a d %2F v\n") << false << "" << "" << "";
        QTest::newRow("empty field") << QByteArray("cookie+ a  %2F v\n") << false << "" << "" << "";
        QTest::newRow("raw reserved character") << QByteArray("cookie+ a d / v\n") << false << "" << "" << "";
        QTest::newRow("truncated escape") << QByteArray("cookie+ a d %2F v%4\n") << false << "" << "" << "";
        QTest::newRow("bad escape") << QByteArray("cookie+ a d %2F %zz\n") << false << "" << "" << "";
        QTest::newRow("invalid UTF-8") << QByteArray("cookie+ a d %2F %C3%28\n") << false << "" << "" << "";
        QTest::newRow("line break in a value") << QByteArray("cookie+ a d %2F x%0D%0ACookie%3A%20b\n") << false << ""
                                               << "" << "";
        QTest::newRow("NUL in a name") << QByteArray("cookie+ a%00 d %2F v\n") << false << "" << "" << "";
        QTest::newRow("tab in a domain") << QByteArray("cookie+ a d%09 %2F v\n") << false << "" << "" << "";
        QTest::newRow("carriage return at the end") << QByteArray("done\r\n") << false << "" << "" << "";
        QTest::newRow("address not a URL") << QByteArray("address http%3A%2F%2F%5B%3A%3A1\n") << false << "" << ""
                                           << "";
        QTest::newRow("empty line") << QByteArray("\n") << false << "" << "" << "";
        QTest::newRow("line too long") << QByteArray("cookie+ a d %2F " + longValue + "\n") << false << "" << "" << "";
        QTest::newRow("unfinished line too long") << QByteArray("cookie+ a d %2F " + longValue) << false << "" << ""
                                                  << "";
        QTest::newRow("nothing after a bad line") << QByteArray("cookie+ a d %2F 1\nbogus\ncookie+ b d %2F 2\n")
                                                  << false << "a|d|/|1" << "" << "";
    }

    void lines()
    {
        QFETCH(QByteArray, input);
        QFETCH(bool, readable);
        QFETCH(QString, jar);
        QFETCH(QString, address);
        QFETCH(QString, notices);

        SignInPipe pipe;
        const auto result = pipe.feed(input);
        QCOMPARE(result.has_value(), readable);
        QCOMPARE(pipe.broken(), !readable);
        if (readable)
            QCOMPARE(noticeText(*result), notices);
        QCOMPARE(jarText(pipe.cookies()), jar);
        QCOMPARE(pipe.address().toString(), address);
        if (!readable) // broken for good
            QVERIFY(!pipe.feed("done\n").has_value());
    }

    // Bytes arrive in any cut: one at a time reads the same as all at once.
    void byteByByte()
    {
        const QByteArray input("cookie+ a d %2F 1\naddress https%3A%2F%2Fv.test%2Fp\ndone\ncookie- a d %2F\nclosed\n");
        SignInPipe pipe;
        QStringList notices;
        for (const char c : input) {
            const auto result = pipe.feed(QByteArray(1, c));
            QVERIFY(result);
            if (!result->isEmpty())
                notices.append(noticeText(*result));
        }
        QCOMPARE(notices, QStringList({"done", "closed"}));
        QVERIFY(pipe.cookies().isEmpty());
        QCOMPARE(pipe.address(), QUrl("https://v.test/p"));
    }

    // The jar holds a bounded number of cookies: one more breaks the pipe.
    void jarBound()
    {
        SignInPipe pipe;
        QByteArray lines;
        for (int i = 0; i < SignInPipe::maxCookies; ++i)
            lines += "cookie+ c" + QByteArray::number(i) + " d %2F v\n";
        QVERIFY(pipe.feed(lines));
        QCOMPARE(pipe.cookies().size(), SignInPipe::maxCookies);
        QVERIFY(pipe.feed("cookie+ c0 d %2F again\n")); // a re-set is no new cookie
        QVERIFY(!pipe.feed("cookie+ one-more d %2F v\n"));
    }
};

QTEST_GUILESS_MAIN(SignInPipeTest)
#include "tst_signinpipe.moc"
