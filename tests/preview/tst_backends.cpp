// labels: x11
// Every notch-preview case drawn on Qt Quick's software scene graph and on OpenGL looks the same:
// the program picks either at start, so a view using something only one of them draws would show
// on some machines only. Edges and glyphs are antialiased differently; anything larger (a missing
// or differently coloured shape) is a fault.

#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

namespace {

// How far two pixels are apart: the largest difference of their channels, alpha included.
int distance(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b)),
                     std::abs(qAlpha(a) - qAlpha(b))});
}

struct Difference {
    double share = 0; // of all pixels, those that differ visibly from the same pixel of the other
    int unmatched = 0; // pixels with nothing like them within one pixel in the other picture
    QPoint firstAt;
};

constexpr int visibly = 48;

// Whether `p` lies, channel by channel, within the range of `image`'s pixels at (x, y) and one pixel
// around it (give or take `slack`): a coverage the other rasteriser spread differently.
constexpr int slack = 24;
bool within(const QImage &image, int x, int y, QRgb p)
{
    int lo[4] = {255, 255, 255, 255}, hi[4] = {0, 0, 0, 0};
    for (int ny = std::max(0, y - 1); ny <= std::min(image.height() - 1, y + 1); ++ny) {
        for (int nx = std::max(0, x - 1); nx <= std::min(image.width() - 1, x + 1); ++nx) {
            const QRgb q = image.pixel(nx, ny);
            const int c[4] = {qRed(q), qGreen(q), qBlue(q), qAlpha(q)};
            for (int i = 0; i < 4; ++i) {
                lo[i] = std::min(lo[i], c[i]);
                hi[i] = std::max(hi[i], c[i]);
            }
        }
    }
    const int c[4] = {qRed(p), qGreen(p), qBlue(p), qAlpha(p)};
    for (int i = 0; i < 4; ++i) {
        if (c[i] < lo[i] - slack || c[i] > hi[i] + slack)
            return false;
    }
    return true;
}

// Antialiasing and glyph rasterising spread coverage differently over neighbouring pixels: a pixel
// differs, but within the range of its neighbours in the other picture. A shape drawn differently (missing, moved, another colour) has
// pixels with nothing like them nearby.
Difference compare(const QImage &a, const QImage &b)
{
    Difference d;
    int count = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb pa = a.pixel(x, y), pb = b.pixel(x, y);
            if (distance(pa, pb) <= visibly)
                continue;
            ++count;
            if (!within(b, x, y, pa) || !within(a, x, y, pb)) {
                if (d.unmatched++ == 0)
                    d.firstAt = QPoint(x, y);
            }
        }
    }
    d.share = double(count) / (a.width() * a.height());
    return d;
}

} // namespace

class PreviewBackends : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_folder;

    // The preview of `arguments` drawn on an X display with the scene graph `backend` sets.
    QImage render(const QStringList &arguments, const QString &name, const QStringList &backend)
    {
        QProcess preview;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QUICK_BACKEND"));
        env.remove(QStringLiteral("QSG_RHI_BACKEND"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(backend.at(0), backend.at(1));
        preview.setProcessEnvironment(env);
        const QString out = m_folder.filePath(name + QStringLiteral(".png"));
        preview.start(QStringLiteral(TAVRENHOLD_PREVIEW), arguments + QStringList{QStringLiteral("--out"), out});
        if (!preview.waitForFinished(60000) || preview.exitCode() != 0) {
            qWarning().noquote() << preview.readAllStandardError();
            return {};
        }
        return QImage(out).convertToFormat(QImage::Format_ARGB32);
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("needs an X display for OpenGL");
        QVERIFY(m_folder.isValid());
    }

    void sameOnBothBackends_data()
    {
        // A running focus round counts down between the two pictures, so its cases are left out here.
        QTest::addColumn<QStringList>("arguments");
        const auto row = [](const char *name, const QString &line) {
            QTest::newRow(name) << line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        };
        row("idle, playing, dark", QStringLiteral("--phase idle --theme dark"));
        row("idle, playing, light", QStringLiteral("--phase idle --theme light"));
        row("idle, paused", QStringLiteral("--phase idle --music paused"));
        row("idle, nothing playing", QStringLiteral("--phase idle --music none"));
        row("idle, no wings", QStringLiteral("--phase idle --collapsed-width notch --collapsed-height notch"));
        row("idle, no progress line", QStringLiteral("--phase idle --no-progress"));
        row("idle, opaque", QStringLiteral("--phase idle --opaque"));
        row("proximity, dark", QStringLiteral("--phase proximity --theme dark"));
        row("proximity, light", QStringLiteral("--phase proximity --theme light"));
        for (const char *pane : {"usage", "music", "clipboard", "notes", "drop", "focus"}) {
            for (const char *theme : {"dark", "light"}) {
                const QByteArray name = QByteArray("expanded, ") + pane + ", " + theme;
                row(name.constData(), QStringLiteral("--phase expanded --pane %1 --theme %2")
                                          .arg(QLatin1String(pane), QLatin1String(theme)));
            }
        }
        row("expanded, music paused", QStringLiteral("--phase expanded --pane music --music paused"));
        row("expanded, no music", QStringLiteral("--phase expanded --pane music --music none"));
        for (const char *material : {"gradient", "solid"})
            row((QByteArray("expanded, ") + material).constData(),
                QStringLiteral("--phase expanded --pane music --material %1").arg(QLatin1String(material)));
        row("expanded, opaque", QStringLiteral("--phase expanded --pane music --opaque"));
        row("expanded, widest", QStringLiteral("--phase expanded --pane music --expanded-width 600"));
    }

    void sameOnBothBackends()
    {
        QFETCH(QStringList, arguments);
        const QString name = QString::fromLatin1(QTest::currentDataTag()).replace(QRegularExpression(QStringLiteral("\\W+")), QStringLiteral("-"));
        const QImage software = render(arguments, name + QStringLiteral("-software"),
                                       {QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software")});
        const QImage opengl = render(arguments, name + QStringLiteral("-opengl"),
                                     {QStringLiteral("QSG_RHI_BACKEND"), QStringLiteral("opengl")});
        QVERIFY(!software.isNull());
        QVERIFY(!opengl.isNull());
        QCOMPARE(opengl.size(), software.size());
        const Difference d = compare(software, opengl);
        const QString seen = QStringLiteral("%1 % of pixels differ; %2 have nothing like them nearby (first at %3, %4)")
                                 .arg(d.share * 100, 0, 'f', 2)
                                 .arg(d.unmatched)
                                 .arg(d.firstAt.x())
                                 .arg(d.firstAt.y());
        QVERIFY2(d.share <= 0.02, qPrintable(seen));
        QVERIFY2(d.unmatched <= 24, qPrintable(seen));
    }
};

QTEST_GUILESS_MAIN(PreviewBackends)
#include "tst_backends.moc"
