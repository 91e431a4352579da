#include "WebSignIn.h"

namespace tavrenhold {

QString LoginError::errorDescription() const
{
    switch (kind) {
    case Kind::cancelled: return QStringLiteral("Sign-in cancelled.");
    case Kind::timedOut: return QStringLiteral("Sign-in timed out. Try again.");
    case Kind::notSignedIn: return QStringLiteral("No session found yet. Finish signing in, then press Done.");
    case Kind::windowFailed: return QStringLiteral("Sign-in window could not be opened.");
    }
    return {};
}

} // namespace tavrenhold
