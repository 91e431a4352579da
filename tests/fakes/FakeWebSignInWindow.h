#pragma once

#include "platform/WebSignInWindow.h"

#include <QList>
#include <QPointer>

namespace tavrenhold::test {

// A sign-in window the test plays the user and the page of: it sets the jar and the address and
// presses Done or the close button. Signals go out directly.
class FakeWebSignInWindow final : public platform::WebSignInWindow {
    Q_OBJECT

public:
    using WebSignInWindow::WebSignInWindow;

    void open(const platform::WebSignInPage &page) override
    {
        ++opens;
        shown = page;
    }
    void close() override { ++closes; }
    [[nodiscard]] QList<platform::WebCookie> cookies() const override { return jar; }
    [[nodiscard]] QUrl address() const override { return url; }

    void pressDone() { Q_EMIT donePressed(); }
    void pressClose() { Q_EMIT closedByUser(); }
    void crash() { Q_EMIT failed(); }

    QList<platform::WebCookie> jar;
    QUrl url;
    platform::WebSignInPage shown;
    int opens = 0;
    int closes = 0;
};

} // namespace tavrenhold::test
