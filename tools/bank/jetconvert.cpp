#include "jetconvert.h"

#include "bitmap.h"
#include "error.h"
#include "jetbank.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <cerrno>
#include <cstring>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace jetconvert {
namespace {

const QStringList requiredFields{QStringLiteral("Name"),    QStringLiteral("Vopros"),
                                 QStringLiteral("Otvet1"),  QStringLiteral("Otvet2"),
                                 QStringLiteral("Otvet3"),  QStringLiteral("Otvet4"),
                                 QStringLiteral("PrOtvet"), QStringLiteral("Graph")};

int columnOf(const jetbank::Table& table, const QString& name) {
    for (int i = 0; i < table.names.size(); ++i)
        if (table.names[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

jetbank::Table readOld(const QString& oldPath) {
    if (!QFileInfo(oldPath).isFile())
        throw Error(QStringLiteral("Файл «%1» не найден").arg(oldPath));
    if (!jetbank::isJetFile(oldPath))
        throw Error(QStringLiteral("Файл «%1» не является банком вопросов старого формата "
                                   "(базой данных Jet)")
                        .arg(oldPath));
    jetbank::Table table = jetbank::readTable(oldPath);
    if (!table.found)
        throw Error(QStringLiteral("В банке вопросов «%1» нет таблицы kontrol").arg(oldPath));
    for (const QString& field : requiredFields)
        if (columnOf(table, field) < 0)
            throw Error(QStringLiteral("В таблице kontrol банка вопросов «%1» нет поля %2")
                            .arg(oldPath, field));
    return table;
}

// Pictures the program would refuse are not carried over.
QStringList dropInvalidPictures(jetbank::Table& table) {
    QStringList refused;
    const int graph = columnOf(table, QStringLiteral("Graph"));
    for (int n = 0; n < table.rows.size(); ++n) {
        QVariant& value = table.rows[n][graph];
        if (!value.isValid())
            continue;
        try {
            bitmap::checkGraph(value.typeId() == QMetaType::QByteArray ? value.toByteArray()
                                                                       : value.toString().toUtf8());
        } catch (const Error& e) {
            refused << QStringLiteral("запись %1: рисунок не перенесён (%2)")
                           .arg(QString::number(n + 1), e.message());
            value = QVariant();
        }
    }
    return refused;
}

void writeBank(const QString& path, const jetbank::Table& table) {
    const QFileInfo target(path);
    QTemporaryFile part(
        target.absoluteDir().filePath(QStringLiteral(".%1.XXXXXX.part").arg(target.fileName())));
    if (!part.open())
        throw Error(QStringLiteral("Не удаётся создать банк вопросов «%1»: %2")
                        .arg(path, part.errorString()));
    part.close(); // removed when this function ends, written or not
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::chmod(QFile::encodeName(part.fileName()).constData(), 0666 & ~mask); // as a new file
    sqlite3* db = nullptr;
    const bool opened = sqlite3_open_v2(QFile::encodeName(part.fileName()).constData(), &db,
                                        SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK;
    try {
        if (!opened)
            throw DatabaseError(db ? QString::fromUtf8(sqlite3_errmsg(db))
                                   : QStringLiteral("нехватка памяти"));
        jetbank::copyInto(db, table);
        if (sqlite3_close(db) != SQLITE_OK)
            throw DatabaseError(QString::fromUtf8(sqlite3_errmsg(db)));
        db = nullptr;
    } catch (const Error& e) {
        sqlite3_close_v2(db);
        throw Error(
            QStringLiteral("Не удаётся создать банк вопросов «%1»: %2").arg(path, e.message()));
    }
    // A hard link never replaces a file that appeared meanwhile; the temporary name goes.
    if (::link(QFile::encodeName(part.fileName()).constData(),
               QFile::encodeName(path).constData()) != 0)
        throw Error(QStringLiteral("Не удаётся создать банк вопросов «%1»: %2")
                        .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
}

} // namespace

Result convert(const QString& oldPath, const QString& newPath) {
    if (QFileInfo::exists(newPath) || QFileInfo(newPath).isSymLink())
        throw Error(QStringLiteral("Файл «%1» уже есть: его не перезаписываем").arg(newPath));
    jetbank::Table table = readOld(oldPath);
    Result result;
    result.questions = int(table.rows.size());
    result.refused = dropInvalidPictures(table);
    writeBank(newPath, table);
    return result;
}

} // namespace jetconvert
