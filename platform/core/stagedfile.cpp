#include "stagedfile.h"

#include "textfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace textfile {
namespace {

qint64 systemWrite(int fd, const char* data, qint64 size) {
    return ::write(fd, data, size_t(size));
}

WriteCall writeCall = systemWrite;

} // namespace

void setWriteCall(WriteCall call) {
    writeCall = call ? call : systemWrite;
}

StagedFile::StagedFile(const QString& target)
    : m_target(target), m_folder(QFileInfo(target).absolutePath()) {
    if (!QFileInfo(m_folder).isDir())
        throw FileError(QStringLiteral("Не удалось записать файл «%1»: папка «%2» не существует")
                            .arg(target, m_folder),
                        QStringLiteral("папка «%1» не существует").arg(m_folder));
    // A short name whatever the target's, so a target name of the full 255 bytes still fits.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name =
            QStringLiteral(".~%1.part")
                .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        const QByteArray candidate = QFile::encodeName(QDir(m_folder).filePath(name));
        // 0666 less the umask, as any program's new file.
        m_fd = ::open(candidate.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd >= 0) {
            m_path = candidate;
            return;
        }
        if (errno != EEXIST)
            break;
    }
    fail(errno);
}

StagedFile::~StagedFile() {
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_path.isEmpty() && !m_placed)
        ::unlink(m_path.constData());
}

QString StagedFile::temporaryPath() const {
    return QFile::decodeName(m_path);
}

void StagedFile::fail(int error) const {
    const QString reason = systemReason(error);
    throw FileError(QStringLiteral("Не удалось записать файл «%1»: %2").arg(m_target, reason),
                    reason);
}

void StagedFile::adoptTarget() {
    const QByteArray target = QFile::encodeName(m_target);
    struct stat old;
    if (::stat(target.constData(), &old) != 0)
        return;
    if (::access(target.constData(), W_OK) != 0)
        fail(errno);
    // Owner first: changing it may clear mode bits that the next call sets again.
    if (::fchown(m_fd, old.st_uid, old.st_gid) != 0 && ::fchown(m_fd, uid_t(-1), old.st_gid)) {
        // Not ours to give away: the file becomes the user's, with the old mode.
    }
    ::fchmod(m_fd, old.st_mode & 07777);
}

void StagedFile::write(const char* data, qint64 size) {
    while (size > 0) {
        const qint64 written = writeCall(m_fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            fail(written == 0 ? ENOSPC : errno); // no progress and no reason: the device is full
        data += written;
        size -= written;
        m_written += written;
    }
}

void StagedFile::finish() {
    if (m_fd < 0)
        return;
    struct stat st;
    if (::fsync(m_fd) != 0 || ::fstat(m_fd, &st) != 0)
        fail(errno);
    if (st.st_size < m_written)
        fail(EIO);
    const int fd = m_fd;
    m_fd = -1;
    // A network file system may report a failed write only here.
    if (::close(fd) != 0)
        fail(errno);
}

void StagedFile::place(Placement how) {
    finish();
    const QByteArray target = QFile::encodeName(m_target);
    if (how == Replace) {
        if (::rename(m_path.constData(), target.constData()) != 0)
            fail(errno);
    } else if (::link(m_path.constData(), target.constData()) != 0) {
        // A hard link never replaces what appeared meanwhile; a file system without hard links
        // gets the nearest thing, a rename after a look.
        const int error = errno;
        if (error != EPERM && error != ENOTSUP)
            fail(error);
        struct stat st;
        if (::lstat(target.constData(), &st) == 0)
            fail(EEXIST);
        if (::rename(m_path.constData(), target.constData()) != 0)
            fail(errno);
    } else {
        ::unlink(m_path.constData());
    }
    m_placed = true;
    // The new name is on disk too, not only the bytes (a best effort: some file systems
    // cannot sync a folder).
    const int dir =
        ::open(QFile::encodeName(m_folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

} // namespace textfile
