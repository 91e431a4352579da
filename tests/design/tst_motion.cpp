// labels: qml
#include "design/Motion.h"
#include "fakes/FakeSystemAppearance.h"

#include <QAnimationDriver>
#include <QCoreApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQmlProperty>
#include <QSignalSpy>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <cmath>
#include <numbers>

Q_IMPORT_QML_PLUGIN(Tavrenhold_DesignPlugin)

using tavrenhold::MotionTokens;
using tavrenhold::Spring;
using tavrenhold::test::FakeSystemAppearance;

Q_DECLARE_METATYPE(Spring)

namespace {

// Drives every Qt Quick animation of the thread by hand, so no test waits real time. Qt reads
// the time since the driver started.
class StepDriver final : public QAnimationDriver {
public:
    void start() override
    {
        m_elapsed = 0;
        QAnimationDriver::start();
    }
    qint64 elapsed() const override { return m_elapsed; }
    void step(int ms)
    {
        m_elapsed += ms;
        advance();
    }

private:
    qint64 m_elapsed = 0;
};

// The continuous spring, started at rest at 0 and pulled to 1: where it is after t seconds.
double idealSpring(const Spring &s, double t)
{
    const double w = 2 * std::numbers::pi / s.response;
    const double z = s.dampingFraction;
    if (z < 1) {
        const double wd = w * std::sqrt(1 - z * z);
        return 1 - std::exp(-z * w * t) * (std::cos(wd * t) + z * w / wd * std::sin(wd * t));
    }
    return 1 - (1 + w * t) * std::exp(-w * t);
}

// The last time at which a trajectory is still more than 2 % away from 1.
double settleTime(const std::vector<std::pair<double, double>> &samples)
{
    double last = 0;
    for (const auto &[t, x] : samples) {
        if (std::abs(1 - x) > 0.02)
            last = t;
    }
    return last;
}

} // namespace

class MotionTest : public QObject {
    Q_OBJECT

    FakeSystemAppearance m_appearance;
    StepDriver m_driver;
    std::unique_ptr<QQmlEngine> m_engine;

    // An object from QML text that imports the design module, with Motion following m_appearance.
    std::unique_ptr<QObject> load(const QByteArray &body)
    {
        QQmlComponent component(m_engine.get());
        component.setData("import QtQuick\nimport Tavrenhold.Design\n" + body, QUrl());
        if (component.isError()) {
            qWarning("%s", qPrintable(component.errorString()));
            return nullptr;
        }
        auto *motion = m_engine->singletonInstance<MotionTokens *>(qmlTypeId("Tavrenhold.Design", 1, 0, "Motion"));
        if (!motion)
            return nullptr;
        motion->setAppearance(m_appearance);
        std::unique_ptr<QObject> object(component.create());
        if (!object)
            qWarning("%s", qPrintable(component.errorString()));
        return object;
    }

    // Lets queued animation starts happen, then advances the animation clock by ms while it runs
    // (Qt starts the driver when the first animation starts and stops it after the last).
    void tick(int ms)
    {
        QCoreApplication::processEvents();
        if (m_driver.isRunning())
            m_driver.step(ms);
    }
    // Lets the animations just started begin, so the next tick is their first.
    void letStart()
    {
        for (int i = 0; i < 5 && !m_driver.isRunning(); ++i)
            QCoreApplication::processEvents();
    }
    void advance(int ms)
    {
        for (int done = 0; done < ms; done += 16)
            tick(16);
    }

private Q_SLOTS:
    void initTestCase() { m_driver.install(); }
    void init()
    {
        m_appearance.setReduceMotion(false);
        m_engine = std::make_unique<QQmlEngine>();
        m_engine->addImportPath(QStringLiteral("qrc:/")); // the module's QML files are built in
    }
    void cleanup() { m_engine.reset(); }

    // QML sees each named animation with the parameters the interface is tuned to.
    void tokensInQml_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<Spring>("spring");
        QTest::newRow("morph") << "morph" << Spring{0.42, 0.98, 0};
        QTest::newRow("slot") << "slot" << Spring{0.34, 0.82, 0};
        QTest::newRow("rotate") << "rotate" << Spring{0.46, 0.86, 0};
        QTest::newRow("content") << "content" << Spring{0.34, 0.90, 0};
        QTest::newRow("tap") << "tap" << Spring{0.22, 0.70, 0};
    }
    void tokensInQml()
    {
        QFETCH(QString, name);
        QFETCH(Spring, spring);
        const QByteArray qml = QStringLiteral("QtObject {\n"
                                              "  property real response: Motion.%1.response\n"
                                              "  property real dampingFraction: Motion.%1.dampingFraction\n"
                                              "  property real blendDuration: Motion.%1.blendDuration\n"
                                              "  property real spring: Motion.%1.spring\n"
                                              "  property real damping: Motion.%1.damping\n"
                                              "  property real mass: Motion.%1.mass\n"
                                              "}")
                                   .arg(name)
                                   .toUtf8();
        auto object = load(qml);
        QVERIFY(object);
        QCOMPARE(object->property("response").toDouble(), spring.response);
        QCOMPARE(object->property("dampingFraction").toDouble(), spring.dampingFraction);
        QCOMPARE(object->property("blendDuration").toDouble(), 0.0);
        const auto qt = tavrenhold::qtSpring(spring);
        QCOMPARE(object->property("spring").toDouble(), qt.spring);
        QCOMPARE(object->property("damping").toDouble(), qt.damping);
        QCOMPARE(object->property("mass").toDouble(), 1.0);
        // Qt clamps damping above 1 and stops treating the motion as a spring at 0.
        QVERIFY(qt.damping > 0 && qt.damping < 1);
        QVERIFY(qt.spring > 0);
    }

    // A property moved by NotchAnimation follows the continuous spring the token describes: the
    // same overshoot, about the same path, and it settles when that spring does.
    void springFollowsItsToken()
    {
        QFETCH(QString, name);
        QFETCH(Spring, spring);
        auto object = load(QStringLiteral("Item { property real v: 0\n NotchAnimation on v { token: Motion.%1 } }")
                               .arg(name)
                               .toUtf8());
        QVERIFY(object);
        QQmlProperty(object.get(), "v").write(100.0);
        QCOMPARE(object->property("v").toDouble(), 0.0);

        // Qt's spring moves once per 16 ms; the first move marks 16 ms after the start.
        std::vector<std::pair<double, double>> samples;
        for (int i = 0; i < 200; ++i) {
            tick(16);
            const double v = object->property("v").toDouble() / 100;
            if (!samples.empty() || v != 0)
                samples.emplace_back(0.016 * double(samples.size() + 1), v);
        }
        QVERIFY(!samples.empty());
        QCOMPARE(samples.back().second, 1.0);

        double deviation = 0;
        double peak = 0;
        for (const auto &[t, x] : samples) {
            deviation = std::max(deviation, std::abs(x - idealSpring(spring, t)));
            peak = std::max(peak, x);
        }
        std::vector<std::pair<double, double>> ideal;
        double idealPeak = 0;
        for (int i = 1; i <= 6000; ++i) {
            const double t = i * 0.0005;
            ideal.emplace_back(t, idealSpring(spring, t));
            idealPeak = std::max(idealPeak, ideal.back().second);
        }
        QVERIFY2(deviation < 0.10, qPrintable(QString::number(deviation)));
        QVERIFY2(std::abs(peak - idealPeak) < 0.005, qPrintable(QStringLiteral("%1 vs %2").arg(peak).arg(idealPeak)));
        const double settled = settleTime(samples);
        const double idealSettled = settleTime(ideal);
        QVERIFY2(std::abs(settled - idealSettled) <= 0.032,
                 qPrintable(QStringLiteral("%1 s vs %2 s").arg(settled).arg(idealSettled)));
    }
    void springFollowsItsToken_data() { tokensInQml_data(); }

    // Under reduced motion a change through the motion helpers happens at once; otherwise it
    // animates. The setting is followed live.
    void reduceMotion_data()
    {
        QTest::addColumn<QString>("property");
        QTest::newRow("NotchAnimation") << "spring";
        QTest::newRow("AmbientAnimation") << "ambient";
    }
    void reduceMotion()
    {
        QFETCH(QString, property);
        auto object = load("Item {\n"
                           "  property real spring: 0\n"
                           "  NotchAnimation on spring { token: Motion.tap }\n"
                           "  property real ambient: 0\n"
                           "  AmbientAnimation on ambient {}\n"
                           "}");
        QVERIFY(object);
        QQmlProperty value(object.get(), property);

        m_appearance.setReduceMotion(true);
        value.write(100.0);
        QCOMPARE(value.read().toDouble(), 100.0);

        m_appearance.setReduceMotion(false);
        value.write(0.0);
        QCOMPARE(value.read().toDouble(), 100.0);
        letStart();
        advance(48);
        const double midway = value.read().toDouble();
        QVERIFY2(midway > 0 && midway < 100, qPrintable(QString::number(midway)));
        advance(1000);
        QCOMPARE(value.read().toDouble(), 0.0);

        m_appearance.setReduceMotion(true);
        value.write(40.0);
        QCOMPARE(value.read().toDouble(), 40.0);
    }

    // The ambient ease runs 280 ms, slow at both ends, half way at half time; colours too.
    void ambientEase()
    {
        auto object = load("Item {\n"
                           "  property real v: 0\n"
                           "  AmbientAnimation on v {}\n"
                           "  property color c: \"black\"\n"
                           "  AmbientAnimation on c {}\n"
                           "}");
        QVERIFY(object);
        QQmlProperty(object.get(), "v").write(100.0);
        QQmlProperty(object.get(), "c").write(QColor(Qt::white));
        letStart();
        QVERIFY(m_driver.isRunning());
        std::vector<double> values{0};
        for (int ms = 10; ms <= 300; ms += 10) {
            tick(10);
            values.push_back(object->property("v").toDouble());
        }
        // values[i] is the value i × 10 ms in.
        QVERIFY2(values[7] < 20, qPrintable(QString::number(values[7])));  // 25 % of the time
        QVERIFY2(std::abs(values[14] - 50) < 2, qPrintable(QString::number(values[14])));
        QVERIFY2(values[21] > 80, qPrintable(QString::number(values[21])));
        QVERIFY2(values[27] < 100, qPrintable(QString::number(values[27])));
        QCOMPARE(values[28], 100.0);
        QCOMPARE(object->property("c").value<QColor>(), QColor(Qt::white));
        QVERIFY(std::is_sorted(values.begin(), values.end()));
    }

    // Motion.reduceMotion follows the desktop's appearance and notifies only on change.
    void reduceMotionNotifies()
    {
        FakeSystemAppearance first;
        MotionTokens motion(first);
        QSignalSpy spy(&motion, &MotionTokens::reduceMotionChanged);

        first.setReduceMotion(true);
        QVERIFY(motion.reduceMotion());
        QCOMPARE(spy.size(), 1);

        FakeSystemAppearance second;
        second.setReduceMotion(true);
        motion.setAppearance(second);
        QCOMPARE(spy.size(), 1);
        first.setReduceMotion(false); // no longer followed
        QVERIFY(motion.reduceMotion());
        QCOMPARE(spy.size(), 1);
        second.setReduceMotion(false);
        QVERIFY(!motion.reduceMotion());
        QCOMPARE(spy.size(), 2);
    }
};

QTEST_MAIN(MotionTest)
#include "tst_motion.moc"
