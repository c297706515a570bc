// The system's reasons in the program's own words. The C library's texts follow the locale,
// and under C (a service, a test, a terminal without a language) they come out in English.
#include "textfile.h"

#include <cerrno>

namespace textfile {

QString systemReason(int error) {
    switch (error) {
    case EACCES:
        return QStringLiteral("Отказано в доступе");
    case EPERM:
        return QStringLiteral("Операция не позволена");
    case ENOENT:
        return QStringLiteral("Нет такого файла или папки");
    case ENOTDIR:
        return QStringLiteral("Часть пути — не папка");
    case EISDIR:
        return QStringLiteral("Это папка");
    case EEXIST:
        return QStringLiteral("Файл уже существует");
    case ENOSPC:
        return QStringLiteral("На устройстве не осталось свободного места");
    case EDQUOT:
        return QStringLiteral("Превышена дисковая квота");
    case EFBIG:
        return QStringLiteral("Файл слишком велик");
    case EROFS:
        return QStringLiteral("Файловая система доступна только для чтения");
    case ENAMETOOLONG:
        return QStringLiteral("Слишком длинное имя файла");
    case ELOOP:
        return QStringLiteral("Слишком много уровней символических ссылок");
    case EIO:
        return QStringLiteral("Ошибка ввода-вывода");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("Открыто слишком много файлов");
    case ENOMEM:
        return QStringLiteral("Недостаточно памяти");
    case EBUSY:
        return QStringLiteral("Устройство или ресурс занято");
    case ETXTBSY:
        return QStringLiteral("Файл занят: это исполняемая программа");
    case EXDEV:
        return QStringLiteral("Файлы на разных файловых системах");
    case ENXIO:
    case ENODEV:
        return QStringLiteral("Нет такого устройства");
    case ESTALE:
        return QStringLiteral("Файл на сетевом диске больше не доступен");
    case EAGAIN:
        return QStringLiteral("Ресурс временно недоступен");
    case ENOTSUP:
        return QStringLiteral("Файловая система не поддерживает эту операцию");
    case EINVAL:
        return QStringLiteral("Недопустимый аргумент");
    default:
        return QStringLiteral("ошибка системы № %1").arg(error);
    }
}

} // namespace textfile
