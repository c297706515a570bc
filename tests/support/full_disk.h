#pragma once

#include "core_seams.h"
#include <QtGlobal>
#include <cerrno>
#include <unistd.h>

// A disk that fills up, behind the write seam of textfile: textfile::setWriteCall(disk::full).
namespace disk {

// The bytes still free; a write beyond them fails with ENOSPC, as a full disk's does.
inline qint64 room = 0;

inline qint64 full(int fd, const char* data, qint64 size) {
    if (room <= 0) {
        errno = ENOSPC;
        return -1;
    }
    const qint64 taken = qMin(size, room);
    room -= taken;
    return ::write(fd, data, size_t(taken));
}

} // namespace disk
