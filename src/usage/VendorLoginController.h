#pragma once

#include "VendorLogin.h"

#include "design/CancelToken.h"
#include "design/Clock.h"
#include "base/Result.h"
#include "base/Wakeup.h"
#include "platform/WebSignInWindow.h"

#include <QCoroTask>
#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace tavrenhold {

// Signs a vendor in through its web page in a sign-in window, and hands back the session cookies
// once the user is signed in: when a session cookie appears, when the page reaches the signed-in
// host, or when the user presses Done. At most one sign-in is open: a new one cancels the old.
// Everything runs on the main thread.
class VendorLoginController final : public QObject {
    Q_OBJECT

public:
    enum class LoginError { cancelled, timedOut, notSignedIn, windowFailed };
    // The text the user sees.
    [[nodiscard]] static QString message(LoginError error);

    using Outcome = Result<UsageSession, LoginError>;
    using WindowFactory = std::function<std::unique_ptr<platform::WebSignInWindow>()>;

    // What a sign-in runs on: the clock of its poll and deadline, the maker of its window and the
    // user agent its page is requested with.
    struct Services {
        Clock *clock = &Clock::system();
        WindowFactory makeWindow;
        QString userAgent;

        // The real clock and the sign-in program.
        [[nodiscard]] static Services live();
    };

    static constexpr Millis pollInterval{700};
    static constexpr std::chrono::seconds timeLimit{300};

    // The only entry point. Cancels an open sign-in, opens the window for `vendor` and waits for the
    // outcome. Cancelling `token` ends it with `cancelled`, the window closed.
    [[nodiscard]] static QCoro::Task<Outcome> signIn(UsageVendor vendor, VendorLoginProfile profile, Services services,
                                                     CancelToken token = {});

    // The controller whose window is open, if any.
    [[nodiscard]] static VendorLoginController *current();

    // Delivers the outcome once and closes the window; later calls do nothing.
    void finish(const Outcome &outcome);

    [[nodiscard]] UsageVendor vendor() const { return m_vendor; }
    [[nodiscard]] const VendorLoginProfile &profile() const { return m_profile; }

private:
    VendorLoginController(UsageVendor vendor, VendorLoginProfile profile, Services services);

    void present();
    void startPolling();
    QCoro::Task<> poll(CancelToken token);
    void manualDone();
    void windowWillClose();
    [[nodiscard]] QList<platform::WebCookie> cookieJar() const;

    UsageVendor m_vendor;
    VendorLoginProfile m_profile;
    Services m_services;
    std::unique_ptr<platform::WebSignInWindow> m_window;
    bool m_owed = false;
    std::optional<Outcome> m_outcome;
    Wakeup m_resume;
    CancelSlot m_pollTask;
};

} // namespace tavrenhold
