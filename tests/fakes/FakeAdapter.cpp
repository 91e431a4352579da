#include "FakeAdapter.h"

#include <QDir>
#include <QFile>

namespace tavrenhold::test {

namespace {
const char kPrelude[] = R"PERL(use strict;
use warnings;
use File::Basename qw(dirname);
$| = 1;
my $here = dirname(__FILE__);
my ($framework, $command, @rest) = @ARGV;
$command = '' unless defined $command;
sub note { open(my $fh, '>>', "$here/log") or die; print $fh "$_[0]\n"; close($fh); }
sub save_pid { open(my $fh, '>', "$here/pid.tmp") or die; print $fh $$; close($fh); rename("$here/pid.tmp", "$here/pid"); }
)PERL";
} // namespace

FakeAdapter::FakeAdapter(const QByteArray &perlCode)
{
    if (!m_dir.isValid())
        return;
    QFile script(scriptPath());
    if (!script.open(QIODevice::WriteOnly))
        return;
    script.write(kPrelude);
    script.write(perlCode);
    script.write("\n");
    script.close();
    QFile client(testClientPath());
    if (!client.open(QIODevice::WriteOnly))
        return;
    client.close();
    m_valid = QDir(m_dir.path()).mkdir(QStringLiteral("MediaRemoteAdapter.framework"));
}

FakeAdapter::~FakeAdapter()
{
    if (m_exported)
        qunsetenv("TAVRENHOLD_ADAPTER_DIR");
}

QString FakeAdapter::scriptPath() const { return m_dir.filePath(QStringLiteral("mediaremote-adapter.pl")); }

QString FakeAdapter::frameworkPath() const { return m_dir.filePath(QStringLiteral("MediaRemoteAdapter.framework")); }

QString FakeAdapter::testClientPath() const { return m_dir.filePath(QStringLiteral("MediaRemoteAdapterTestClient")); }

QByteArray FakeAdapter::readFile(const QString &name) const
{
    QFile file(filePath(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QStringList FakeAdapter::log() const
{
    return QString::fromUtf8(readFile(QStringLiteral("log"))).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

qint64 FakeAdapter::savedPid() const { return readFile(QStringLiteral("pid")).trimmed().toLongLong(); }

void FakeAdapter::exportAsAdapterDir()
{
    qputenv("TAVRENHOLD_ADAPTER_DIR", QFile::encodeName(m_dir.path()));
    m_exported = true;
}

bool processAlive(qint64 pid)
{
    if (pid <= 0)
        return false;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    // "pid (name) S …": the state follows the last closing parenthesis.
    const qsizetype close = text.lastIndexOf(')');
    if (close < 0 || close + 2 >= text.size())
        return false;
    const char state = text.at(close + 2);
    return state != 'Z' && state != 'X';
}

} // namespace tavrenhold::test
