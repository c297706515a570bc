#include "stagedfile.h"

#include "core_hook.h"
#include "textfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corehook {
WriteCall writeCall = nullptr;
}

namespace textfile {

void refuseExisting(const QString& path) {
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) == 0)
        throw FileError(
            QStringLiteral("Файл «%1» уже есть: новый файл не заменяет существующий").arg(path),
            QStringLiteral("такой файл уже есть"));
}

StagedFile::StagedFile(const QString& target)
    : m_target(target), m_folder(QFileInfo(target).absolutePath()),
      m_name(QFile::encodeName(QFileInfo(target).fileName())) {
    // O_PATH: a folder the user may write but not list takes files all the same.
    m_dir = ::open(QFile::encodeName(m_folder).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (m_dir < 0 && (errno == ENOENT || errno == ENOTDIR))
        throw FileError(QStringLiteral("Не удалось записать файл «%1»: папка «%2» не существует")
                            .arg(target, m_folder),
                        QStringLiteral("папка «%1» не существует").arg(m_folder));
    if (m_dir < 0)
        fail(errno);
    // A short name whatever the target's, so a target name of the full 255 bytes still fits.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name =
            QStringLiteral(".~%1.part")
                .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'))
                .toLatin1();
        // 0666 less the umask, as any program's new file.
        m_fd = ::openat(m_dir, name.constData(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (m_fd >= 0) {
            m_temporary = name;
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
    if (!m_temporary.isEmpty() && !m_placed)
        ::unlinkat(m_dir, m_temporary.constData(), 0);
    if (m_dir >= 0)
        ::close(m_dir);
}

QString StagedFile::temporaryPath() const {
    return QDir(m_folder).filePath(QFile::decodeName(m_temporary));
}

void StagedFile::fail(int error) const {
    fail(systemReason(error));
}

void StagedFile::fail(const QString& reason) const {
    throw FileError(QStringLiteral("Не удалось записать файл «%1»: %2").arg(m_target, reason),
                    reason);
}

bool StagedFile::lookAtTarget(struct stat& st) const {
    if (::fstatat(m_dir, m_name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return true;
    if (errno != ENOENT)
        fail(errno);
    return false;
}

bool StagedFile::checkTarget(struct stat& st) const {
    if (!lookAtTarget(st))
        return false;
    if (S_ISLNK(st.st_mode))
        fail(QStringLiteral("под этим именем стоит символическая ссылка, а запись через ссылку "
                            "может попасть в чужой файл"));
    if (::faccessat(m_dir, m_name.constData(), W_OK, AT_SYMLINK_NOFOLLOW) != 0)
        fail(errno);
    // With the sticky bit (as /tmp, or a class's shared folder) only a file's owner, the
    // folder's owner or root may replace it; the system would only say "not permitted".
    struct stat folder;
    const uid_t me = ::geteuid();
    if (::fstat(m_dir, &folder) == 0 && (folder.st_mode & S_ISVTX) && me != 0 && st.st_uid != me &&
        folder.st_uid != me)
        fail(QStringLiteral("файл принадлежит другому пользователю, а в этой общей папке (с "
                            "битом sticky) чужой файл может заменить только его владелец"));
    return true;
}

void StagedFile::adoptTarget() {
    struct stat st;
    m_adopt = checkTarget(st);
}

void StagedFile::write(const char* data, qint64 size) {
    while (size > 0) {
        const qint64 written = corehook::writeCall ? corehook::writeCall(m_fd, data, size)
                                                   : ::write(m_fd, data, size_t(size));
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
    // The target as it stands now: its mode, and its owner where the system lets it.
    struct stat old;
    if (m_adopt && checkTarget(old)) {
        // Owner first: changing it may clear mode bits that the next call sets again.
        if (::fchown(m_fd, old.st_uid, old.st_gid) != 0 && ::fchown(m_fd, uid_t(-1), old.st_gid)) {
            // Not ours to give away: the file becomes the user's, with the old mode.
        }
        ::fchmod(m_fd, old.st_mode & 07777);
    }
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

void StagedFile::replace() {
    struct stat st;
    // A link planted since the target was adopted is refused as one there at the start.
    if (m_adopt)
        checkTarget(st);
    if (::renameat(m_dir, m_temporary.constData(), m_dir, m_name.constData()) == 0)
        return;
    const int error = errno;
    if (error == EPERM && lookAtTarget(st))
        checkTarget(st); // says why, in a folder with the sticky bit
    fail(error);
}

void StagedFile::placeNew() {
    // A hard link never replaces what appeared meanwhile; on a file system without hard links
    // a rename that replaces nothing does the same.
    if (::linkat(m_dir, m_temporary.constData(), m_dir, m_name.constData(), 0) == 0) {
        ::unlinkat(m_dir, m_temporary.constData(), 0);
        return;
    }
    if (errno != EPERM && errno != ENOTSUP)
        fail(errno);
    if (::renameat2(m_dir, m_temporary.constData(), m_dir, m_name.constData(), RENAME_NOREPLACE) ==
        0)
        return;
    if (errno != EINVAL)
        fail(errno);
    // A file system that knows neither (some FUSE ones): the nearest thing, a look first.
    struct stat st;
    if (lookAtTarget(st))
        fail(EEXIST);
    if (::renameat(m_dir, m_temporary.constData(), m_dir, m_name.constData()) != 0)
        fail(errno);
}

void StagedFile::place(Placement how) {
    finish();
    if (how == Replace)
        replace();
    else
        placeNew();
    m_placed = true;
    // The new name is on disk too, not only the bytes (a best effort: some file systems
    // cannot sync a folder).
    const int dir = ::openat(m_dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

} // namespace textfile
