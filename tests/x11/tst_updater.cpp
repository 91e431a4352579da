// labels: unit
#include "platform/Updater.h"

#include <QSignalSpy>
#include <QTest>

using namespace tavrenhold::platform;

class UpdaterTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void checkPointsToThePackageManager()
    {
        auto updater = Updater::create();
        QSignalSpy notices(updater.get(), &Updater::noticeReady);
        QVERIFY(!updater->isStarted());
        updater->start();
        QVERIFY(updater->isStarted());
        QCOMPARE(notices.size(), 0); // starting shows nothing

        updater->checkForUpdates();
        QCOMPARE(notices.size(), 1);
        const auto notice = notices.first().at(0).value<UpdateNotice>();
        QCOMPARE(notice.title, QStringLiteral("Check for Updates"));
        QVERIFY(notice.text.contains(QStringLiteral("package manager")));
    }
};

QTEST_GUILESS_MAIN(UpdaterTest)
#include "tst_updater.moc"
