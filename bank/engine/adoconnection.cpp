#include "adoconnection.h"

#include "adotable.h"
#include "error.h"
#include "jetbank.h"
#include "pgconnection.h"
#include "serverbankfile.h"
#include "sqlite.h"
#include "textfile.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <sqlite3.h>

namespace {

const char initialConnectionString[] = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=kontrol.mdb;"
                                       "Mode=Read;Persist Security Info=False";

[[noreturn]] void fail(const QString& text, const QString& path) {
    throw DatabaseError(text.arg(path));
}

// Tells a bank from any other file before the engine touches it, so a file that is not a
// bank is refused with a clear message and stays exactly as it was. True for a bank of the
// old (Jet) format.
bool checkFile(const QString& path) {
    if (path.isEmpty())
        throw DatabaseError(QStringLiteral("Не выбран файл банка вопросов"));
    const QFileInfo info(path);
    if (!info.exists())
        fail(QStringLiteral("Файл банка вопросов «%1» не найден"), path);
    if (info.isDir())
        fail(QStringLiteral("«%1» — это папка, а не файл банка вопросов"), path);
    // Asked before anything opens it: opening a FIFO blocks until another program writes.
    const QString kind = textfile::specialKind(path);
    if (!kind.isEmpty())
        throw DatabaseError(
            QStringLiteral("«%1» — это %2, а не файл банка вопросов").arg(path, kind));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw DatabaseError(QStringLiteral("Не удаётся прочитать файл банка вопросов «%1»: %2")
                                .arg(path, file.errorString()));
    const QByteArray head = file.read(std::max(jetbank::headerBytes, serverbank::headBytes));
    if (jetbank::jetVersionOf(head) != 0)
        return true;
    if (serverbank::isServerBankHead(head)) {
        const serverbank::BankLink link = serverbank::readLink(path);
        throw DatabaseError(QStringLiteral("«%1» — ссылка на банк «%2» на сервере класса «%3»; "
                                           "тест по банку сервера класса эта версия программы "
                                           "не проводит, а изменяют такой банк в его исходном "
                                           "файле и публикуют заново")
                                .arg(path, link.bank, pg::describe(link.conninfo)));
    }
    static const QByteArray signature("SQLite format 3\0", 16);
    if (head.left(16) != signature)
        fail(QStringLiteral("Файл «%1» не является банком вопросов (это не база данных SQLite)"),
             path);
    return false;
}

// A file without any write permission is opened read-only, even for a user whom the system
// would let write it anyway.
bool markedWritable(const QString& path) {
    const QFileInfo info(path);
    // The mode bits, not WriteUser: that one asks the system, which lets the superuser write.
    const auto writeBits = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    return info.isWritable() && (info.permissions() & writeBits);
}

} // namespace

ADOConnection::ADOConnection(QObject* parent)
    : QObject(parent), m_connectionString(QString::fromLatin1(initialConnectionString)) {
    setObjectName(QStringLiteral("ADOConnectionControl"));
}

ADOConnection::~ADOConnection() {
    for (ADOTable* table : m_tables)
        table->connectionGone();
    m_tables.clear();
    sqlite3_close_v2(m_db);
}

QString ADOConnection::provider() const {
    return QStringLiteral("Microsoft.Jet.OLEDB.4.0");
}

void ADOConnection::setConnectionString(const QString& value) {
    m_connectionString = value;
}

void ADOConnection::open() {
    if (m_db)
        return;
    const QString path = m_connectionString;
    if (checkFile(path)) { // an old-format bank: read into memory, never written
        m_db = jetbank::openInMemory(path);
        m_readOnly = true;
        m_legacy = true;
        return;
    }
    const bool writable = markedWritable(path);
    // Never SQLITE_OPEN_CREATE: a path that is not there must not become an empty bank.
    // One thread uses a connection, so the engine need not lock it on every call.
    const int flags =
        (writable ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY) | SQLITE_OPEN_NOMUTEX;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, flags, nullptr) != SQLITE_OK) {
        const QString reason = db ? sqlite::lastError(db) : QStringLiteral("нехватка памяти");
        sqlite3_close_v2(db);
        throw DatabaseError(
            QStringLiteral("Не удаётся открыть банк вопросов «%1»: %2").arg(path, reason));
    }
    // The bank is a file the user picked: its schema may not change the database's own
    // structure behind our back, nor run functions with side effects from its triggers, views
    // or defaults.
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_busy_timeout(db, 2000); // another program may be writing the same bank
    // Records are read one at a time by row id; a page cache that holds the table's rows
    // (pictures aside) keeps a walk through a 10,000-question bank from reading them anew.
    sqlite3_exec(db, "PRAGMA cache_size = -8192", nullptr, nullptr, nullptr);
    // Opening is lazy: reading the schema is what proves the file is a database.
    if (sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) !=
        SQLITE_OK) {
        const int code = sqlite3_errcode(db);
        const QString reason = sqlite::lastError(db);
        sqlite3_close_v2(db);
        if (code == SQLITE_NOTADB || code == SQLITE_CORRUPT)
            fail(QStringLiteral("Файл «%1» не является банком вопросов или повреждён"), path);
        throw DatabaseError(
            QStringLiteral("Не удаётся открыть банк вопросов «%1»: %2").arg(path, reason));
    }
    m_db = db;
    m_readOnly = !writable || sqlite3_db_readonly(db, "main") == 1;
}

void ADOConnection::close() {
    if (!m_db)
        return;
    for (ADOTable* table : QVector<ADOTable*>(m_tables))
        table->close();
    sqlite3_close_v2(m_db);
    m_db = nullptr;
    m_readOnly = false;
    m_legacy = false;
}

void ADOConnection::attachTable(ADOTable* table) {
    if (!m_tables.contains(table))
        m_tables.append(table);
}

void ADOConnection::detachTable(ADOTable* table) {
    m_tables.removeAll(table);
}
