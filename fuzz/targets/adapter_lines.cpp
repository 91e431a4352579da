// The adapter's standard output as the program reads it: cut into chunks the way a pipe may hand
// them over, fed to the line reader, and the whole text decoded as a one-shot "get" payload.
#include "FuzzSupport.h"

#include "nowplaying/AdapterLineReader.h"
#include "nowplaying/AdapterPayload.h"

#include <cmath>

using namespace tavrenhold;

namespace {

void checkPayload(const AdapterPayload &p)
{
    // Non-finite numbers never leave the decoder.
    for (const auto &number : {p.duration, p.elapsedTime, p.playbackRate})
        fuzz::check(!number || std::isfinite(*number), "a non-finite number was decoded");
    fuzz::check(!p.timestamp || p.timestamp->isValid(), "an invalid time stamp was decoded");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static fuzz::FixedClock clock;
    if (size == 0)
        return 0;
    // The first byte sets the chunk length (1..256) and a small line limit, so that both the
    // splitting across chunks and the discarding of overlong lines are reached.
    const qsizetype chunk = qsizetype(data[0]) + 1;
    const qsizetype maxLine = 64 + qsizetype(data[0]) * 16;
    const QByteArray text = fuzz::bytes(data + 1, size - 1);

    // However the pipe cuts the text, the same payloads come out.
    AdapterLineReader chunked(AdapterDecoder(clock), maxLine);
    QList<AdapterPayload> fromChunks;
    for (qsizetype pos = 0; pos < text.size(); pos += chunk) {
        fromChunks += chunked.feed(QByteArrayView(text).sliced(pos, std::min(chunk, text.size() - pos)));
        fuzz::check(chunked.pending() <= maxLine, "the line buffer grew past its limit");
    }
    AdapterLineReader whole(AdapterDecoder(clock), maxLine);
    const QList<AdapterPayload> fromWhole = whole.feed(text);
    fuzz::check(fromChunks == fromWhole, "the chunking changed what was read");
    for (const AdapterPayload &p : fromWhole)
        checkPayload(p);

    if (const auto payload = AdapterDecoder(clock).decodePayload(text))
        checkPayload(*payload);
    return 0;
}
