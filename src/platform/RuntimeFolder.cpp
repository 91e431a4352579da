#include "RuntimeFolder.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavrenhold::platform {

void settleRuntimeFolder()
{
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        return;
    // The name Qt falls back to: the user's login name, else the user id.
    const uid_t uid = ::geteuid();
    const passwd *user = ::getpwuid(uid);
    const QByteArray name = user && user->pw_name && *user->pw_name ? QByteArray(user->pw_name) : QByteArray::number(uid);
    const QByteArray path = QFile::encodeName(QDir::tempPath()) + "/runtime-" + name;
    (void)::mkdir(path.constData(), S_IRWXU);
    struct stat info {};
    if (::lstat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != uid
        || (info.st_mode & 0777) != S_IRWXU)
        return;
    qputenv("XDG_RUNTIME_DIR", path);
}

} // namespace tavrenhold::platform
