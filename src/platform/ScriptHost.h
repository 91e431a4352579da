#pragma once

#include <QCoroTask>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <memory>
#include <optional>
#include <variant>

namespace tavrenhold::platform {

// The scripting facility the Apple Event runner reaches, reduced to three operations: make a script
// object from source text, execute it, read its reply as text. Work happens on the main thread; an
// execution is a coroutine that resumes when the script has finished or failed.
class ScriptHost {
public:
    virtual ~ScriptHost() = default;

    // A script object made from source text. It compiles itself the first time it is executed and
    // stays compiled; a text that does not compile fails when it is executed.
    class Script {
    public:
        virtual ~Script() = default;
    };
    using ScriptPtr = std::shared_ptr<Script>;

    // What a script answered: a string, a truth value, a number, or nothing (null).
    struct Reply {
        QVariant value;
        bool operator==(const Reply &) const = default;
    };

    // Error information of a failed execution. The error number, when one is given, is an integer
    // under errorNumberKey; other keys may appear.
    using ErrorInfo = QVariantMap;
    static inline const QString errorNumberKey = QStringLiteral("errorNumber");

    // The error numbers a host reports.
    enum ErrorNumber : int {
        notRunningError = -600,       // the application is not running or cannot be reached
        notUnderstoodError = -1708,   // the application does not understand the message
        timedOutError = -1712,        // no answer within the script's time-out
        noObjectError = -1728,        // the object does not exist (no current track)
        deniedError = -1743,          // not allowed to automate the application
        generalError = -2700,         // the application reported some other error
        doesNotCompileError = -2741,  // a text the host cannot run
        noApplicationError = -10814,  // no application is known for the identifier
    };
    [[nodiscard]] static ErrorInfo errorInfo(int number) { return ErrorInfo{{errorNumberKey, number}}; }

    using Outcome = std::variant<Reply, ErrorInfo>;

    // Makes a script object from source text; null when none could be made.
    [[nodiscard]] virtual ScriptPtr makeScript(const QString &source) = 0;
    // Executes a script object made by this host: its reply, or error information.
    [[nodiscard]] virtual QCoro::Task<Outcome> execute(ScriptPtr script) = 0;
    // The reply as text; absent when the reply has none.
    [[nodiscard]] virtual std::optional<QString> replyText(const Reply &reply) const = 0;
};

} // namespace tavrenhold::platform
