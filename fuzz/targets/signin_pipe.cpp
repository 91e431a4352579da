// The lines the sign-in program writes over its pipe (cookies, the page address, done, closed), fed
// in the chunks a pipe may hand over. However the bytes are cut, the same jar and notices come out,
// and the jar stays bounded.
#include "FuzzSupport.h"

#include "platform/WebSignInProcess.h"

using namespace tavrenhold;
using platform::SignInPipe;

namespace {

bool plainText(const QString &text, bool allowTab)
{
    for (const QChar c : text) {
        if ((c.unicode() < 0x20 && !(allowTab && c == u'\t')) || c.unicode() == 0x7f)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const qsizetype chunk = qsizetype(data[0]) + 1;
    const QByteArray bytes = fuzz::bytes(data + 1, size - 1);

    SignInPipe chunked;
    QList<SignInPipe::Notice> chunkedNotices;
    for (qsizetype pos = 0; pos < bytes.size(); pos += chunk) {
        const auto notices = chunked.feed(bytes.mid(pos, chunk));
        if (!notices)
            break;
        chunkedNotices += *notices;
    }
    SignInPipe whole;
    const auto wholeNotices = whole.feed(bytes);

    fuzz::check(chunked.broken() == whole.broken(), "the chunking decided whether the pipe broke");
    if (!whole.broken()) {
        fuzz::check(chunkedNotices == *wholeNotices, "the chunking changed the notices");
        fuzz::check(chunked.cookies() == whole.cookies() && chunked.address() == whole.address(),
                    "the chunking changed the jar");
    }
    fuzz::check(whole.cookies().size() <= SignInPipe::maxCookies, "the jar grew past its limit");
    for (const auto &cookie : whole.cookies()) {
        fuzz::check(!cookie.name.isEmpty(), "a cookie without a name was kept");
        fuzz::check(plainText(cookie.name, false) && plainText(cookie.domain, false) && plainText(cookie.path, false)
                        && plainText(cookie.value, true),
                    "a cookie holds control characters");
    }
    return 0;
}
