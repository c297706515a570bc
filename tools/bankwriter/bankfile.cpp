#include "bankfile.h"

#include "error.h"
#include "sqlite.h"

#include <QFile>
#include <QScopeGuard>
#include <sqlite3.h>

namespace bankfile {

const char* const schema = "CREATE TABLE kontrol (Name INTEGER, Vopros TEXT, Otvet1 TEXT, "
                           "Otvet2 TEXT, Otvet3 TEXT, Otvet4 TEXT, PrOtvet INTEGER, Graph BLOB)";

struct Writer::Insert {
    sqlite::Statement stmt;
};

namespace {
[[noreturn]] void fail(const QString& path, const QString& reason) {
    throw Error(QStringLiteral("Не удаётся создать банк вопросов «%1»: %2").arg(path, reason));
}

void bindText(sqlite3_stmt* stmt, int at, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    sqlite3_bind_text(stmt, at, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
}

void bindVariant(sqlite3_stmt* stmt, int at, const QVariant& value) {
    if (!value.isValid() || value.isNull())
        sqlite3_bind_null(stmt, at);
    else if (value.typeId() == QMetaType::Double)
        sqlite3_bind_double(stmt, at, value.toDouble());
    else if (value.canConvert<qint64>() && value.typeId() != QMetaType::QString)
        sqlite3_bind_int64(stmt, at, value.toLongLong());
    else
        bindText(stmt, at, value.toString());
}
} // namespace

void refuseExisting(const QString& path) {
    try {
        textfile::refuseExisting(path);
    } catch (const FileError& e) {
        fail(path, e.reason());
    }
}

NewDatabase::NewDatabase(const QString& path) : m_path(path) {
    refuseExisting(path);
    try {
        m_file = std::make_unique<textfile::StagedFile>(path);
        m_file->finish(); // an empty file, which SQLite takes for a new database
    } catch (const FileError& e) {
        fail(e.reason());
    }
    if (sqlite3_open_v2(QFile::encodeName(m_file->temporaryPath()).constData(), &m_db,
                        SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        const QString reason = m_db ? sqlite::lastError(m_db) : QStringLiteral("нет памяти");
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        fail(reason);
    }
    // The file only takes its name once it is complete, and a failure removes it: a rollback
    // journal would protect nothing, and costs a flush to disk every time the page cache
    // spills in the middle of a transaction.
    if (sqlite3_exec(m_db, "PRAGMA journal_mode=OFF", nullptr, nullptr, nullptr) != SQLITE_OK)
        fail(sqlite::lastError(m_db));
}

NewDatabase::~NewDatabase() {
    sqlite3_close_v2(m_db);
}

void NewDatabase::fail(const QString& reason) const {
    bankfile::fail(m_path, reason);
}

void NewDatabase::place() {
    if (sqlite3_close(m_db) != SQLITE_OK)
        fail(sqlite::lastError(m_db));
    m_db = nullptr;
    try {
        m_file->place(textfile::StagedFile::New);
    } catch (const FileError& e) {
        fail(e.reason());
    }
}

Writer::Writer(const QString& path) : m_file(path) {
    sqlite3* db = m_file.handle();
    try {
        sqlite::exec(db, QString::fromLatin1(schema));
        sqlite::exec(db, QStringLiteral("BEGIN"));
        m_insert = new Insert{sqlite::Statement(
            db, QStringLiteral("INSERT INTO kontrol (Name, Vopros, Otvet1, Otvet2, Otvet3, "
                               "Otvet4, PrOtvet, Graph) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"))};
    } catch (const Error& e) {
        m_file.fail(e.message());
    }
}

Writer::~Writer() {
    delete m_insert;
}

void Writer::add(const Question& q) {
    sqlite3_stmt* stmt = m_insert->stmt.get();
    // Texts and the picture stay alive until the row is written, so SQLite need not copy them.
    const QByteArray texts[5] = {q.vopros.toUtf8(), q.otvet[0].toUtf8(), q.otvet[1].toUtf8(),
                                 q.otvet[2].toUtf8(), q.otvet[3].toUtf8()};
    bindVariant(stmt, 1, q.name);
    for (int i = 0; i < 5; ++i)
        sqlite3_bind_text(stmt, 2 + i, texts[i].constData(), int(texts[i].size()), SQLITE_STATIC);
    bindVariant(stmt, 7, q.prOtvet);
    if (q.graph.isEmpty())
        sqlite3_bind_null(stmt, 8);
    else
        sqlite3_bind_blob(stmt, 8, q.graph.constData(), int(q.graph.size()), SQLITE_STATIC);
    // Nothing may be left pointing at the texts above, whether the row is written or not.
    const auto unbind = qScopeGuard([stmt] { sqlite3_clear_bindings(stmt); });
    try {
        m_insert->stmt.step();
        m_insert->stmt.reset();
    } catch (const Error& e) {
        m_file.fail(e.message());
    }
}

void Writer::commit() {
    delete m_insert;
    m_insert = nullptr;
    try {
        sqlite::exec(m_file.handle(), QStringLiteral("COMMIT"));
    } catch (const Error& e) {
        m_file.fail(e.message());
    }
    m_file.place();
}

void create(const QString& path) {
    Writer writer(path);
    writer.commit();
}

} // namespace bankfile
