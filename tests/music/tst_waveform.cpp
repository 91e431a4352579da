// The level meter: its known first step from rest, the fallback for a wrong number of bars, and the
// invariants that hold at any position (hundredths, the 0.1 … 1 range, slow fall, repeatability).
#include "music/Waveform.h"

#include <QTest>

#include <cmath>

using namespace tavrenhold;

Q_DECLARE_METATYPE(std::vector<float>)

namespace {
bool wholeHundredths(float v) { return std::abs(v * 100.0 - std::round(v * 100.0)) < 1e-4; }
} // namespace

class WaveformTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void firstStepFromRest()
    {
        const std::vector<float> expected{0.89f, 0.89f, 0.81f, 0.43f, 0.44f};
        QCOMPARE(Waveform::next(Waveform::flat(), 0), expected);
    }

    void wrongLengthIsFlat_data()
    {
        QTest::addColumn<std::vector<float>>("levels");
        QTest::newRow("empty") << std::vector<float>{};
        QTest::newRow("three") << std::vector<float>{0.5f, 0.5f, 0.5f};
        QTest::newRow("six") << std::vector<float>(6, 0.9f);
    }
    void wrongLengthIsFlat()
    {
        QFETCH(std::vector<float>, levels);
        for (double x : {0.0, 3.7, 81.25})
            QCOMPARE(Waveform::next(levels, x), Waveform::next(Waveform::flat(), x));
    }

    void invariants_data()
    {
        QTest::addColumn<std::vector<float>>("levels");
        QTest::newRow("low") << std::vector<float>(5, 0.1f);
        QTest::newRow("mixed") << std::vector<float>{0.2f, 0.95f, 0.5f, 0.33f, 0.71f};
        QTest::newRow("high") << std::vector<float>(5, 1.0f);
    }
    void invariants()
    {
        QFETCH(std::vector<float>, levels);
        // A long run, as the display timer would make, from these levels.
        std::vector<float> current = levels;
        for (int step = 0; step < 2000; ++step) {
            const double x = step / 12.0 + 0.013 * step;
            const std::vector<float> out = Waveform::next(current, x);
            QCOMPARE(out.size(), size_t(5));
            QCOMPARE(Waveform::next(current, x), out);
            for (size_t i = 0; i < out.size(); ++i) {
                QVERIFY2(wholeHundredths(out[i]), qPrintable(QString::number(out[i])));
                QVERIFY(out[i] >= 0.1f - 1e-6f && out[i] <= 1.0f + 1e-6f);
                // Falling moves a fifth of the way at most: from v, never below v − 0.2 × (v − 0.1).
                QVERIFY(out[i] >= current[i] - 0.2f * (current[i] - 0.1f) - 0.0051f);
            }
            current = out;
        }
    }

    void noiseStaysInRange()
    {
        for (int i = -200; i < 200; ++i) {
            const double n = Waveform::noise(i * 0.37);
            QVERIFY(n >= 0 && n <= 1);
        }
    }
};

QTEST_MAIN(WaveformTest)
#include "tst_waveform.moc"
