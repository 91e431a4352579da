// labels: unit
// The notes file's bytes and the texts derived from a note: the encoder to the exact byte, the
// decoder's accepted and refused files, the load-time repair and order, and the tile texts.
#include "notes/NoteRecord.h"

#include <QTest>

using namespace tavrenhold;

Q_DECLARE_METATYPE(std::vector<tavrenhold::NoteRecord>)

namespace {
const QUuid idA = QUuid::fromString(QStringLiteral("0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d"));
const QUuid idB = QUuid::fromString(QStringLiteral("11111111-2222-4333-8444-555555555555"));
const QByteArray textA = "0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D";

NoteRecord note(QString title, QString body, double at = 0, QUuid id = idA) { return {id, title, body, at}; }

QByteArray one(const QByteArray &title, const QByteArray &body, const QByteArray &at)
{
    return "[{\"id\":\"" + textA + "\",\"title\":" + title + ",\"body\":" + body + ",\"updatedAt\":" + at + "}]";
}

std::vector<double> times(const std::vector<NoteRecord> &notes)
{
    std::vector<double> out;
    for (const NoteRecord &n : notes)
        out.push_back(n.updatedAt);
    return out;
}
} // namespace

class NotesFormatTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void encodes_data()
    {
        QTest::addColumn<std::vector<NoteRecord>>("notes");
        QTest::addColumn<QByteArray>("bytes");

        QTest::newRow("empty list") << std::vector<NoteRecord>{} << QByteArray("[]");
        QTest::newRow("integral time, upper-case id")
            << std::vector{note(QStringLiteral("Hi"), QStringLiteral("there"), 700000000)}
            << one("\"Hi\"", "\"there\"", "700000000");
        QTest::newRow("fractional time") << std::vector{note({}, {}, 786153600.125)} << one("\"\"", "\"\"", "786153600.125");
        QTest::newRow("shortest digits") << std::vector{note({}, {}, 0.1)} << one("\"\"", "\"\"", "0.1");
        QTest::newRow("negative time") << std::vector{note({}, {}, -31.5)} << one("\"\"", "\"\"", "-31.5");
        QTest::newRow("escapes") << std::vector{note(QStringLiteral("a\"b\\c/d"), QStringLiteral("\b\f\n\r\t"), 1)}
                                 << one("\"a\\\"b\\\\c\\/d\"", "\"\\b\\f\\n\\r\\t\"", "1");
        QTest::newRow("other control characters")
            << std::vector{note(QString(QChar(0x01)) + QChar(0x1f) + QChar(0x7f), QString(QChar(0)), 1)}
            << one("\"\\u0001\\u001f\x7f\"", "\"\\u0000\"", "1");
        QTest::newRow("non-ASCII and emoji raw")
            << std::vector{note(QStringLiteral("Café ☕"), QStringLiteral("👩‍💻 e\u0301"), 2)}
            << one("\"Caf\xc3\xa9 \xe2\x98\x95\"", "\"\xf0\x9f\x91\xa9\xe2\x80\x8d\xf0\x9f\x92\xbb e\xcc\x81\"", "2");
        QTest::newRow("two notes in list order")
            << std::vector{note(QStringLiteral("x"), {}, 2, idB), note(QStringLiteral("y"), {}, 1)}
            << QByteArray("[{\"id\":\"11111111-2222-4333-8444-555555555555\",\"title\":\"x\",\"body\":\"\",\"updatedAt\":2},"
                          "{\"id\":\"" + textA + "\",\"title\":\"y\",\"body\":\"\",\"updatedAt\":1}]");
    }

    void encodes()
    {
        QFETCH(std::vector<NoteRecord>, notes);
        QFETCH(QByteArray, bytes);
        QCOMPARE(encodeNotes(notes).value_or("(failed)"), bytes);
        // And the bytes read back as the same notes.
        const auto decoded = decodeNotes(bytes);
        QVERIFY(decoded);
        QVERIFY(*decoded == notes);
    }

    void nonFiniteTimeIsNotEncoded()
    {
        QVERIFY(!encodeNotes({note({}, {}, std::numeric_limits<double>::infinity())}));
        QVERIFY(!encodeNotes({note({}, {}, std::numeric_limits<double>::quiet_NaN())}));
    }

    void decodes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("accepted");

        QTest::newRow("empty array") << QByteArray("[]") << true;
        QTest::newRow("ours") << one("\"t\"", "\"b\"", "1.5") << true;
        QTest::newRow("lower-case id, keys in any order, spaces, bare slash, extra key")
            << QByteArray(" [ {\"updatedAt\": 3, \"body\": \"a/b\", \"extra\": [1], \"title\": \"\","
                          " \"id\": \"0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d\"} ] ")
            << true;
        QTest::newRow("exponent number") << one("\"\"", "\"\"", "7e8") << true;
        QTest::newRow("empty file") << QByteArray() << false;
        QTest::newRow("not JSON") << QByteArray("notes") << false;
        QTest::newRow("an object") << QByteArray("{}") << false;
        QTest::newRow("truncated") << one("\"t\"", "\"b\"", "1").chopped(2) << false;
        QTest::newRow("element not an object") << QByteArray("[1]") << false;
        QTest::newRow("missing updatedAt")
            << QByteArray("[{\"id\":\"" + textA + "\",\"title\":\"\",\"body\":\"\"}]") << false;
        QTest::newRow("missing id") << QByteArray("[{\"title\":\"\",\"body\":\"\",\"updatedAt\":1}]") << false;
        QTest::newRow("title not a string") << one("null", "\"\"", "1") << false;
        QTest::newRow("body a number") << one("\"\"", "2", "1") << false;
        QTest::newRow("time a string") << one("\"\"", "\"\"", "\"1\"") << false;
        QTest::newRow("time out of range") << one("\"\"", "\"\"", "1e400") << false;
        QTest::newRow("id with braces")
            << QByteArray("[{\"id\":\"{" + textA + "}\",\"title\":\"\",\"body\":\"\",\"updatedAt\":1}]") << false;
        QTest::newRow("id without hyphens")
            << QByteArray("[{\"id\":\"0A1B2C3D4E5F4A6B8C7D9E0F1A2B3C4D\",\"title\":\"\",\"body\":\"\",\"updatedAt\":1}]")
            << false;
        QTest::newRow("id not hexadecimal")
            << QByteArray("[{\"id\":\"0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4G\",\"title\":\"\",\"body\":\"\",\"updatedAt\":1}]")
            << false;
        QTest::newRow("one bad record among good ones")
            << QByteArray("[{\"id\":\"" + textA + "\",\"title\":\"\",\"body\":\"\",\"updatedAt\":1},"
                          "{\"id\":\"" + textA + "\",\"title\":\"\",\"body\":\"\",\"updatedAt\":true}]")
            << false;
    }

    void decodes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, accepted);
        QCOMPARE(decodeNotes(bytes).has_value(), accepted);
    }

    void repairsOneCharacterTitles_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("repaired");

        QTest::newRow("H over Hello") << "H" << "Hello\nsecond" << "";
        QTest::newRow("H over padded Hello") << "H" << "\n\n  Hello" << "";
        QTest::newRow("H over H alone") << "H" << "H" << "H";
        QTest::newRow("Hi over Hi there") << "Hi" << "Hi there" << "Hi";
        QTest::newRow("x over Hello") << "x" << "Hello" << "x";
        QTest::newRow("H over empty body") << "H" << "" << "H";
        QTest::newRow("decomposed é over composed étude") << "e\u0301" << "\u00e9tude" << "";
        QTest::newRow("e over é: the mark stays with its letter") << "e" << "e\u0301tude" << "e";
        QTest::newRow("é over é alone") << "\u00e9" << "e\u0301" << "\u00e9";
        QTest::newRow("flag over flag and text") << "🇫🇷" << "🇫🇷 Paris" << "";
        QTest::newRow("family emoji over itself") << "👨‍👩‍👧" << "👨‍👩‍👧" << "👨‍👩‍👧";
        QTest::newRow("man over family") << "👨" << "👨‍👩‍👧 home" << "👨";
    }

    void repairsOneCharacterTitles()
    {
        QFETCH(QString, title);
        QFETCH(QString, body);
        QFETCH(QString, repaired);
        const auto out = repairNotes({note(title, body)});
        QCOMPARE(out.size(), std::size_t(1));
        QCOMPARE(out[0].title, repaired);
        QCOMPARE(out[0].body, body);
    }

    void ordersNewestFirstStably()
    {
        const QUuid ids[] = {QUuid::createUuid(), QUuid::createUuid(), QUuid::createUuid(), QUuid::createUuid()};
        const auto out = repairNotes({note({}, QStringLiteral("a"), 10, ids[0]), note({}, QStringLiteral("b"), 30, ids[1]),
                                      note({}, QStringLiteral("c"), 20, ids[2]), note({}, QStringLiteral("d"), 30, ids[3])});
        QCOMPARE(times(out), (std::vector<double>{30, 30, 20, 10}));
        QCOMPARE(out[0].body, QStringLiteral("b"));
        QCOMPARE(out[1].body, QStringLiteral("d"));
    }

    void repeatedIdGetsANewOneForTheLaterNote()
    {
        const auto out = repairNotes({note({}, QStringLiteral("first"), 5, idA), note({}, QStringLiteral("second"), 5, idA),
                                      note({}, QStringLiteral("other"), 5, idB)});
        QCOMPARE(out.size(), std::size_t(3));
        QCOMPARE(out[0].id, idA);
        QVERIFY(out[1].id != idA && out[1].id != idB && !out[1].id.isNull());
        QCOMPARE(out[1].body, QStringLiteral("second"));
        QCOMPARE(out[2].id, idB);
    }

    void tileTexts_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("shownTitle");
        QTest::addColumn<QString>("shownPreview");

        QTest::newRow("blank") << "  " << " \n " << "Untitled" << "Empty note";
        QTest::newRow("title only") << "  Groceries\n" << "" << "Groceries" << "Empty note";
        QTest::newRow("title and body") << "Plan" << "  one\n\ntwo  " << "Plan" << "one\n\ntwo";
        QTest::newRow("body lines as title and preview") << "" << "  one\n\ntwo  " << "one" << "two";
        QTest::newRow("spaces title, padded body") << "  " << "\n\n  first line\nsecond line" << "first line"
                                                   << "second line";
        QTest::newRow("body of one line") << "" << "only" << "only" << "Empty note";
        QTest::newRow("three body lines") << "" << "a\nb\nc" << "a" << "b\nc";
        QTest::newRow("carriage return is no line break") << "" << "a\r b" << "a\r b" << "Empty note";
        // A long note lists by its start: what a tile shows of it, not all of it.
        const QString longLine = QString(3000, QLatin1Char('x'));
        QTest::newRow("long titled note") << "Big" << QString(longLine + "\nend") << "Big" << QString(2000, QLatin1Char('x'));
        QTest::newRow("long untitled note") << "" << QString("first\n" + longLine) << "first"
                                             << QString(1994, QLatin1Char('x'));
        QTest::newRow("emoji and marks untouched") << "" << "👩‍💻 ca\u0301fe\u0301\n✔︎ done" << "👩‍💻 ca\u0301fe\u0301"
                                                   << "✔︎ done";
    }

    void tileTexts()
    {
        QFETCH(QString, title);
        QFETCH(QString, body);
        QFETCH(QString, shownTitle);
        QFETCH(QString, shownPreview);
        QCOMPARE(displayTitle(note(title, body)), shownTitle);
        QCOMPARE(preview(note(title, body)), shownPreview);
    }

    // The store's size accounting: never below what the encoder writes in the file's smallest form
    // (equal but for lone surrogates), and a cut that fits its budget without splitting a pair.
    void lengthsBoundTheEncoder_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("plain") << QStringLiteral("plain words");
        QTest::newRow("slashes") << QStringLiteral("a/b//c\\/d");
        QTest::newRow("quotes and escapes") << QStringLiteral("\"q\" \\ \b\f\n\r\t");
        QTest::newRow("control characters") << QString::fromUtf16(u"\u0001\u001f\u007f");
        QTest::newRow("accents and CJK") << QStringLiteral("caf\u00e9 \u6f22\u5b57 \u00a0\u2028");
        QTest::newRow("emoji pairs") << QStringLiteral("👩‍💻🙂x");
        QTest::newRow("lone high surrogate") << QString::fromUtf16(u"a\xd83d b");
        QTest::newRow("lone low surrogate") << QString::fromUtf16(u"a\xde42 b");
    }
    void lengthsBoundTheEncoder()
    {
        QFETCH(QString, text);
        const bool lone = QString::fromUtf8(text.toUtf8()) != text;
        const std::vector<NoteRecord> notes{note(text, text, 786153600.25), note(QString(), text, -3, idB)};
        const qint64 written = encodeNotes(notes, Slash::plain).value().size();
        QVERIFY(encodedLength(notes) >= written);
        if (!lone)
            QCOMPARE(encodedLength(notes), written);
        QVERIFY(encodeNotes(notes).value().size() >= written);

        const qint64 whole = encodedLength(text);
        for (qint64 budget = 0; budget <= whole + 1; ++budget) {
            const qsizetype length = fittingLength(text, budget);
            const QStringView cut = QStringView(text).left(length);
            QVERIFY(encodedLength(cut) <= budget);
            // Nothing more would fit: the next character, a pair whole, is past the budget.
            const bool pair = length + 1 < text.size() && text.at(length).isHighSurrogate() && text.at(length + 1).isLowSurrogate();
            QVERIFY(length == text.size() || encodedLength(QStringView(text).left(length + (pair ? 2 : 1))) > budget);
            QVERIFY(length == 0 || !text.at(length - 1).isHighSurrogate() || length == text.size()
                    || !text.at(length).isLowSurrogate());
        }
        QCOMPARE(fittingLength(text, whole), text.size());
    }
};

QTEST_GUILESS_MAIN(NotesFormatTest)
#include "tst_notesformat.moc"
