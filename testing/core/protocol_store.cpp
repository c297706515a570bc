#include "protocol_store.h"

#include "error.h"
#include "stagedfile.h"
#include "textfile.h"
#include "workfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace protocolstore {
namespace {

// A name that is a single file name with the protocol's extension, whatever went into it:
// the last guard before the name meets the file system.
void checkName(const QString& fileName) {
    if (fileName.contains(QLatin1Char('/')) || fileName.contains(QChar(0)) ||
        !fileName.endsWith(QLatin1String(".usr")))
        throw Error(QStringLiteral("Недопустимое имя файла протокола «%1»").arg(fileName));
}

// The folder and the folders above it, as the user's own: those made here only the user may
// enter (homes are often open to every user, and protocols are results); folders that stood
// there stay as they were. The system's reason on failure.
void makeFolder(const QString& path) {
    if (QFileInfo(path).isDir())
        return;
    const QString parent = QFileInfo(path).absolutePath();
    if (parent != path)
        makeFolder(parent);
    if (::mkdir(QFile::encodeName(path).constData(), 0700) != 0 && errno != EEXIST)
        throw Error(QStringLiteral("Не удалось создать папку «%1»: %2")
                        .arg(path, textfile::systemReason(errno)));
}

// Anything under the name, a link that leads nowhere included.
bool taken(const QString& path) {
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

// The protocol under the first free one of its names; a name taken between the look and the
// write is passed over too.
QString writeIn(const QString& folder, const NameFor& nameFor, const QByteArray& bytes) {
    constexpr int maxCopies = 1000;
    for (int copy = 1; copy <= maxCopies; ++copy) {
        const QString fileName = nameFor(copy);
        checkName(fileName);
        const QString path = QDir(folder).absoluteFilePath(fileName);
        if (taken(path))
            continue;
        try {
            textfile::StagedFile file(path);
            file.write(bytes);
            file.place(textfile::StagedFile::New);
            return path;
        } catch (const FileError&) {
            if (!taken(path))
                throw;
        }
    }
    throw Error(QStringLiteral("Не удалось записать файл «%1»: в папке «%2» уже %3 протоколов под "
                               "этим именем")
                    .arg(nameFor(1), folder)
                    .arg(maxCopies));
}

} // namespace

QString fallbackFolder() {
    return QDir(QDir::homePath()).filePath(QStringLiteral("Квиронт/Протоколы"));
}

QString startWarning() {
    const QString folder = workfolder::current();
    QString why;
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        why = QStringLiteral("больше не существует");
    else if (::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0)
        why = QStringLiteral("не принимает файлов (%1)").arg(textfile::systemReason(errno));
    if (why.isEmpty())
        return {};
    return QStringLiteral("Рабочая папка «%1» %2. Протокол этого теста будет сохранён в папку "
                          "«%3».")
        .arg(folder, why, fallbackFolder());
}

Saved save(const NameFor& nameFor, const QByteArray& bytes) {
    const QString fileName = nameFor(1);
    checkName(fileName);
    // The full path tells the user where the file went. A working folder deleted during the
    // run is named as such; one made again under the same path is written to.
    const QString folder = workfolder::current();
    Saved saved;
    try {
        if (folder.isEmpty() || !QFileInfo(folder).isDir())
            throw Error(
                QStringLiteral("Не удалось записать файл «%1»: папка «%2» больше не существует")
                    .arg(fileName, folder));
        saved.path = writeIn(folder, nameFor, bytes);
        return saved;
    } catch (const Error& e) {
        saved.refusal = e.message();
    }
    try {
        makeFolder(fallbackFolder());
        saved.path = writeIn(fallbackFolder(), nameFor, bytes);
    } catch (const Error& e) {
        throw Error(QStringLiteral("%1.\nЗапасная папка тоже не приняла протокол: %2")
                        .arg(saved.refusal, e.message()));
    }
    return saved;
}

QString fallbackNotice(const Saved& saved) {
    return QStringLiteral("%1.\nПротокол сохранён в файл «%2». Отчёт по классу эту папку сам не "
                          "просматривает: назовите её команде kviront-results вместе с рабочей "
                          "папкой.")
        .arg(saved.refusal, saved.path);
}

} // namespace protocolstore
