#include "design/NotchTime.h"

#include <QTest>

#include <limits>

class NotchTimeTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void format_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << "0:00";
        QTest::newRow("negative") << -5.0 << "0:00";
        QTest::newRow("half rounds up") << 59.5 << "1:00";
        QTest::newRow("61") << 61.0 << "1:01";
        QTest::newRow("just under an hour") << 3599.4 << "59:59";
        QTest::newRow("an hour") << 3600.0 << "1:00:00";
        QTest::newRow("5025") << 5025.0 << "1:23:45";
        QTest::newRow("an hour in ms") << 3600000.0 << "1:00:00";
        QTest::newRow("100000 scales") << 100000.0 << "1:40";
        QTest::newRow("scaling before rounding") << 99999.6 << "27:46:40";
        QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << "0:00";
        QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << "0:00";
        QTest::newRow("huge") << 1e300 << "16:40"; // scaled down, never hangs
    }
    void format()
    {
        QFETCH(double, seconds);
        QFETCH(QString, text);
        QCOMPARE(tavrenhold::notchTime(seconds), text);
    }
};

QTEST_GUILESS_MAIN(NotchTimeTest)
#include "tst_notchtime.moc"
