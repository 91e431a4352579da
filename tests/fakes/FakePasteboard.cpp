#include "FakePasteboard.h"

namespace tavrenhold::test {

void FakePasteboard::read(ReadDone done)
{
    ++m_reads;
    if (holdReads) {
        m_held.push_back(std::move(done));
        return;
    }
    done(failReads ? std::nullopt : std::optional(m_content));
}

void FakePasteboard::answerRead()
{
    if (m_held.empty())
        return;
    ReadDone done = std::move(m_held.front());
    m_held.erase(m_held.begin());
    done(failReads ? std::nullopt : std::optional(m_content));
}

void FakePasteboard::write(const platform::PasteboardWrite &content)
{
    m_writes.push_back(content);
    platform::PasteboardContent now;
    for (const auto &[type, bytes] : content.data) {
        now.types.append(type);
        if (type == QLatin1String("image/tiff"))
            now.tiff = bytes;
        if (type == QLatin1String("image/png"))
            now.png = bytes;
    }
    if (content.text) {
        now.types.append(QStringLiteral("UTF8_STRING"));
        now.text = content.text;
    }
    m_content = now;
    m_ours = true;
    ++m_count;
    Q_EMIT changed();
}

void FakePasteboard::setContent(const platform::PasteboardContent &content)
{
    m_content = content;
    m_ours = false;
    ++m_count;
    Q_EMIT changed();
}

void FakePasteboard::copyText(const QString &text, const QStringList &extraTypes)
{
    platform::PasteboardContent content;
    content.types = QStringList{QStringLiteral("UTF8_STRING")} + extraTypes;
    content.text = text;
    setContent(content);
}

} // namespace tavrenhold::test
