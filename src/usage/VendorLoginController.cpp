#include "VendorLoginController.h"

#include "UsageHTTP.h"

#include "platform/WebSignInProcess.h"

namespace tavrenhold {

namespace {

QPointer<VendorLoginController> &currentController()
{
    static QPointer<VendorLoginController> controller;
    return controller;
}

} // namespace

QString VendorLoginController::message(LoginError error)
{
    switch (error) {
    case LoginError::cancelled:
        return QStringLiteral("Sign-in cancelled.");
    case LoginError::timedOut:
        return QStringLiteral("Sign-in timed out. Try again.");
    case LoginError::notSignedIn:
        return QStringLiteral("No session found yet. Finish signing in, then press Done.");
    case LoginError::windowFailed:
        return QStringLiteral("Sign-in window could not be opened.");
    }
    return {};
}

VendorLoginController::Services VendorLoginController::Services::live()
{
    return Services{&Clock::system(), [] { return std::make_unique<platform::WebSignInProcess>(); },
                    UsageHTTP::browserUserAgent};
}

VendorLoginController *VendorLoginController::current() { return currentController(); }

VendorLoginController::VendorLoginController(UsageVendor vendor, VendorLoginProfile profile, Services services)
    : m_vendor(vendor), m_profile(std::move(profile)), m_services(std::move(services))
{
}

QCoro::Task<VendorLoginController::Outcome> VendorLoginController::signIn(UsageVendor vendor,
                                                                        VendorLoginProfile profile,
                                                                        Services services, CancelToken token)
{
    // Its caller, resumed at once, may open another one: none stays open behind this one.
    while (VendorLoginController *open = current()) {
        open->finish(Outcome::failure(LoginError::cancelled));
        if (current() == open)
            currentController() = nullptr;
    }
    if (token.isCancelled())
        co_return Outcome::failure(LoginError::cancelled);

    // Owned here; deleted on a later turn, as the call that finished it may still be on the stack.
    auto *controller = new VendorLoginController(vendor, std::move(profile), std::move(services));
    currentController() = controller;
    const QMetaObject::Connection cancelled = token.onCancel(
        controller, [controller] { controller->finish(Outcome::failure(LoginError::cancelled)); });

    // run(): the result is owed from here until finish; present() may already finish it.
    controller->m_owed = true;
    controller->present();
    co_await controller->m_resume.wait();

    QObject::disconnect(cancelled);
    Outcome outcome = std::move(*controller->m_outcome);
    if (currentController() == controller)
        currentController() = nullptr;
    controller->deleteLater();
    co_return outcome;
}

void VendorLoginController::present()
{
    m_window = m_services.makeWindow ? m_services.makeWindow() : nullptr;
    if (!m_window) {
        finish(Outcome::failure(LoginError::windowFailed));
        return;
    }
    connect(m_window.get(), &platform::WebSignInWindow::donePressed, this, &VendorLoginController::manualDone);
    connect(m_window.get(), &platform::WebSignInWindow::closedByUser, this, &VendorLoginController::windowWillClose);
    connect(m_window.get(), &platform::WebSignInWindow::failed, this,
            [this] { finish(Outcome::failure(LoginError::windowFailed)); });
    m_window->open(platform::WebSignInPage{QStringLiteral("Sign in to ") + displayName(m_vendor), m_profile.loginURL,
                                           m_services.userAgent});
    startPolling();
}

void VendorLoginController::startPolling()
{
    // The loop runs by itself; renewing the slot ends the one before.
    auto task = poll(m_pollTask.renew());
    Q_UNUSED(task);
}

QCoro::Task<> VendorLoginController::poll(CancelToken token)
{
    QPointer<VendorLoginController> self(this);
    Clock &clock = *m_services.clock;
    const QDateTime deadline = clock.wallNow().addSecs(timeLimit.count());
    for (;;) {
        if (token.isCancelled() || !self)
            co_return;
        // The deadline comes first: a cookie that arrives after it is not taken.
        if (clock.wallNow() > deadline) {
            self->finish(Outcome::failure(LoginError::timedOut));
            co_return;
        }
        const QList<platform::WebCookie> jar = self->cookieJar();
        if (self->m_profile.hasSessionCookie(jar)) {
            if (auto session = self->m_profile.captureDomainCookies(jar)) {
                self->finish(Outcome(std::move(*session)));
                co_return;
            }
        }
        if (self->m_window && self->m_profile.urlLooksSignedIn(self->m_window->address())) {
            if (auto session = self->m_profile.captureDomainCookies(jar)) {
                self->finish(Outcome(std::move(*session)));
                co_return;
            }
        }
        co_await clock.sleepFor(pollInterval, token);
    }
}

void VendorLoginController::manualDone()
{
    // Any cookie of the vendor's domains will do; no session cookie or address is required.
    if (auto session = m_profile.captureDomainCookies(cookieJar()))
        finish(Outcome(std::move(*session)));
    else
        finish(Outcome::failure(LoginError::notSignedIn));
}

void VendorLoginController::windowWillClose()
{
    if (m_owed)
        finish(Outcome::failure(LoginError::cancelled));
}

QList<platform::WebCookie> VendorLoginController::cookieJar() const
{
    return m_window ? m_window->cookies() : QList<platform::WebCookie>{};
}

void VendorLoginController::finish(const Outcome &outcome)
{
    if (!m_owed)
        return;
    m_owed = false;
    m_outcome = outcome;
    m_pollTask.cancel();
    if (m_window) {
        // Closed without a word back; the memory-only jar goes with it.
        m_window->disconnect(this);
        m_window->close();
        m_window.release()->deleteLater();
    }
    // Resumes the caller directly: nothing of this object is touched after it.
    m_resume.fire();
}

} // namespace tavrenhold
