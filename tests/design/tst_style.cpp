// labels: qml
#include "design/Style.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QMetaProperty>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QSignalSpy>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <cmath>
#include <memory>

Q_IMPORT_QML_PLUGIN(Tavrenhold_DesignPlugin)

using tavrenhold::ColorScheme;
using tavrenhold::ColorToken;
using tavrenhold::FontToken;
using tavrenhold::Style;

namespace {
bool near(double a, double b) { return std::abs(a - b) < 1e-4; }

QByteArray describe(const QColor &c)
{
    return QByteArray::number(c.redF()) + ", " + QByteArray::number(c.greenF()) + ", "
        + QByteArray::number(c.blueF()) + " @ " + QByteArray::number(c.alphaF());
}
} // namespace

class StyleTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Which tokens switch with the scheme, and which are `ink` at an opacity.
    void tokensAcrossSchemes_data()
    {
        QTest::addColumn<ColorToken>("token");
        QTest::addColumn<bool>("switches");
        QTest::addColumn<double>("inkOpacity"); // 0 when not derived from ink
        QTest::newRow("ink") << ColorToken::ink << true << 1.0;
        QTest::newRow("inkMuted") << ColorToken::inkMuted << true << 0.58;
        QTest::newRow("inkFaint") << ColorToken::inkFaint << true << 0.45;
        QTest::newRow("fill") << ColorToken::fill << true << 0.07;
        QTest::newRow("fillHover") << ColorToken::fillHover << true << 0.13;
        QTest::newRow("fillActive") << ColorToken::fillActive << true << 0.92;
        QTest::newRow("hairline") << ColorToken::hairline << true << 0.14;
        QTest::newRow("dashed") << ColorToken::dashed << true << 0.26;
        QTest::newRow("onActive") << ColorToken::onActive << true << 0.0;
        QTest::newRow("ground") << ColorToken::ground << true << 0.0;
        QTest::newRow("solidSurface") << ColorToken::solidSurface << true << 0.0;
        QTest::newRow("dropAccent") << ColorToken::dropAccent << true << 0.0;
        QTest::newRow("notesAccent") << ColorToken::notesAccent << true << 0.0;
        QTest::newRow("focusAccent") << ColorToken::focusAccent << false << 0.0;
        QTest::newRow("clipboardAccent") << ColorToken::clipboardAccent << false << 0.0;
        QTest::newRow("usageAccent") << ColorToken::usageAccent << false << 0.0;
        QTest::newRow("usageLow") << ColorToken::usageLow << false << 0.0;
        QTest::newRow("usageMedium") << ColorToken::usageMedium << false << 0.0;
        QTest::newRow("usageHigh") << ColorToken::usageHigh << false << 0.0;
    }
    void tokensAcrossSchemes()
    {
        QFETCH(ColorToken, token);
        QFETCH(bool, switches);
        QFETCH(double, inkOpacity);
        const QColor light = Style::color(token, ColorScheme::light);
        const QColor dark = Style::color(token, ColorScheme::dark);
        QVERIFY(light.isValid() && dark.isValid());
        QCOMPARE(light != dark, switches);
        if (inkOpacity > 0) {
            for (ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
                const QColor c = Style::color(token, scheme);
                const QColor ink = Style::color(ColorToken::ink, scheme);
                QCOMPARE(c.rgb(), ink.rgb()); // rgb() leaves out the alpha
                QVERIFY2(near(c.alphaF(), inkOpacity), describe(c));
            }
        } else {
            QCOMPARE(light.alphaF(), 1.0);
            QCOMPARE(dark.alphaF(), 1.0);
        }
    }

    void exactValues_data()
    {
        QTest::addColumn<ColorToken>("token");
        QTest::addColumn<ColorScheme>("scheme");
        QTest::addColumn<QList<double>>("rgba");
        QTest::newRow("ink light") << ColorToken::ink << ColorScheme::light << QList<double>{0.11, 0.105, 0.10, 1};
        QTest::newRow("ink dark") << ColorToken::ink << ColorScheme::dark << QList<double>{0.94, 0.93, 0.90, 1};
        QTest::newRow("inkMuted dark") << ColorToken::inkMuted << ColorScheme::dark << QList<double>{0.94, 0.93, 0.90, 0.58};
        QTest::newRow("onActive light") << ColorToken::onActive << ColorScheme::light << QList<double>{0.995, 0.99, 0.985, 1};
        QTest::newRow("ground dark") << ColorToken::ground << ColorScheme::dark << QList<double>{0, 0, 0, 1};
        QTest::newRow("solidSurface dark") << ColorToken::solidSurface << ColorScheme::dark << QList<double>{0.10, 0.095, 0.09, 1};
        QTest::newRow("notesAccent dark") << ColorToken::notesAccent << ColorScheme::dark << QList<double>{1.0, 0.68, 0.44, 1};
        QTest::newRow("dropAccent light") << ColorToken::dropAccent << ColorScheme::light << QList<double>{0.42, 0.40, 0.37, 1};
        QTest::newRow("focusAccent light") << ColorToken::focusAccent << ColorScheme::light << QList<double>{1.0, 0.30, 0.0, 1};
        QTest::newRow("usageHigh dark") << ColorToken::usageHigh << ColorScheme::dark << QList<double>{0.92, 0.28, 0.26, 1};
    }
    void exactValues()
    {
        QFETCH(ColorToken, token);
        QFETCH(ColorScheme, scheme);
        QFETCH(QList<double>, rgba);
        const QColor c = Style::color(token, scheme);
        QCOMPARE(c.spec(), QColor::Rgb);
        QVERIFY2(near(c.redF(), rgba[0]) && near(c.greenF(), rgba[1]) && near(c.blueF(), rgba[2])
                     && near(c.alphaF(), rgba[3]),
                 describe(c));
    }

    // The fonts carry whole pixel sizes (halves round up); the exact size stays with the token.
    // The numeric tokens draw in the rounded family when the machine has it, else in a system font,
    // and in either case their digits are all one width.
    void fonts_data()
    {
        QTest::addColumn<FontToken>("token");
        QTest::addColumn<double>("size");
        QTest::addColumn<int>("pixelSize");
        QTest::addColumn<int>("weight");
        QTest::addColumn<QString>("face");
        QTest::newRow("title") << FontToken::title << 15.0 << 15 << int(QFont::DemiBold) << "general";
        QTest::newRow("subtitle") << FontToken::subtitle << 12.0 << 12 << int(QFont::Normal) << "general";
        QTest::newRow("body") << FontToken::body << 12.5 << 13 << int(QFont::Normal) << "general";
        QTest::newRow("caption") << FontToken::caption << 10.5 << 11 << int(QFont::Normal) << "general";
        QTest::newRow("label") << FontToken::label << 9.0 << 9 << int(QFont::DemiBold) << "monospaced";
        QTest::newRow("numeric") << FontToken::numeric << 11.5 << 12 << int(QFont::DemiBold) << "numbers";
        QTest::newRow("numericLarge") << FontToken::numericLarge << 19.0 << 19 << int(QFont::DemiBold) << "numbers";
    }
    void fonts()
    {
        QFETCH(FontToken, token);
        QFETCH(double, size);
        QFETCH(int, pixelSize);
        QFETCH(int, weight);
        QFETCH(QString, face);
        const QFont font = Style::font(token);
        QCOMPARE(Style::size(token), size);
        QCOMPARE(font.pixelSize(), pixelSize);
        if (face == QLatin1String("numbers")) {
            const QFontInfo info(font);
            QVERIFY2(Style::hasTabularDigits(font), qPrintable(info.family()));
            const QString rounded = QString::fromLatin1(tavrenhold::roundedFontFamily);
            if (QFontDatabase::hasFamily(rounded)) {
                // Its bold cut stands in for semibold.
                QCOMPARE(info.family().section(QLatin1String(" ["), 0, 0).toLower(), rounded);
                QCOMPARE(info.weight(), int(QFont::Bold));
            } else {
                QCOMPARE(int(font.weight()), weight);
            }
        } else {
            QCOMPARE(int(font.weight()), weight);
            const auto system = face == QLatin1String("monospaced") ? QFontDatabase::FixedFont : QFontDatabase::GeneralFont;
            QCOMPARE(font.family(), QFontDatabase::systemFont(system).family());
        }
        QCOMPARE(Style::font(token), font); // made once, the same every time
    }

    // NotchText draws a half size as it is: "8888" at 11.5 is as wide as the font's advances at that
    // size, between the widths at 11 and at 12 pixels; at a whole size it is the plain text's width.
    // A maximum width scales a wider text down to it.
    void notchTextDrawsTheExactSize_data()
    {
        QTest::addColumn<double>("size");
        QTest::addColumn<double>("maximumWidth");
        QTest::newRow("11.5") << 11.5 << 0.0;
        QTest::newRow("12.5") << 12.5 << 0.0;
        QTest::newRow("19") << 19.0 << 0.0;
        QTest::newRow("11.5 within 20") << 11.5 << 20.0;
    }
    void notchTextDrawsTheExactSize()
    {
        QFETCH(double, size);
        QFETCH(double, maximumWidth);
        QQmlEngine engine;
        QQmlComponent component(&engine);
        component.setData("import QtQuick\nimport Tavrenhold.Design\n"
                          "NotchText { text: \"8888\"; font: Style.numeric }",
                          QUrl());
        std::unique_ptr<QObject> text(component.create());
        QVERIFY2(text, qPrintable(component.errorString()));
        text->setProperty("size", size);
        text->setProperty("maximumWidth", maximumWidth);

        QFont font = Style::font(FontToken::numeric);
        const auto widthAt = [&font](int pixels) {
            font.setPixelSize(pixels);
            return QFontMetricsF(font).horizontalAdvance(QStringLiteral("8888"));
        };
        const double width = text->property("implicitWidth").toDouble();
        if (maximumWidth > 0) {
            QCOMPARE(width, maximumWidth);
            return;
        }
        const bool whole = size == std::round(size);
        if (whole) {
            QCOMPARE(width, widthAt(int(size)));
            return;
        }
        const double exact = widthAt(int(size * 4)) / 4;
        QVERIFY2(std::abs(width - exact) < 0.3, qPrintable(QString::number(width)));
        QVERIFY2(width > widthAt(int(std::floor(size))) && width < widthAt(int(std::ceil(size))), qPrintable(QString::number(width)));
    }

    // Every colour property of the QML object reads its own token in the object's scheme.
    void propertiesMatchTheTable()
    {
        Style style;
        for (bool dark : {true, false}) {
            style.setDark(dark);
            for (int i = 0; i < tavrenhold::colorTokenCount; ++i) {
                const auto token = ColorToken(i);
                const QByteArray name = Style::name(token).toLatin1();
                const QVariant value = style.property(name.constData());
                QVERIFY2(value.isValid(), name.constData());
                QCOMPARE(value.value<QColor>(), Style::color(token, style.scheme()));
                const QMetaProperty property = style.metaObject()->property(style.metaObject()->indexOfProperty(name));
                QCOMPARE(property.isConstant(), Style::kind(token) == tavrenhold::ColorKind::fixed);
            }
        }
    }

    void darkNotifiesOnlyOnChange()
    {
        Style style;
        QVERIFY(style.dark()); // the collapsed bar the program starts with is dark
        QSignalSpy changed(&style, &Style::darkChanged);
        style.setDark(true);
        QCOMPARE(changed.count(), 0);
        style.setDark(false);
        style.setDark(false);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(style.scheme(), ColorScheme::light);
    }

    void qmlSingletonResolvesAgainstItsScheme()
    {
        QQmlEngine engine;
        QQmlComponent component(&engine);
        component.setData("import QtQuick\nimport Tavrenhold.Design\n"
                          "QtObject {\n"
                          "  property color ink: Style.ink\n"
                          "  property color hairline: Style.hairline\n"
                          "  property color accent: Style.focusAccent\n"
                          "  property font title: Style.title\n"
                          "  function setDark(d) { Style.dark = d }\n"
                          "}",
                          QUrl());
        std::unique_ptr<QObject> object(component.create());
        QVERIFY2(object, qPrintable(component.errorString()));

        QCOMPARE(object->property("ink").value<QColor>(), Style::color(ColorToken::ink, ColorScheme::dark));
        QMetaObject::invokeMethod(object.get(), "setDark", Q_ARG(QVariant, false));
        QCOMPARE(object->property("ink").value<QColor>(), Style::color(ColorToken::ink, ColorScheme::light));
        QCOMPARE(object->property("hairline").value<QColor>(), Style::color(ColorToken::hairline, ColorScheme::light));
        QCOMPARE(object->property("accent").value<QColor>(), Style::color(ColorToken::focusAccent, ColorScheme::dark));
        QMetaObject::invokeMethod(object.get(), "setDark", Q_ARG(QVariant, true));
        QCOMPARE(object->property("ink").value<QColor>(), Style::color(ColorToken::ink, ColorScheme::dark));
        QCOMPARE(object->property("title").value<QFont>().pixelSize(), 15);
    }
};

QTEST_MAIN(StyleTest)
#include "tst_style.moc"
