// labels: usage qml
// The usage gauge: ring, tint around 34 % and 67 % and above 100 %, "—", opacity and scale, text
// colours, help and accessibility texts, from a table; then the view offscreen: what its items
// show, hovering, a click anywhere on it, and Reduce Motion.
#include "design/Style.h"
#include "usage/UsageGaugeFace.h"

#include <QAccessible>
#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <memory>

Q_IMPORT_QML_PLUGIN(Tavrenhold_DesignPlugin)
Q_IMPORT_QML_PLUGIN(Tavrenhold_UsagePlugin)

using namespace tavrenhold;

Q_DECLARE_METATYPE(tavrenhold::UsageVendor)
Q_DECLARE_METATYPE(tavrenhold::ColorToken)

namespace {

QColor dark(ColorToken token) { return Style::color(token, ColorScheme::dark); }

// A colour as drawn: 8 bits a channel (QML keeps colours in its own precision).
QString drawn(const QColor &color) { return color.name(QColor::HexArgb); }

struct ViewRig {
    QQmlEngine engine;
    QQuickWindow window;
    std::unique_ptr<QQuickItem> gauge;

    explicit ViewRig(const QVariantMap &properties)
    {
        QQmlComponent component(&engine, QUrl(QStringLiteral("qrc:/Tavrenhold/Usage/qml/UsageGauge.qml")));
        gauge.reset(qobject_cast<QQuickItem *>(component.createWithInitialProperties(properties)));
        if (!gauge) {
            qWarning("%s", qPrintable(component.errorString()));
            return;
        }
        window.resize(120, 100);
        gauge->setParentItem(window.contentItem());
        gauge->setPosition({20, 20});
        gauge->setWidth(64);
        window.show();
    }
    [[nodiscard]] QObject *item(const char *name) const { return gauge->findChild<QObject *>(QLatin1String(name)); }
    [[nodiscard]] UsageGaugeFace *face() const { return gauge->property("face").value<UsageGaugeFace *>(); }
    [[nodiscard]] QPoint at(double x, double y) const { return gauge->mapToScene({x, y}).toPoint(); }
};

// The Accessible attached object of a QML item (its role and traits).
QObject *accessibleOf(QObject *item)
{
    for (QObject *child : item->children())
        if (qstrcmp(child->metaObject()->className(), "QQuickAccessibleAttached") == 0)
            return child;
    return nullptr;
}

// What the usage pane's view asks of its pane: the store (none: nothing connected) and the
// settings window.
class PaneStandIn : public QObject {
    Q_OBJECT
    Q_PROPERTY(QObject *store READ store CONSTANT)
public:
    [[nodiscard]] QObject *store() const { return nullptr; }
    Q_INVOKABLE void openSettings() { ++opened; }
    int opened = 0;
};

} // namespace

class UsageGaugeTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void labels_data()
    {
        QTest::addColumn<UsageVendor>("vendor");
        QTest::addColumn<QString>("label");
        QTest::newRow("openai") << UsageVendor::openai << "OPENAI";
        QTest::newRow("anthropic") << UsageVendor::anthropic << "ANTHROPIC";
        QTest::newRow("google") << UsageVendor::google << "GOOGLE";
        QTest::newRow("xai") << UsageVendor::xai << "XAI";
        QTest::newRow("cursor") << UsageVendor::cursor << "CURSOR";
        QTest::newRow("copilot") << UsageVendor::copilot << "COPILOT";
    }

    void labels()
    {
        QFETCH(UsageVendor, vendor);
        QFETCH(QString, label);
        QCOMPARE(gaugeLabel(vendor), label);
    }

    void face_data()
    {
        QTest::addColumn<UsageVendor>("vendor");
        QTest::addColumn<QVariant>("headline");
        QTest::addColumn<bool>("selected");
        QTest::addColumn<bool>("hovering");
        QTest::addColumn<double>("ring");
        QTest::addColumn<ColorToken>("tint");
        QTest::addColumn<double>("opacity");
        QTest::addColumn<double>("scale");
        QTest::addColumn<QString>("center");
        QTest::addColumn<ColorToken>("centerColor");
        QTest::addColumn<ColorToken>("labelColor"); // the tint when selected
        QTest::addColumn<QString>("help");
        QTest::addColumn<QString>("accessible");

        const auto a = UsageVendor::anthropic;
        const QString clickA = QStringLiteral("Click to see ANTHROPIC model usage");
        const QString showA = QStringLiteral("Showing Anthropic model usage");
        using C = ColorToken;
        QTest::newRow("33 is low") << a << QVariant(33) << false << false << 0.33 << C::usageLow << 0.82 << 1.0 << "33%"
                                   << C::inkMuted << C::inkFaint << clickA << "Anthropic 33 percent";
        QTest::newRow("34 is medium") << a << QVariant(34) << false << false << 0.34 << C::usageMedium << 0.82 << 1.0
                                      << "34%" << C::inkMuted << C::inkFaint << clickA << "Anthropic 34 percent";
        QTest::newRow("66 is medium") << a << QVariant(66) << false << false << 0.66 << C::usageMedium << 0.82 << 1.0
                                      << "66%" << C::inkMuted << C::inkFaint << clickA << "Anthropic 66 percent";
        QTest::newRow("67 is high") << a << QVariant(67) << false << false << 0.67 << C::usageHigh << 0.82 << 1.0
                                    << "67%" << C::inkMuted << C::inkFaint << clickA << "Anthropic 67 percent";
        QTest::newRow("0") << a << QVariant(0) << false << false << 0.0 << C::usageLow << 0.82 << 1.0 << "0%"
                           << C::inkMuted << C::inkFaint << clickA << "Anthropic 0 percent";
        QTest::newRow("100") << a << QVariant(100) << false << false << 1.0 << C::usageHigh << 0.82 << 1.0 << "100%"
                             << C::inkMuted << C::inkFaint << clickA << "Anthropic 100 percent";
        QTest::newRow("130 shows unlimited, ring full")
            << a << QVariant(130) << false << false << 1.0 << C::usageHigh << 0.82 << 1.0 << "130%" << C::inkMuted
            << C::inkFaint << clickA << "Anthropic 130 percent";
        QTest::newRow("no headline") << a << QVariant() << false << false << 0.0 << C::usageLow << 0.82 << 1.0
                                     << QString::fromUtf8("—") << C::inkMuted << C::inkFaint << clickA
                                     << "Anthropic usage unavailable";
        QTest::newRow("not a whole percentage") << a << QVariant(42.5) << false << false << 0.0 << C::usageLow << 0.82
                                                << 1.0 << QString::fromUtf8("—") << C::inkMuted << C::inkFaint << clickA
                                                << "Anthropic usage unavailable";
        QTest::newRow("hovered") << a << QVariant(42) << false << true << 0.42 << C::usageMedium << 1.0 << 1.04 << "42%"
                                 << C::inkMuted << C::inkFaint << clickA << "Anthropic 42 percent";
        QTest::newRow("selected") << a << QVariant(42) << true << false << 0.42 << C::usageMedium << 1.0 << 1.04
                                  << "42%" << C::ink << C::usageMedium << showA << "Anthropic 42 percent";
        QTest::newRow("selected and hovered, high")
            << a << QVariant(90) << true << true << 0.9 << C::usageHigh << 1.0 << 1.04 << "90%" << C::ink
            << C::usageHigh << showA << "Anthropic 90 percent";
        QTest::newRow("xAI selected, no headline")
            << UsageVendor::xai << QVariant() << true << false << 0.0 << C::usageLow << 1.0 << 1.04
            << QString::fromUtf8("—") << C::ink << C::usageLow << "Showing xAI model usage" << "xAI usage unavailable";
        QTest::newRow("OpenAI unselected") << UsageVendor::openai << QVariant(5) << false << false << 0.05 << C::usageLow
                                           << 0.82 << 1.0 << "5%" << C::inkMuted << C::inkFaint
                                           << "Click to see OPENAI model usage" << "OpenAI 5 percent";
    }

    void face()
    {
        QFETCH(UsageVendor, vendor);
        QFETCH(QVariant, headline);
        QFETCH(bool, selected);
        QFETCH(bool, hovering);

        UsageGaugeFace face;
        face.setVendor(vendor);
        face.setHeadlineValue(headline);
        face.setSelected(selected);
        face.setHovering(hovering);

        QTEST(face.ringValue(), "ring");
        QFETCH(ColorToken, tint);
        QCOMPARE(face.tint(), dark(tint));
        QTEST(face.ringOpacity(), "opacity");
        QTEST(face.dialScale(), "scale");
        QTEST(face.centerText(), "center");
        QFETCH(ColorToken, centerColor);
        QFETCH(ColorToken, labelColor);
        QCOMPARE(face.centerColor(), dark(centerColor));
        QCOMPARE(face.labelColor(), dark(labelColor));
        QTEST(face.helpText(), "help");
        QTEST(face.accessibleName(), "accessible");
        QCOMPARE(face.label(), gaugeLabel(vendor));
    }

    // A share sets vendor and headline; the same values again notify nobody.
    void notifiesOnlyOnChange()
    {
        UsageGaugeFace face;
        QSignalSpy changed(&face, &UsageGaugeFace::changed);
        face.setShare(UsageShare{UsageVendor::google, 10, 0.5, {}, 71});
        QCOMPARE(changed.count(), 1);
        QCOMPARE(face.centerText(), QStringLiteral("71%"));
        face.setShare(UsageShare{UsageVendor::google, 99, 0.9, {}, 71});
        face.setHeadlineValue(71);
        face.setVendorRaw(QStringLiteral("google"));
        face.setSelected(false);
        face.setHovering(false);
        QCOMPARE(changed.count(), 1);
        face.setVendorRaw(QStringLiteral("Google")); // not a raw value: ignored
        QCOMPARE(face.vendor(), UsageVendor::google);
        QCOMPARE(changed.count(), 1);
    }

    // The view shows the face; the pointer over it lifts the dial; a click anywhere runs its action.
    void view()
    {
        ViewRig rig({{"vendor", "anthropic"}, {"headline", 42}, {"selected", false}, {"reduceMotion", true}});
        QVERIFY(rig.gauge);
        QVERIFY(QTest::qWaitForWindowExposed(&rig.window));
        QCOMPARE(rig.item("usageGaugeCenter")->property("text").toString(), QStringLiteral("42%"));
        QCOMPARE(rig.item("usageGaugeCenter")->property("textFormat").toInt(), int(Qt::PlainText));
        QCOMPARE(rig.item("usageGaugeLabel")->property("text").toString(), QStringLiteral("ANTHROPIC"));
        QCOMPARE(drawn(rig.item("usageGaugeLabel")->property("color").value<QColor>()), drawn(dark(ColorToken::inkFaint)));
        QCOMPARE(rig.item("usageGaugeRing")->property("value").toDouble(), 0.42);
        QCOMPARE(drawn(rig.item("usageGaugeRing")->property("tint").value<QColor>()), drawn(dark(ColorToken::usageMedium)));
        QCOMPARE(rig.item("usageGaugeRing")->property("opacity").toDouble(), 0.82);
        QCOMPARE(rig.item("usageGaugeDial")->property("scale").toDouble(), 1.0);
        QCOMPARE(rig.face()->helpText(), QStringLiteral("Click to see ANTHROPIC model usage"));

        // Hovering, with Reduce Motion on: at once.
        QTest::mouseMove(&rig.window, rig.at(32, 22));
        QTRY_VERIFY(rig.face()->hovering());
        QCOMPARE(rig.item("usageGaugeRing")->property("opacity").toDouble(), 1.0);
        QCOMPARE(rig.item("usageGaugeDial")->property("scale").toDouble(), 1.04);

        // A click on the label, far from the ring, is a click on the gauge.
        QSignalSpy clicked(rig.gauge.get(), SIGNAL(clicked()));
        QTest::mouseClick(&rig.window, Qt::LeftButton, {}, rig.at(4, rig.gauge->height() - 3));
        QCOMPARE(clicked.count(), 1);

        // Selected: the centre in ink, the label in the tint, the help names the vendor.
        rig.gauge->setProperty("selected", true);
        QCOMPARE(drawn(rig.item("usageGaugeCenter")->property("color").value<QColor>()), drawn(dark(ColorToken::ink)));
        QCOMPARE(drawn(rig.item("usageGaugeLabel")->property("color").value<QColor>()), drawn(dark(ColorToken::usageMedium)));
        QCOMPARE(rig.face()->helpText(), QStringLiteral("Showing Anthropic model usage"));

        // No headline.
        rig.gauge->setProperty("headline", QVariant());
        QCOMPARE(rig.item("usageGaugeCenter")->property("text").toString(), QString::fromUtf8("—"));
        QCOMPARE(rig.item("usageGaugeRing")->property("value").toDouble(), 0.0);
        QCOMPARE(rig.face()->accessibleName(), QStringLiteral("Anthropic usage unavailable"));
    }

    // The gauge is a button; it carries the selected trait (selectable and selected) only while
    // selected, and no extra trait otherwise.
    void accessibleTraits()
    {
        ViewRig rig({{"vendor", "openai"}, {"headline", 10}, {"selected", false}, {"reduceMotion", true}});
        QVERIFY(rig.gauge);
        QObject *accessible = accessibleOf(rig.gauge.get());
        QVERIFY(accessible);
        QCOMPARE(accessible->property("role").toInt(), int(QAccessible::Button));
        QCOMPARE(accessible->property("selectable").toBool(), false);
        QCOMPARE(accessible->property("selected").toBool(), false);
        rig.gauge->setProperty("selected", true);
        QCOMPARE(accessible->property("selectable").toBool(), true);
        QCOMPARE(accessible->property("selected").toBool(), true);
        rig.gauge->setProperty("selected", false);
        QCOMPARE(accessible->property("selectable").toBool(), false);
    }

    // "Open Settings…" in the empty pane is a button: its role, a place in the tab chain, and
    // Space, Return and Enter (as well as a click) open the settings window.
    void openSettingsIsAButton_data()
    {
        QTest::addColumn<int>("key"); // 0: a click
        QTest::newRow("space") << int(Qt::Key_Space);
        QTest::newRow("return") << int(Qt::Key_Return);
        QTest::newRow("enter") << int(Qt::Key_Enter);
        QTest::newRow("click") << 0;
    }
    void openSettingsIsAButton()
    {
        QFETCH(int, key);
        QQmlEngine engine;
        QQuickWindow window;
        PaneStandIn pane;
        QQmlComponent component(&engine, QUrl(QStringLiteral("qrc:/Tavrenhold/Usage/qml/UsagePaneView.qml")));
        std::unique_ptr<QQuickItem> view(qobject_cast<QQuickItem *>(
            component.createWithInitialProperties({{"pane", QVariant::fromValue<QObject *>(&pane)}})));
        QVERIFY2(view, qPrintable(component.errorString()));
        window.resize(400, 120);
        view->setParentItem(window.contentItem());
        view->setSize({400, 120});
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *button = view->findChild<QQuickItem *>(QStringLiteral("openSettings"));
        QVERIFY(button && button->isVisible());
        QObject *accessible = accessibleOf(button);
        QVERIFY(accessible);
        QCOMPARE(accessible->property("role").toInt(), int(QAccessible::Button));
        QCOMPARE(accessible->property("name").toString(), QStringLiteral("Open Settings…"));

        if (key == 0) {
            QTest::mouseClick(&window, Qt::LeftButton, {}, button->mapToScene({4, button->height() / 2}).toPoint());
        } else {
            window.requestActivate();
            QTest::keyClick(&window, Qt::Key_Tab);
            QTRY_VERIFY(button->hasActiveFocus());
            QTest::keyClick(&window, Qt::Key(key));
        }
        QCOMPARE(pane.opened, 1);
    }

    // Without Reduce Motion the dial springs to its new scale: not there at once, there in the end.
    void animated()
    {
        ViewRig rig({{"vendor", "cursor"}, {"headline", 80}, {"selected", false}, {"reduceMotion", false}});
        QVERIFY(rig.gauge);
        QVERIFY(QTest::qWaitForWindowExposed(&rig.window));
        rig.gauge->setProperty("selected", true);
        QVERIFY(rig.item("usageGaugeDial")->property("scale").toDouble() < 1.04);
        QTRY_COMPARE(rig.item("usageGaugeDial")->property("scale").toDouble(), 1.04);
    }
};

QTEST_MAIN(UsageGaugeTest)
#include "tst_usagegauge.moc"
