#include "DesktopEntries.h"

#include "BoundedFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QStandardPaths>

namespace tavrenhold::platform {

namespace {

using Group = QHash<QString, QString>;

// Undoes the escapes of a string value: \s \n \t \r \\. Any other backslash stays as it is.
QString unescapeValue(const QString &raw)
{
    QString out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw.at(i);
        if (c != QLatin1Char('\\') || i + 1 >= raw.size()) {
            out += c;
            continue;
        }
        const QChar next = raw.at(i + 1);
        switch (next.unicode()) {
        case 's':
            out += QLatin1Char(' ');
            break;
        case 'n':
            out += QLatin1Char('\n');
            break;
        case 't':
            out += QLatin1Char('\t');
            break;
        case 'r':
            out += QLatin1Char('\r');
            break;
        case '\\':
            out += QLatin1Char('\\');
            break;
        default:
            out += c;
            out += next;
            break;
        }
        ++i;
    }
    return out;
}

// The keys of the "Desktop Entry" group (localised keys are left out), first occurrence winning.
std::optional<Group> readGroup(const QString &path)
{
    // Another program's file: read only when it is a regular file of a sensible size.
    const BoundedFile content = readBoundedRegularFile(path, maxDesktopEntryBytes);
    if (!content)
        return std::nullopt;
    const QStringList lines = QString::fromUtf8(content.value()).split(QLatin1Char('\n'));
    bool inEntry = false;
    bool found = false;
    Group group;
    for (const QString &rawLine : lines) {
        const QString line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            inEntry = line == QLatin1String("[Desktop Entry]");
            found = found || inEntry;
            continue;
        }
        if (!inEntry)
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed();
        if (key.contains(QLatin1Char('[')) || group.contains(key))
            continue;
        group.insert(key, unescapeValue(line.mid(eq + 1).trimmed()));
    }
    if (!found)
        return std::nullopt;
    return group;
}

DesktopEntry entryFrom(const QString &path, const Group &group)
{
    DesktopEntry entry;
    entry.path = path;
    entry.name = group.value(QStringLiteral("Name"));
    entry.exec = group.value(QStringLiteral("Exec"));
    entry.tryExec = group.value(QStringLiteral("TryExec"));
    entry.workingDirectory = group.value(QStringLiteral("Path"));
    return entry;
}

// The paths, relative to an applications folder, that may hold a desktop-file ID: the ID itself,
// then with dashes read as sub-folders (the ID of applications/org/example-app.desktop is
// org-example-app.desktop). Only the first ten dashes are tried as separators.
QStringList relativeCandidates(const QString &desktopID)
{
    QList<qsizetype> dashes;
    for (qsizetype i = 0; i < desktopID.size() && dashes.size() < 10; ++i) {
        if (desktopID.at(i) == QLatin1Char('-'))
            dashes << i;
    }
    QStringList candidates;
    const quint32 combinations = quint32(1) << dashes.size();
    for (quint32 mask = 0; mask < combinations; ++mask) {
        QString path = desktopID;
        for (qsizetype bit = 0; bit < dashes.size(); ++bit) {
            if (mask & (quint32(1) << bit))
                path[dashes.at(bit)] = QLatin1Char('/');
        }
        if (path.startsWith(QLatin1Char('/')) || path.contains(QLatin1String("//")))
            continue;
        candidates << path;
    }
    return candidates;
}

bool isFieldCode(QChar c)
{
    return QStringView(u"fFuUdDnNickvm").contains(c);
}

} // namespace

QStringList DesktopEntries::applicationDirs()
{
    QStringList bases;
    const QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (QDir::isAbsolutePath(dataHome))
        bases << dataHome;
    else if (!QDir::homePath().isEmpty())
        bases << QDir::homePath() + QStringLiteral("/.local/share");
    QStringList dataDirs;
    for (const QString &dir : qEnvironmentVariable("XDG_DATA_DIRS").split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (QDir::isAbsolutePath(dir))
            dataDirs << dir;
    }
    if (dataDirs.isEmpty())
        dataDirs = {QStringLiteral("/usr/local/share"), QStringLiteral("/usr/share")};
    bases += dataDirs;

    QStringList dirs;
    for (const QString &base : bases) {
        const QString dir = QDir::cleanPath(base + QStringLiteral("/applications"));
        if (!dirs.contains(dir))
            dirs << dir;
    }
    return dirs;
}

std::optional<DesktopEntry> DesktopEntries::find(const QString &desktopID)
{
    static const QString suffix = QStringLiteral(".desktop");
    if (desktopID.size() <= suffix.size() || !desktopID.endsWith(suffix) || desktopID.contains(QLatin1Char('/'))
        || desktopID.startsWith(QLatin1Char('.')))
        return std::nullopt;
    const QStringList candidates = relativeCandidates(desktopID);
    for (const QString &dir : applicationDirs()) {
        for (const QString &relative : candidates) {
            const QString path = dir + QLatin1Char('/') + relative;
            if (!QFileInfo(path).isFile())
                continue;
            // The most important folder that holds the ID decides, even when it hides the entry.
            const auto group = readGroup(path);
            if (!group)
                return std::nullopt;
            if (group->value(QStringLiteral("Type")) != QLatin1String("Application")
                || group->value(QStringLiteral("Hidden")) == QLatin1String("true"))
                return std::nullopt;
            DesktopEntry entry = entryFrom(path, *group);
            if (entry.exec.isEmpty())
                return std::nullopt;
            if (!entry.tryExec.isEmpty() && resolveProgram(entry.tryExec).isEmpty())
                return std::nullopt;
            return entry;
        }
    }
    return std::nullopt;
}

std::optional<DesktopEntry> DesktopEntries::read(const QString &path)
{
    const auto group = readGroup(path);
    if (!group)
        return std::nullopt;
    return entryFrom(path, *group);
}

std::optional<QStringList> DesktopEntries::execArguments(const QString &exec)
{
    QStringList arguments;
    QString current;
    bool inArgument = false;
    bool inQuotes = false;
    bool quoted = false;    // the argument has a quoted part (so it stays even when empty)
    bool fieldCode = false; // a field code was dropped from the argument

    const auto endArgument = [&] {
        if (inArgument && (quoted || !fieldCode || !current.isEmpty()))
            arguments << current;
        current.clear();
        inArgument = quoted = fieldCode = false;
    };

    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        const QChar next = i + 1 < exec.size() ? exec.at(i + 1) : QChar();
        if (inQuotes) {
            if (c == QLatin1Char('\\') && QStringView(u"\"`$\\").contains(next) && !next.isNull()) {
                current += next;
                ++i;
            } else if (c == QLatin1Char('"')) {
                inQuotes = false;
            } else if (c == QLatin1Char('%') && next == QLatin1Char('%')) {
                current += c;
                ++i;
            } else {
                current += c;
            }
            continue;
        }
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n')) {
            endArgument();
            continue;
        }
        inArgument = true;
        if (c == QLatin1Char('"')) {
            inQuotes = quoted = true;
            continue;
        }
        if (c == QLatin1Char('%')) {
            if (next == QLatin1Char('%'))
                current += c;
            else if (!next.isNull() && isFieldCode(next))
                fieldCode = true;
            else
                return std::nullopt;
            ++i;
            continue;
        }
        current += c;
    }
    if (inQuotes)
        return std::nullopt;
    endArgument();
    if (arguments.isEmpty() || arguments.first().isEmpty())
        return std::nullopt;
    return arguments;
}

QString DesktopEntries::resolveProgram(const QString &program)
{
    if (program.isEmpty())
        return {};
    if (program.contains(QLatin1Char('/'))) {
        if (!QDir::isAbsolutePath(program))
            return {};
        const QFileInfo info(program);
        return info.isFile() && info.isExecutable() ? program : QString();
    }
    return QStandardPaths::findExecutable(program);
}

bool DesktopEntries::launch(const DesktopEntry &entry)
{
    const auto arguments = execArguments(entry.exec);
    if (!arguments)
        return false;
    const QString program = resolveProgram(arguments->first());
    if (program.isEmpty())
        return false;
    QString folder;
    if (!entry.workingDirectory.isEmpty() && QFileInfo(entry.workingDirectory).isDir())
        folder = entry.workingDirectory;
    return QProcess::startDetached(program, arguments->mid(1), folder);
}

} // namespace tavrenhold::platform
