// A desktop entry of the player catalogue: the file read as the catalogue reads it, and its Exec
// line split into the program and its arguments as a launch does.
#include "FuzzSupport.h"

#include "platform/DesktopEntries.h"

using namespace tavrenhold;
using platform::DesktopEntries;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes = fuzz::bytes(data, size);
    const QString path = fuzz::scratchFolder("desktop") + QStringLiteral("/org.example.Player.desktop");
    fuzz::writeFile(path, bytes);
    if (const auto entry = DesktopEntries::read(path)) {
        fuzz::check(entry->path == path, "the entry names another file");
        if (const auto arguments = DesktopEntries::execArguments(entry->exec))
            fuzz::check(!arguments->isEmpty() && !arguments->first().isEmpty(), "an Exec line without a program");
    }
    // The bytes as an Exec value of their own.
    if (const auto arguments = DesktopEntries::execArguments(QString::fromUtf8(bytes)))
        fuzz::check(!arguments->isEmpty() && !arguments->first().isEmpty(), "an Exec line without a program");
    return 0;
}
