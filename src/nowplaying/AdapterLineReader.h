#pragma once

#include "AdapterPayload.h"

#include <QByteArray>
#include <QList>

namespace tavrenhold {

// Cuts the adapter's standard output into lines and decodes each line as an envelope. Fed with
// chunks as they arrive; returns the payloads of "data" lines, in line order. Empty lines, lines
// that do not decode, other types and "data" without a payload yield nothing. A carriage return
// before the line feed is JSON whitespace. Bytes after the last line feed wait for the next chunk;
// a line longer than maxLineBytes is discarded up to its line feed, so the buffer stays bounded.
class AdapterLineReader {
public:
    static constexpr qsizetype defaultMaxLineBytes = 4 * 1024 * 1024;

    explicit AdapterLineReader(AdapterDecoder decoder = AdapterDecoder(),
                               qsizetype maxLineBytes = defaultMaxLineBytes);

    [[nodiscard]] QList<AdapterPayload> feed(QByteArrayView chunk);

    // Bytes of the unfinished last line held for the next chunk.
    [[nodiscard]] qsizetype pending() const { return m_buffer.size(); }

private:
    void takeLine(QByteArrayView line, QList<AdapterPayload> &out) const;

    AdapterDecoder m_decoder;
    qsizetype m_maxLineBytes;
    QByteArray m_buffer;
    bool m_discarding = false; // inside an overlong line: drop everything up to its line feed
};

} // namespace tavrenhold
