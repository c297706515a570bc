#pragma once

#include "error.h"

#include <QByteArray>
#include <QString>

struct stat;

// A failed file operation. The message names the file and gives the system's reason;
// reason() alone serves a caller that words its own message.
class FileError : public Error {
public:
    FileError(const QString& message, QString reason)
        : Error(message), m_reason(std::move(reason)) {}
    const QString& reason() const noexcept { return m_reason; }

private:
    QString m_reason;
};

namespace textfile {

// Refuses a name under which anything stands, a link that leads nowhere included: a new file
// never takes the place of another. Throws FileError ("Файл «…» уже есть…", reason
// "такой файл уже есть").
void refuseExisting(const QString& path);

// A new file made under a unique temporary name in the folder of its target, which takes
// the target's name only once it is complete and is removed on every other way out, so a
// failure never leaves a half-written file and never touches a file that stood there. It is
// made with the mode every new file gets (the umask's). The folder is held open from the
// start and every later step is taken inside it, never through a link: a folder or a name
// swapped for a link meanwhile leads the file nowhere else. Errors: FileError naming the
// target.
class StagedFile {
public:
    explicit StagedFile(const QString& target);
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    const QString& target() const { return m_target; }
    QString temporaryPath() const;
    int descriptor() const { return m_fd; }

    // For a file that is to replace the target: a target the user may not replace is refused
    // (renaming over it needs only the folder's rights; in a folder with the sticky bit another
    // user's file is not ours to replace), and the new file takes the target's mode, and its
    // owner where the system lets it. A link under the target's name, now or at the placement,
    // is refused. Nothing happens when there is no target.
    void adoptTarget();

    // Every byte is written or the call throws; a disk that takes nothing is a full one.
    void write(const char* data, qint64 size);
    void write(const QByteArray& bytes) { write(bytes.constData(), bytes.size()); }
    // Synced to disk and closed; the bytes on disk are checked to be all that was written.
    void finish();

    enum Placement {
        Replace, // whatever file has the name is replaced (a link there: the link itself)
        New,     // refused when anything has the name, however it came there
    };
    void place(Placement how);

private:
    [[noreturn]] void fail(int error) const;
    [[noreturn]] void fail(const QString& reason) const;
    // What stands under the target's name, the link itself for a link; false: nothing.
    bool lookAtTarget(struct stat& st) const;
    // Refuses a target this user may not replace; true when there is one to replace.
    bool checkTarget(struct stat& st) const;
    void replace();
    void placeNew();

    QString m_target;
    QString m_folder;
    QByteArray m_name;      // the target's name in its folder
    QByteArray m_temporary; // the temporary file's name in the folder
    int m_dir = -1;         // the folder, held open
    int m_fd = -1;
    qint64 m_written = 0;
    bool m_adopt = false;
    bool m_placed = false;
};

} // namespace textfile
