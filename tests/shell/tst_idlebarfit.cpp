// labels: qml
// The collapsed bar's fit with the widest captions a ring can show: every idle item is drawn wholly
// inside the outline, and the notch spacer stays where the surface's width keeps it. ctest runs
// this twice: with the fonts of the machine, and with the rounded numeric family hidden from
// fontconfig (without-rounded.conf), as on a machine that lacks it.
#include "ViewRig.h"
#include "design/NotchSilhouette.h"
#include "design/Style.h"

#include <QFontInfo>
#include <QGuiApplication>
#include <QPainterPath>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(Tavrenhold_DesignPlugin)
Q_IMPORT_QML_PLUGIN(Tavrenhold_ShellPlugin)

using namespace tavrenhold;
using namespace tavrenhold::test;

namespace {

QRectF sceneRect(const QQuickItem *item) { return item->mapRectToScene(QRectF(0, 0, item->width(), item->height())); }

QString describe(const QRectF &r)
{
    return QStringLiteral("(%1, %2) %3 × %4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

bool hidesRoundedFamily() { return qEnvironmentVariable("FONTCONFIG_FILE").endsWith(QLatin1String("without-rounded.conf")); }

} // namespace

class IdleBarFitTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        isolateUserFolders();
        const QString family = QFontInfo(Style::font(FontToken::numeric)).family();
        if (hidesRoundedFamily())
            QVERIFY2(family.compare(QLatin1String(roundedFontFamily), Qt::CaseInsensitive) != 0, qPrintable(family));
        // Whichever family it is, its digits are of one width.
        QVERIFY2(Style::hasTabularDigits(Style::font(FontToken::numeric)), qPrintable(family));
    }

    void itemsFitTheOutline_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("proximity");
        QTest::addColumn<bool>("music");
        for (const QString caption : {QStringLiteral("88:88"), QStringLiteral("\u221288:88")}) {
            for (bool proximity : {false, true}) {
                for (bool music : {false, true}) {
                    QTest::addRow("%s, %s, %s", qPrintable(caption), proximity ? "proximity" : "idle",
                                  music ? "ring, artwork and waveform" : "ring alone")
                        << caption << proximity << music;
                }
            }
        }
    }
    void itemsFitTheOutline()
    {
        QFETCH(QString, caption);
        QFETCH(bool, proximity);
        QFETCH(bool, music);

        ViewRig rig;
        rig.setReduceMotion(true);
        IdleSignal focus;
        focus.isLive = true;
        focus.pinnedLeading = IdleRing{0.5, caption, std::nullopt};
        rig.pane(PaneID::focus).setIdle(focus);
        if (music)
            rig.pane(PaneID::music).setIdle(musicPlaying());
        QVERIFY(rig.load());
        if (proximity)
            rig.model->setPhase(NotchPhase::proximity);
        rig.settle();

        QQuickItem *surface = rig.surface();
        const QRectF rect = sceneRect(surface);
        const QPainterPath outline = NotchSilhouette{rig.model->flareRadius(), rig.model->cornerRadius()}.path(rect);

        QQuickItem *label = rig.find(QStringLiteral("ringLabel"));
        QVERIFY(label);
        QCOMPARE(label->property("text").toString(), caption);
        QQuickItem *pinned = rig.find(QStringLiteral("pinnedSlot"));
        QVERIFY(pinned);
        auto *ring = qobject_cast<QQuickItem *>(pinned->property("item").value<QObject *>());
        QVERIFY(ring);

        // The ring and its caption keep to the ring's 46-point cell.
        const QRectF ringRect = sceneRect(ring);
        QVERIFY2(ringRect.width() <= 46 + 1e-6, qPrintable(describe(ringRect)));
        QVERIFY2(sceneRect(label).right() <= ringRect.right() + 1e-6, qPrintable(describe(sceneRect(label))));

        // Nothing is drawn outside the outline (a pixel counts as inside when the outline touches
        // the square around it, for the anti-aliased edges). The round ring and the waveform's
        // outer bars leave the corners of their cells empty, so the drawing is what is checked.
        const QImage shot = rig.quick->grab();
        int outside = 0;
        QString first;
        for (int y = 0; y < shot.height(); ++y) {
            for (int x = 0; x < shot.width(); ++x) {
                if (qAlpha(shot.pixel(x, y)) > 16 && !outline.intersects(QRectF(x - 0.5, y - 0.5, 2, 2))) {
                    if (outside++ == 0)
                        first = QStringLiteral("(%1, %2)").arg(x).arg(y);
                }
            }
        }
        QVERIFY2(outside == 0, qPrintable(QStringLiteral("%1 pixels outside %2, first at %3").arg(outside).arg(describe(rect), first)));

        // The spacer sits where the surface's width keeps the notch: the leading wing's share on its
        // left, the trailing wing's on its right.
        const double edge = proximity ? 15.5 : 14;
        const double leading = edge + 46 + (music ? 32 : 0);
        const double trailing = music ? 46 + edge : 0;
        QQuickItem *spacer = rig.find(QStringLiteral("notchSpacer"));
        QVERIFY(spacer);
        const QRectF notch = sceneRect(spacer);
        QCOMPARE(notch.width(), 200.0);
        const double expected = rect.center().x() + (leading - trailing) / 2;
        QVERIFY2(std::abs(notch.center().x() - expected) <= 0.5,
                 qPrintable(QStringLiteral("spacer centred at %1, notch at %2").arg(notch.center().x()).arg(expected)));
    }
};

QTEST_MAIN(IdleBarFitTest)
#include "tst_idlebarfit.moc"
