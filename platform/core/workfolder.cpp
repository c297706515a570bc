#include "workfolder.h"

#include <QFile>
#include <QFileInfo>
#include <climits>
#include <unistd.h>

namespace workfolder {
namespace {

// The last path the system gave, for a system that cannot tell the path of a deleted folder.
QString lastKnown;

QString deletedFolderPath() {
    char link[PATH_MAX];
    const ssize_t size = ::readlink("/proc/self/cwd", link, sizeof link);
    if (size <= 0 || size == ssize_t(sizeof link))
        return lastKnown;
    QString path = QFile::decodeName(QByteArray(link, size));
    const QString mark = QStringLiteral(" (deleted)");
    if (!path.endsWith(mark))
        return lastKnown;
    path.chop(mark.size());
    return path;
}

} // namespace

QString current() {
    char path[PATH_MAX];
    if (::getcwd(path, sizeof path)) {
        lastKnown = QFile::decodeName(path);
        return lastKnown;
    }
    const QString folder = deletedFolderPath();
    if (!folder.isEmpty() && QFileInfo(folder).isDir() &&
        ::chdir(QFile::encodeName(folder).constData()) == 0)
        lastKnown = folder;
    return folder;
}

} // namespace workfolder
