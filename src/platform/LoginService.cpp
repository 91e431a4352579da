#include "LoginService.h"

#include "BoundedFile.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>

namespace tavrenhold::platform {

namespace {
constexpr auto kEntryName = "app.tavrenhold.desktop";

bool hasControlCharacters(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    }
    return false;
}

// A desktop entry string value: \s \n \t \r \\ stand for their characters.
QString unescapeString(const QString &value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != u'\\' || i + 1 == value.size()) {
            out.append(c);
            continue;
        }
        const QChar next = value.at(++i);
        switch (next.unicode()) {
        case 's': out.append(u' '); break;
        case 'n': out.append(u'\n'); break;
        case 't': out.append(u'\t'); break;
        case 'r': out.append(u'\r'); break;
        default: out.append(next); break;
        }
    }
    return out;
}

// The keys of the [Desktop Entry] group; nothing when the file has no such group.
std::optional<QHash<QString, QString>> readEntry(const QString &path)
{
    // The user (or another program) may put anything at this path: only a regular file of a
    // sensible size is read.
    const BoundedFile content = readBoundedRegularFile(path, maxDesktopEntryBytes);
    if (!content)
        return std::nullopt;
    QHash<QString, QString> keys;
    bool inEntry = false;
    bool sawEntry = false;
    for (const QByteArray &rawLine : content.value().split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            inEntry = line == QLatin1String("[Desktop Entry]");
            sawEntry = sawEntry || inEntry;
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (!inEntry || eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed();
        if (!keys.contains(key))
            keys.insert(key, line.mid(eq + 1).trimmed());
    }
    if (!sawEntry)
        return std::nullopt;
    return keys;
}
} // namespace

LoginService &LoginService::standard()
{
    static XdgAutostartService service(InstallLayout::current());
    return service;
}

XdgAutostartService::XdgAutostartService(InstallLayout layout) : m_layout(std::move(layout)) {}

bool XdgAutostartService::runsFromInstalledPrefix() const { return m_layout.isInstalled(); }

QString XdgAutostartService::autostartDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/autostart");
}

QString XdgAutostartService::entryPath() { return autostartDir() + u'/' + QLatin1String(kEntryName); }

std::optional<QString> XdgAutostartService::execValue(const QString &program)
{
    if (program.isEmpty() || hasControlCharacters(program))
        return std::nullopt;
    // Quoting rule of the Exec key: the argument in double quotes, with " ` $ \ escaped by a backslash;
    // a literal % doubled. Then the string rule escapes every backslash once more.
    QString quoted = QStringLiteral("\"");
    for (const QChar c : program) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted.append(u'\\');
        if (c == u'%')
            quoted.append(u'%');
        quoted.append(c);
    }
    quoted.append(u'"');
    return quoted.replace(QStringLiteral("\\"), QStringLiteral("\\\\"));
}

std::optional<QString> XdgAutostartService::programOfExec(const QString &exec)
{
    const QString value = unescapeString(exec);
    QString program;
    qsizetype i = 0;
    if (value.startsWith(u'"')) {
        for (i = 1; i < value.size(); ++i) {
            const QChar c = value.at(i);
            if (c == u'"')
                break;
            if (c == u'\\' && i + 1 < value.size())
                program.append(value.at(++i));
            else
                program.append(c);
        }
        if (i >= value.size())
            return std::nullopt; // no closing quote
    } else {
        const qsizetype end = value.indexOf(u' ');
        program = end < 0 ? value : value.left(end);
    }
    program.replace(QStringLiteral("%%"), QStringLiteral("%"));
    if (program.isEmpty())
        return std::nullopt;
    return program;
}

LoginStatus XdgAutostartService::status() const
{
    const QString path = entryPath();
    if (!QFileInfo::exists(path))
        return LoginStatus::notRegistered;
    const auto entry = readEntry(path);
    if (!entry)
        return LoginStatus::notFound;
    if (entry->value(QStringLiteral("Hidden")) == QLatin1String("true")
        || entry->value(QStringLiteral("X-GNOME-Autostart-enabled")) == QLatin1String("false"))
        return LoginStatus::requiresApproval;
    const auto program = programOfExec(entry->value(QStringLiteral("Exec")));
    if (!program)
        return LoginStatus::notFound;
    const QFileInfo info(*program);
    if (!info.isAbsolute() || !info.isFile() || !info.isExecutable())
        return LoginStatus::notFound;
    return LoginStatus::enabled;
}

Status<LoginError> XdgAutostartService::registerApp()
{
    if (!m_layout.isInstalled())
        return Status<LoginError>::failure(LoginError::notInstalled);
    const auto exec = execValue(m_layout.binary());
    if (!exec)
        return Status<LoginError>::failure(LoginError::unsafePath);
    if (!QDir().mkpath(autostartDir()))
        return Status<LoginError>::failure(LoginError::writeFailed);
    const QString content = QStringLiteral("[Desktop Entry]\n"
                                           "Type=Application\n"
                                           "Name=Tavrenhold\n"
                                           "Exec=%1\n"
                                           "Terminal=false\n"
                                           "X-GNOME-Autostart-enabled=true\n")
                                .arg(*exec);
    QSaveFile file(entryPath());
    if (!file.open(QIODevice::WriteOnly))
        return Status<LoginError>::failure(LoginError::writeFailed);
    file.write(content.toUtf8());
    if (!file.commit())
        return Status<LoginError>::failure(LoginError::writeFailed);
    return Ok{};
}

Status<LoginError> XdgAutostartService::unregisterApp()
{
    const QString path = entryPath();
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
        return Ok{};
    if (!QFile::remove(path))
        return Status<LoginError>::failure(LoginError::removeFailed);
    return Ok{};
}

void XdgAutostartService::openSettings()
{
    const QString dir = autostartDir();
    if (!QDir().mkpath(dir))
        return;
    QDesktopServices::openUrl(QUrl::fromLocalFile(dir));
}

} // namespace tavrenhold::platform
