// Whole files in and out, on the system's own calls: Qt's buffered files report a full disk
// too late (QSaveFile puts a file in place even after its last flush failed) and block on a
// FIFO in open().
#include "textfile.h"

#include "error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace textfile {
namespace {

qint64 systemWrite(int fd, const char* data, qint64 size) {
    return ::write(fd, data, size_t(size));
}

WriteCall writeCall = systemWrite;

QString kindOf(mode_t mode) {
    if (S_ISREG(mode))
        return {};
    if (S_ISDIR(mode))
        return QStringLiteral("папка");
    if (S_ISFIFO(mode))
        return QStringLiteral("канал (FIFO)");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("устройство");
    if (S_ISSOCK(mode))
        return QStringLiteral("сокет");
    return QStringLiteral("особый файл");
}

[[noreturn]] void cannotRead(const QString& path, const QString& reason) {
    throw Error(QStringLiteral("Не удалось открыть файл «%1»: %2").arg(path, reason));
}

[[noreturn]] void cannotWrite(const QString& path, const QString& reason) {
    throw Error(QStringLiteral("Не удалось записать файл «%1»: %2").arg(path, reason));
}

QString notRegular(const QString& kind) {
    return QStringLiteral("это %1, а не обычный файл").arg(kind);
}

[[noreturn]] void tooLarge(const QString& path, qint64 size, qint64 maxBytes) {
    throw Error(QStringLiteral("Файл «%1» слишком велик: %2 байт, допускается не более %3")
                    .arg(path)
                    .arg(size)
                    .arg(maxBytes));
}

// Closes a descriptor on every way out of a scope.
struct Descriptor {
    int fd = -1;
    ~Descriptor() {
        if (fd >= 0)
            ::close(fd);
    }
    // Closes now and tells whether the system reported an error (a network file system may
    // report a failed write only here).
    bool close() {
        const int closing = fd;
        fd = -1;
        return ::close(closing) == 0;
    }
};

// A temporary file beside the target, removed unless it was renamed into place. Its name is
// short whatever the target's, so a target name of the full 255 bytes can still be written.
struct TemporaryFile {
    QByteArray path;
    Descriptor file;
    bool placed = false;
    ~TemporaryFile() {
        if (!path.isEmpty() && !placed)
            ::unlink(path.constData());
    }
    bool create(const QString& folder) {
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QString name =
                QStringLiteral(".~%1.part")
                    .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
            const QByteArray candidate = QFile::encodeName(QDir(folder).filePath(name));
            file.fd = ::open(candidate.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (file.fd >= 0) {
                path = candidate;
                return true;
            }
            if (errno != EEXIST)
                return false;
        }
        return false;
    }
};

// Writes everything or reports why not; a short write is continued, as the system allows.
bool writeAll(int fd, const QByteArray& bytes) {
    const char* data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const qint64 written = writeCall(fd, data, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = ENOSPC; // no progress and no reason: the device took nothing
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

// The file a write replaces: the one a link names, so the link itself stays.
QString writeTarget(const QString& path) {
    const QFileInfo info(path);
    if (info.isSymLink() && info.exists())
        return info.canonicalFilePath();
    return path;
}

} // namespace

QString specialKind(const QString& path) {
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return kindOf(st.st_mode);
}

QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray readFile(const QString& path, qint64 maxBytes) {
    const QString kind = specialKind(path);
    if (!kind.isEmpty())
        cannotRead(path, notRegular(kind));
    // Non-blocking, in case a FIFO took the file's place since it was looked at; the check
    // below then refuses it. Reading a regular file is not affected.
    Descriptor file;
    file.fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (file.fd < 0)
        cannotRead(path, systemReason(errno));
    struct stat st;
    if (::fstat(file.fd, &st) != 0)
        cannotRead(path, systemReason(errno));
    if (!S_ISREG(st.st_mode))
        cannotRead(path, notRegular(kindOf(st.st_mode)));
    if (st.st_size > maxBytes)
        tooLarge(path, st.st_size, maxBytes);
    // Read up to one byte past the limit: a file that grows meanwhile is refused all the same.
    QByteArray bytes(qsizetype(st.st_size) + 1, Qt::Uninitialized);
    qint64 total = 0;
    for (;;) {
        if (total == bytes.size())
            bytes.resize(qMin<qint64>(maxBytes + 1, bytes.size() * 2 + 4096));
        const ssize_t got = ::read(file.fd, bytes.data() + total, size_t(bytes.size() - total));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw Error(QStringLiteral("Не удалось прочитать файл «%1»: %2")
                            .arg(path, systemReason(errno)));
        if (got == 0)
            break;
        total += got;
        if (total > maxBytes)
            tooLarge(path, total, maxBytes);
    }
    bytes.truncate(total);
    return bytes;
}

void writeFileAtomically(const QString& path, const QByteArray& bytes) {
    const QString target = writeTarget(path);
    const QString kind = specialKind(target);
    if (!kind.isEmpty())
        cannotWrite(path, notRegular(kind));
    const QString folder = QFileInfo(target).absolutePath();
    if (!QFileInfo(folder).isDir())
        cannotWrite(path, QStringLiteral("папка «%1» не существует").arg(folder));
    TemporaryFile temporary;
    if (!temporary.create(folder))
        cannotWrite(path, systemReason(errno));
    const int fd = temporary.file.fd;
    // A replaced file keeps its permissions.
    struct stat old;
    if (::stat(QFile::encodeName(target).constData(), &old) == 0)
        ::fchmod(fd, old.st_mode & 07777);
    struct stat written;
    if (!writeAll(fd, bytes) || ::fsync(fd) != 0 || ::fstat(fd, &written) != 0)
        cannotWrite(path, systemReason(errno));
    if (written.st_size != bytes.size())
        cannotWrite(path, systemReason(EIO));
    if (!temporary.file.close())
        cannotWrite(path, systemReason(errno));
    if (::rename(temporary.path.constData(), QFile::encodeName(target).constData()) != 0)
        cannotWrite(path, systemReason(errno));
    temporary.placed = true;
    // The new name is on disk too, not only the bytes (a best effort: some file systems
    // cannot sync a folder).
    Descriptor dir;
    dir.fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir.fd >= 0)
        ::fsync(dir.fd);
}

void setWriteCall(WriteCall call) {
    writeCall = call ? call : systemWrite;
}

} // namespace textfile
