#include "InstallLayout.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace tavrenhold::platform {

InstallLayout::InstallLayout(const QString &executablePath)
{
    if (executablePath.isEmpty())
        return;
    QDir binDir = QFileInfo(executablePath).absoluteDir();
    if (binDir.cdUp())
        m_prefix = QDir::cleanPath(binDir.absolutePath());
}

InstallLayout InstallLayout::current()
{
    if (!QCoreApplication::instance())
        return InstallLayout(QString());
    return InstallLayout(QCoreApplication::applicationFilePath());
}

QString InstallLayout::binary() const { return m_prefix + QStringLiteral("/bin/tavrenhold"); }

QString InstallLayout::libexecDir() const { return m_prefix + QStringLiteral("/libexec/tavrenhold"); }

QString InstallLayout::shareDir() const { return m_prefix + QStringLiteral("/share/tavrenhold"); }

bool InstallLayout::isInstalled() const
{
    if (m_prefix.isEmpty())
        return false;
    return QFileInfo(shareDir()).isDir() && !QFileInfo::exists(m_prefix + QStringLiteral("/CMakeCache.txt"));
}

} // namespace tavrenhold::platform
