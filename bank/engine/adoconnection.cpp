#include "adoconnection.h"

#include "adotable.h"
#include "error.h"
#include "jetbank.h"
#include "serverbankfile.h"
#include "serverrows.h"
#include "sqlite.h"
#include "stagedfile.h"
#include "textfile.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char initialConnectionString[] = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=kontrol.mdb;"
                                       "Mode=Read;Persist Security Info=False";

[[noreturn]] void fail(const QString& text, const QString& path) {
    throw DatabaseError(text.arg(path));
}

// Why a file cannot be opened, in the system's words: a bank in a folder the user may not
// enter is refused, not missing.
[[noreturn]] void unreachable(const QString& path, int error) {
    if (error == ENOENT)
        fail(QStringLiteral("Файл банка вопросов «%1» не найден"), path);
    throw DatabaseError(QStringLiteral("Не удаётся прочитать файл банка вопросов «%1»: %2")
                            .arg(path, textfile::systemReason(error)));
}

// Tells a bank from any other file before the engine touches it, so a file that is not a
// bank is refused with a clear message and stays exactly as it was.
enum class FileKind { Sqlite, Jet, Server };

FileKind checkFile(const QString& path) {
    if (path.isEmpty())
        throw DatabaseError(QStringLiteral("Не выбран файл банка вопросов"));
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        unreachable(path, errno);
    if (S_ISDIR(st.st_mode))
        fail(QStringLiteral("«%1» — это папка, а не файл банка вопросов"), path);
    // Asked before anything opens it: opening a FIFO blocks until another program writes.
    const QString kind = textfile::specialKind(path);
    if (!kind.isEmpty())
        throw DatabaseError(
            QStringLiteral("«%1» — это %2, а не файл банка вопросов").arg(path, kind));
    QByteArray head;
    try {
        head = textfile::readHead(path, std::max(jetbank::headerBytes, serverbank::headBytes));
    } catch (const FileError& e) {
        throw DatabaseError(QStringLiteral("Не удаётся прочитать файл банка вопросов «%1»: %2")
                                .arg(path, e.reason()));
    }
    if (jetbank::jetVersionOf(head) != 0)
        return FileKind::Jet;
    if (serverbank::isServerBankHead(head))
        return FileKind::Server;
    static const QByteArray signature("SQLite format 3\0", 16);
    if (head.left(16) != signature)
        fail(QStringLiteral("Файл «%1» не является банком вопросов (это не база данных SQLite)"),
             path);
    return FileKind::Sqlite;
}

// Why a bank cannot be changed, or nothing when it can. A file without any write permission
// is opened read-only, even for a user whom the system would let write it anyway; so is one
// whose folder the user may not write, as every change needs a journal beside the bank.
QString readOnlyCause(const QString& path) {
    const QFileInfo info(path);
    // The mode bits, not WriteUser: that one asks the system, which lets the superuser write.
    const auto writeBits = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    if (!(info.permissions() & writeBits))
        return QStringLiteral("файл защищён от записи");
    if (::access(QFile::encodeName(path).constData(), W_OK) != 0)
        return QStringLiteral("файл нельзя изменять: %1").arg(textfile::systemReason(errno));
    const QString folder = info.absolutePath();
    if (::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0)
        return QStringLiteral("в его папку «%1» нельзя записывать (%2), а без этого банк не "
                              "изменить")
            .arg(folder, textfile::systemReason(errno));
    return {};
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
    if (!m_server)
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
    const FileKind kind = checkFile(path);
    if (kind == FileKind::Jet) { // an old-format bank: read into a copy, never written
        m_db = jetbank::openCopy(path);
        m_readOnly = true;
        m_legacy = true;
        return;
    }
    if (kind == FileKind::Server) // changed only by publishing; a run opens openServerRun()
        throw DatabaseError(serverBankEditorRefusal(path));
    m_readOnlyCause = readOnlyCause(path);
    const bool writable = m_readOnlyCause.isEmpty();
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
    sqlite3_busy_timeout(db, lockWaitMs); // another program may be writing the same bank
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
    if (writable && sqlite3_db_readonly(db, "main") == 1)
        m_readOnlyCause = QStringLiteral("файловая система не даёт его изменять");
    m_readOnly = !m_readOnlyCause.isEmpty();
}

void ADOConnection::openServerRun(const QString& path, int recordCount) {
    close();
    m_connectionString = path;
    m_server = std::make_unique<ServerRows>(recordCount);
    m_db = m_server->handle();
    m_readOnly = true;
}

void ADOConnection::close() {
    if (!m_db)
        return;
    for (ADOTable* table : QVector<ADOTable*>(m_tables))
        table->close();
    if (m_server)
        m_server.reset(); // the rows only: the run itself is the job's
    else
        sqlite3_close_v2(m_db);
    m_db = nullptr;
    m_readOnly = false;
    m_legacy = false;
    m_readOnlyCause.clear();
}

QString ADOConnection::readOnlyNotice() const {
    if (m_legacy)
        return jetbank::legacyNotice(m_connectionString);
    if (!m_readOnly)
        return {};
    return QStringLiteral("Банк вопросов «%1» открыт только для просмотра: %2. Вопросы можно "
                          "смотреть, но не изменять.")
        .arg(m_connectionString, m_readOnlyCause);
}

void ADOConnection::attachTable(ADOTable* table) {
    if (!m_tables.contains(table))
        m_tables.append(table);
}

void ADOConnection::detachTable(ADOTable* table) {
    m_tables.removeAll(table);
}

template <class Change> void ADOConnection::changeServerRow(int record, Change change) {
    if (!m_server)
        throw DatabaseError(QStringLiteral("Открытый банк вопросов — не банк сервера класса"));
    // A read in progress would hold the row being changed.
    for (ADOTable* table : m_tables)
        table->endRead();
    change(*m_server);
    for (ADOTable* table : QVector<ADOTable*>(m_tables))
        table->rowChanged(record);
}

void ADOConnection::fillServerRecord(int record, const ServerRecord& r) {
    changeServerRow(record, [&](ServerRows& rows) { rows.fill(record, r); });
}

void ADOConnection::setServerRightAnswer(int record, const QString& prOtvet) {
    changeServerRow(record, [&](ServerRows& rows) { rows.setRightAnswer(record, prOtvet); });
}

ADOConnection::BriefLockWait::BriefLockWait(const ADOConnection* connection, int ms)
    : m_db(connection ? connection->handle() : nullptr) {
    if (m_db)
        sqlite3_busy_timeout(m_db, ms);
}

ADOConnection::BriefLockWait::~BriefLockWait() {
    if (m_db)
        sqlite3_busy_timeout(m_db, lockWaitMs);
}
