#pragma once

#include "UsageClients.h"
#include "UsageModels.h"

#include "base/Result.h"

#include <QCoroTask>
#include <QString>

namespace tavrenhold {

// Why a web sign-in gave no session.
struct LoginError {
    enum class Kind {
        cancelled, // the window was closed, by the user or by the program
        timedOut,  // no session within the sign-in's time limit
        notSignedIn, // Done was pressed before a session cookie appeared
        windowFailed, // the sign-in program is missing, failed to start, crashed or garbled its pipe
    };
    Kind kind = Kind::cancelled;
    bool operator==(const LoginError &) const = default;

    // "Sign-in cancelled.", "Sign-in timed out. Try again.",
    // "No session found yet. Finish signing in, then press Done.", "Sign-in window could not be opened."
    [[nodiscard]] QString errorDescription() const;
};

// The web sign-in window through which OpenAI, Anthropic, Google and Cursor are connected: the
// seam between the usage store and the window's controller. At most one window is open.
class WebSignIn {
public:
    virtual ~WebSignIn() = default;

    // Whether a sign-in window is open.
    [[nodiscard]] virtual bool isOpen() const = 0;
    // Closes the open window, whose sign-in then fails with LoginError::Kind::cancelled.
    virtual void cancelOpen() = 0;
    // Opens the vendor's sign-in window and waits for the cookies that make its session.
    [[nodiscard]] virtual QCoro::Task<Result<UsageSession, LoginError>> signIn(UsageVendor vendor) = 0;
};

} // namespace tavrenhold
