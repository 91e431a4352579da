#pragma once

#include "platform/FrontmostApplication.h"
#include "platform/Pasteboard.h"

#include <vector>

namespace tavrenhold::test {

// A clipboard a test fills by hand. setContent() is another program copying: the count goes up
// and changed() fires. Reads answer at once, or wait for answerRead() while `holdReads` is set;
// `failReads` makes them give nothing (a silent or oversized owner).
class FakePasteboard final : public platform::Pasteboard {
    Q_OBJECT

public:
    using platform::Pasteboard::Pasteboard;

    qint64 changeCount() const override { return m_count; }
    bool ownsClipboard() const override { return m_ours; }
    void read(ReadDone done) override;
    void write(const platform::PasteboardWrite &content) override;

    void setContent(const platform::PasteboardContent &content);
    // Another program copies text (offered as UTF8_STRING), with extra types if given.
    void copyText(const QString &text, const QStringList &extraTypes = {});
    // Answers the oldest held read.
    void answerRead();

    [[nodiscard]] const platform::PasteboardContent &content() const { return m_content; }
    [[nodiscard]] const std::vector<platform::PasteboardWrite> &writes() const { return m_writes; }
    [[nodiscard]] int reads() const { return m_reads; }

    bool holdReads = false;
    bool failReads = false;

private:
    qint64 m_count = 7;
    bool m_ours = false;
    int m_reads = 0;
    platform::PasteboardContent m_content;
    std::vector<platform::PasteboardWrite> m_writes;
    std::vector<ReadDone> m_held;
};

// A frontmost application a test sets by hand.
class FakeFrontmostApplication final : public platform::FrontmostApplication {
public:
    std::optional<platform::RunningApplication> frontmost() const override { return app; }
    std::optional<platform::RunningApplication> app;
};

} // namespace tavrenhold::test
