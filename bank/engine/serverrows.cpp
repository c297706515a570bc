#include "serverrows.h"

#include "error.h"
#include "serverbankfile.h"
#include "sqlite.h"

#include <QUrl>
#include <sqlite3.h>

ServerRows::ServerRows(int recordCount) : m_count(recordCount) {
    if (sqlite3_open_v2(":memory:", &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) !=
        SQLITE_OK) {
        sqlite3_close_v2(m_db);
        throw DatabaseError(QStringLiteral("Нехватка памяти для банка вопросов сервера класса"));
    }
    try {
        sqlite::exec(m_db, QStringLiteral("CREATE TABLE kontrol (Name TEXT, Vopros TEXT, Otvet1 "
                                          "TEXT, Otvet2 TEXT, Otvet3 TEXT, Otvet4 TEXT, PrOtvet "
                                          "TEXT, Graph BLOB);"
                                          "WITH RECURSIVE n(r) AS (SELECT 1 UNION ALL SELECT r + "
                                          "1 FROM n WHERE r < %1) "
                                          "INSERT INTO kontrol (rowid, Name, Vopros, Otvet1, "
                                          "Otvet2, Otvet3, Otvet4, PrOtvet) "
                                          "SELECT r, '', '', '', '', '', '', '' FROM n")
                               .arg(recordCount));
    } catch (...) {
        sqlite3_close_v2(m_db);
        throw;
    }
}

ServerRows::~ServerRows() {
    sqlite3_close_v2(m_db);
}

void ServerRows::store(int record, const QString& sql, const QVariantList& values) {
    sqlite::Statement update(m_db, sql);
    for (int i = 0; i < values.size(); ++i)
        sqlite::bind(update.get(), i + 1, values[i]);
    sqlite3_bind_int(update.get(), int(values.size()) + 1, record);
    update.step();
}

void ServerRows::fill(int record, const ServerRecord& q) {
    store(record,
          QStringLiteral("UPDATE kontrol SET Name = ?, Vopros = ?, Otvet1 = ?, Otvet2 = ?, "
                         "Otvet3 = ?, Otvet4 = ?, Graph = ? WHERE rowid = ?"),
          {q.name, q.vopros, q.otvet[0], q.otvet[1], q.otvet[2], q.otvet[3],
           q.graph.isEmpty() ? QVariant() : QVariant(q.graph)});
    m_filled.insert(record);
}

void ServerRows::setRightAnswer(int record, const QString& prOtvet) {
    store(record, QStringLiteral("UPDATE kontrol SET PrOtvet = ? WHERE rowid = ?"), {prOtvet});
    m_answered.insert(record);
}

QString serverBankEditorRefusal(const QString& path) {
    serverbank::SittingLink link;
    try {
        link = serverbank::readSitting(path);
    } catch (const Error& e) {
        return e.message();
    }
    return QStringLiteral("«%1» — файл тестирования «%2» на сервере класса «%3». В редакторе он "
                          "не открывается и банк сервера класса не изменяется: измените исходный "
                          "банк и опубликуйте его заново (kviront-bank publish).")
        .arg(path, link.sitting, QUrl(link.server).authority());
}
