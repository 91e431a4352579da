// The players' scripting answers: the state script's answer split into its fields, read twice (the
// second time with the first reading as the previous one, as polling does), for both players.
#include "FuzzSupport.h"

#include "nowplaying/PlayerScripts.h"

#include <cmath>

using namespace tavrenhold;

namespace {

void checkReading(const PlayerSnapshot &s)
{
    fuzz::check(std::isfinite(s.elapsed), "a non-finite position was read");
    if (s.track) {
        fuzz::check(std::isfinite(s.track->duration), "a non-finite duration was read");
        fuzz::check(!s.track->artworkURL || s.track->artworkURL->scheme().startsWith(u"http"),
                    "an artwork address that is no web address");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static fuzz::FixedClock clock;
    // Answers come back as text; the first line feed separates two answers.
    const QString text = QString::fromUtf8(fuzz::bytes(data, size));
    const qsizetype lf = text.indexOf(u'\n');
    const QString first = lf < 0 ? text : text.left(lf);
    const QString second = lf < 0 ? text : text.mid(lf + 1);
    for (PlayerKind kind : allPlayerKinds) {
        const PlayerSnapshot reading = PlayerScripts::parse(first, kind, std::nullopt, clock);
        checkReading(reading);
        const PlayerSnapshot next = PlayerScripts::parse(second, kind, reading, clock);
        checkReading(next);
    }
    return 0;
}
