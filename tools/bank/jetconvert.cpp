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
#include <memory>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace jetconvert {
namespace {

const QStringList requiredFields{QStringLiteral("Name"),    QStringLiteral("Vopros"),
                                 QStringLiteral("Otvet1"),  QStringLiteral("Otvet2"),
                                 QStringLiteral("Otvet3"),  QStringLiteral("Otvet4"),
                                 QStringLiteral("PrOtvet"), QStringLiteral("Graph")};

// The file to convert, checked before the reader runs.
void checkOld(const QString& oldPath) {
    if (!QFileInfo(oldPath).isFile())
        throw Error(QStringLiteral("Файл «%1» не найден").arg(oldPath));
    if (!jetbank::isJetFile(oldPath))
        throw Error(QStringLiteral("Файл «%1» не является банком вопросов старого формата "
                                   "(базой данных Jet)")
                        .arg(oldPath));
}

// The table must be one the program opens; pictures it would refuse are not carried over.
jetbank::CopyChecks checks(const QString& oldPath, Result& result) {
    auto graph = std::make_shared<int>(-1);
    jetbank::CopyChecks checks;
    checks.columns = [oldPath, graph](const jetbank::Columns& columns) {
        if (!columns.found)
            throw Error(QStringLiteral("В банке вопросов «%1» нет таблицы kontrol").arg(oldPath));
        for (const QString& field : requiredFields)
            if (!columns.names.contains(field, Qt::CaseInsensitive))
                throw Error(QStringLiteral("В таблице kontrol банка вопросов «%1» нет поля %2")
                                .arg(oldPath, field));
        for (int i = 0; i < columns.names.size(); ++i)
            if (columns.names[i].compare(QLatin1String("Graph"), Qt::CaseInsensitive) == 0)
                *graph = i;
    };
    checks.row = [graph, &result](int number, QVector<QVariant>& row) {
        QVariant& value = row[*graph];
        if (!value.isValid())
            return;
        try {
            bitmap::checkGraph(value.typeId() == QMetaType::QByteArray ? value.toByteArray()
                                                                       : value.toString().toUtf8());
        } catch (const Error& e) {
            result.refused << QStringLiteral("запись %1: рисунок не перенесён (%2)")
                                  .arg(QString::number(number), e.message());
            value = QVariant();
        }
    };
    return checks;
}

// Writes the new bank under a temporary name beside it, read from the old one as it streams.
void writeBank(const QString& oldPath, const QString& path, Result& result) {
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
        // The file only takes its name once complete: a journal would add nothing.
        sqlite3_exec(db, "PRAGMA journal_mode = OFF", nullptr, nullptr, nullptr);
        jetbank::copyTable(db, oldPath, checks(oldPath, result), &result.questions);
        if (sqlite3_close(db) != SQLITE_OK)
            throw DatabaseError(QString::fromUtf8(sqlite3_errmsg(db)));
        db = nullptr;
    } catch (const DatabaseError& e) {
        sqlite3_close_v2(db);
        if (dynamic_cast<const jetbank::ReadError*>(&e))
            throw;
        throw Error(
            QStringLiteral("Не удаётся создать банк вопросов «%1»: %2").arg(path, e.message()));
    } catch (...) {
        sqlite3_close_v2(db);
        throw;
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
    checkOld(oldPath);
    Result result;
    writeBank(oldPath, newPath, result);
    return result;
}

} // namespace jetconvert
