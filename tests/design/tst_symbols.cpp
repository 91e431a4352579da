// labels: qml
#include "design/NotchPane.h"
#include "design/Symbols.h"

#include <QImage>
#include <QPainter>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QSvgRenderer>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(Tavrenhold_DesignPlugin)

using tavrenhold::PaneID;
using tavrenhold::Symbols;

class SymbolsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Every pane's symbol is one of ours, a valid 24 x 24 drawing in black only (so it can be tinted).
    void paneSymbolsRender_data()
    {
        QTest::addColumn<QString>("name");
        for (PaneID pane : tavrenhold::allPanes)
            QTest::newRow(qPrintable(tavrenhold::rawValue(pane))) << tavrenhold::symbol(pane);
    }
    void paneSymbolsRender()
    {
        QFETCH(QString, name);
        const auto path = Symbols::path(name);
        QVERIFY(path);
        QCOMPARE(*path, QStringLiteral(":/tavrenhold/symbols/") + name + QStringLiteral(".svg"));

        QSvgRenderer renderer(*path);
        QVERIFY(renderer.isValid());
        QCOMPARE(renderer.viewBoxF(), QRectF(0, 0, 24, 24));

        QImage image(48, 48, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.render(&painter);
        painter.end();
        int inked = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.alpha() == 0)
                    continue;
                ++inked;
                QVERIFY2(c.red() == 0 && c.green() == 0 && c.blue() == 0, qPrintable(c.name(QColor::HexArgb)));
            }
        }
        // A line drawing: clearly something, far from a filled square.
        QVERIFY2(inked > 48 * 48 / 20 && inked < 48 * 48 / 2, qPrintable(QString::number(inked)));
    }

    void unknownNamesGiveNothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("empty") << QString();
        QTest::newRow("unknown") << QStringLiteral("star.fill");
        QTest::newRow("case differs") << QStringLiteral("Timer");
        QTest::newRow("file name") << QStringLiteral("timer.svg");
        QTest::newRow("folder step") << QStringLiteral("../symbols/timer");
        QTest::newRow("absolute") << QStringLiteral("/tavrenhold/symbols/timer");
        QTest::newRow("trailing slash") << QStringLiteral("timer/");
    }
    void unknownNamesGiveNothing()
    {
        QFETCH(QString, name);
        QCOMPARE(Symbols::path(name), std::nullopt);
        QVERIFY(Symbols().url(name).isEmpty());
    }

    void qmlSingletonGivesUrls()
    {
        QQmlEngine engine;
        QQmlComponent component(&engine);
        component.setData("import QtQml\nimport Tavrenhold.Design\n"
                          "QtObject {\n"
                          "  property url note: Symbols.url(\"music.note\")\n"
                          "  property url missing: Symbols.url(\"no.such.symbol\")\n"
                          "}",
                          QUrl());
        std::unique_ptr<QObject> object(component.create());
        QVERIFY2(object, qPrintable(component.errorString()));
        QCOMPARE(object->property("note").toUrl(), QUrl(QStringLiteral("qrc:/tavrenhold/symbols/music.note.svg")));
        QVERIFY(object->property("missing").toUrl().isEmpty());
        QVERIFY(QSvgRenderer(QStringLiteral(":/tavrenhold/symbols/music.note.svg")).isValid());
    }
};

QTEST_MAIN(SymbolsTest)
#include "tst_symbols.moc"
