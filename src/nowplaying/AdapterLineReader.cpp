#include "AdapterLineReader.h"

#include <algorithm>

namespace tavrenhold {

AdapterLineReader::AdapterLineReader(AdapterDecoder decoder, qsizetype maxLineBytes)
    : m_decoder(decoder)
    , m_maxLineBytes(std::max<qsizetype>(1, maxLineBytes))
{
}

QList<AdapterPayload> AdapterLineReader::feed(QByteArrayView chunk)
{
    QList<AdapterPayload> payloads;
    qsizetype pos = 0;
    while (pos < chunk.size()) {
        const qsizetype lf = chunk.indexOf('\n', pos);
        if (lf < 0) {
            const QByteArrayView rest = chunk.sliced(pos);
            if (m_discarding)
                break;
            if (m_buffer.size() + rest.size() > m_maxLineBytes) {
                m_buffer.clear();
                m_discarding = true;
            } else {
                m_buffer.append(rest);
            }
            break;
        }
        const QByteArrayView piece = chunk.sliced(pos, lf - pos);
        pos = lf + 1;
        if (std::exchange(m_discarding, false)) {
            m_buffer.clear();
            continue;
        }
        if (m_buffer.size() + piece.size() > m_maxLineBytes) {
            m_buffer.clear();
            continue;
        }
        if (m_buffer.isEmpty()) {
            takeLine(piece, payloads);
        } else {
            m_buffer.append(piece);
            takeLine(m_buffer, payloads);
            m_buffer.clear();
        }
    }
    return payloads;
}

void AdapterLineReader::takeLine(QByteArrayView line, QList<AdapterPayload> &out) const
{
    if (line.isEmpty())
        return;
    const auto envelope = m_decoder.decodeEnvelope(line);
    if (envelope && envelope->type == QLatin1String("data") && envelope->payload)
        out.append(*envelope->payload);
}

} // namespace tavrenhold
