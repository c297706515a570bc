// Whole files in and out, on the system's own calls: Qt's buffered files report a full disk
// too late (QSaveFile puts a file in place even after its last flush failed) and block on a
// FIFO in open().
#include "textfile.h"

#include "error.h"
#include "stagedfile.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace textfile {
namespace {

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
    throw FileError(QStringLiteral("Не удалось открыть файл «%1»: %2").arg(path, reason), reason);
}

[[noreturn]] void cannotWrite(const QString& path, const QString& reason) {
    throw FileError(QStringLiteral("Не удалось записать файл «%1»: %2").arg(path, reason), reason);
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
};

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

namespace {
// Opens a regular file for reading, refusing anything else before it is opened.
void openRegular(const QString& path, Descriptor& file, struct stat& st) {
    const QString kind = specialKind(path);
    if (!kind.isEmpty())
        cannotRead(path, notRegular(kind));
    // Non-blocking, in case a FIFO took the file's place since it was looked at; the check
    // below then refuses it. Reading a regular file is not affected.
    file.fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (file.fd < 0)
        cannotRead(path, systemReason(errno));
    if (::fstat(file.fd, &st) != 0)
        cannotRead(path, systemReason(errno));
    if (!S_ISREG(st.st_mode))
        cannotRead(path, notRegular(kindOf(st.st_mode)));
}
} // namespace

QByteArray readHead(const QString& path, qint64 size) {
    Descriptor file;
    struct stat st;
    openRegular(path, file, st);
    QByteArray head(qsizetype(size), Qt::Uninitialized);
    ssize_t got;
    do
        got = ::read(file.fd, head.data(), size_t(head.size()));
    while (got < 0 && errno == EINTR);
    if (got < 0)
        cannotRead(path, systemReason(errno));
    head.truncate(got);
    return head;
}

QByteArray readFile(const QString& path, qint64 maxBytes) {
    Descriptor file;
    struct stat st;
    openRegular(path, file, st);
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
        if (got < 0) {
            const QString reason = systemReason(errno);
            throw FileError(QStringLiteral("Не удалось прочитать файл «%1»: %2").arg(path, reason),
                            reason);
        }
        if (got == 0)
            break;
        total += got;
        if (total > maxBytes)
            tooLarge(path, total, maxBytes);
    }
    bytes.truncate(total);
    return bytes;
}

void writeFileAtomically(const QString& path, const QByteArray& bytes, Links links,
                         Readers readers) {
    QString target = path;
    struct stat old;
    const bool exists = ::lstat(QFile::encodeName(path).constData(), &old) == 0;
    if (exists && S_ISLNK(old.st_mode)) {
        if (links == Links::Refuse)
            cannotWrite(path, QStringLiteral("под этим именем стоит символическая ссылка, а "
                                             "запись через ссылку может попасть в чужой файл"));
        target = writeTarget(path);
    }
    const QString kind = specialKind(target);
    if (!kind.isEmpty())
        cannotWrite(path, notRegular(kind));
    try {
        StagedFile file(target);
        file.adoptTarget();
        // Before a byte is written, so that no one can open it while it is readable.
        if (readers == Readers::OwnerOnly && ::fchmod(file.descriptor(), 0600) != 0)
            cannotWrite(path, systemReason(errno));
        file.write(bytes);
        file.place(StagedFile::Replace);
    } catch (const FileError& e) {
        cannotWrite(path, e.reason()); // named as the caller named it
    }
}

} // namespace textfile
