// Editing the records of the question table: the question editor's controls and navigator.
#include "adoconnection.h"
#include "adotable.h"
#include "error.h"
#include "numbers.h"

#include <algorithm>
#include <sqlite3.h>

namespace {

// The largest whole number a double holds exactly, with all below it.
constexpr qint64 exactInDouble = qint64(1) << 53;

// A number typed into a numeric field, as the field stores it. A whole number is stored as
// one, exactly; one the field could not hold exactly is refused, never silently changed.
QVariant numberValue(const QString& text, const QString& field, bool real) {
    if (text.trimmed().isEmpty())
        return QVariant();
    qint64 whole = 0;
    const numbers::Whole kind = numbers::readWhole(text, &whole);
    if (kind == numbers::Whole::No)
        return QVariant(numbers::strToFloat(text));
    const QString limit =
        real ? QStringLiteral("9007199254740992") : QStringLiteral("9223372036854775807");
    if (kind == numbers::Whole::TooLarge ||
        (real && (whole > exactInDouble || whole < -exactInDouble)))
        throw DatabaseError(QStringLiteral("Число «%1» слишком велико для поля %2: оно "
                                           "сохранилось бы неточно. Целое число в этом поле — "
                                           "не больше %3 по модулю")
                                .arg(text.trimmed(), field, limit));
    return QVariant(whole);
}

} // namespace

bool ADOTable::canModify() const {
    return m_active && m_connection && !m_connection->readOnly();
}

bool ADOTable::modified() const {
    return m_state != State::Browse && m_state != State::Inactive && m_changed.contains(true);
}

void ADOTable::requireWritable() const {
    checkActive();
    if (!canModify())
        throw DatabaseError(
            QStringLiteral("Банк вопросов «%1» открыт только для чтения: изменить его нельзя")
                .arg(bankName()));
}

void ADOTable::requireEditing() const {
    checkActive();
    if (m_state != State::Edit && m_state != State::Insert)
        throw DatabaseError(QStringLiteral("Запись не редактируется: сначала начните правку"));
}

// Before a move, an insert, a refresh or closing: a changed record is written, an unchanged
// one (a new record left untouched included) is dropped.
void ADOTable::checkBrowseMode() {
    if (m_state != State::Edit && m_state != State::Insert)
        return;
    notify(&DataLink::updateRecord);
    if (modified())
        post();
    else
        cancel();
}

void ADOTable::insert() {
    requireWritable();
    checkBrowseMode();
    const int at = qMax(m_index, 0);
    m_rowids.insert(m_rowids.begin() + at, 0); // its row id comes with the post
    m_index = at;
    m_state = State::Insert;
    m_eof = false;
    fetchCurrent(); // all fields empty
    notify(&DataLink::stateChanged);
    notify(&DataLink::recordChanged);
}

void ADOTable::edit() {
    checkActive();
    if (m_state != State::Browse)
        return;
    requireWritable();
    if (m_rowids.empty()) {
        insert();
        return;
    }
    m_state = State::Edit;
    notify(&DataLink::stateChanged);
}

void ADOTable::setValue(int field, const QVariant& value) {
    m_row.values[field] = value;
    m_row.largeSizes[field] = -1;
    m_row.textAt[field] = -1;
    m_changed[field] = true;
    for (DataLink* link : QVector<DataLink*>(links()))
        link->fieldChanged(m_reader.names()[field]);
}

void ADOTable::setFieldText(const QString& name, const QString& text) {
    requireEditing();
    const int field = requireField(name);
    setValue(field, m_reader.numeric()[field]
                        ? numberValue(text, m_reader.names()[field], m_reader.real()[field])
                        : QVariant(text));
}

void ADOTable::setFieldBytes(const QString& name, const QByteArray& bytes) {
    requireEditing();
    const int field = requireField(name);
    setValue(field, bytes.isEmpty() ? QVariant() : QVariant(bytes)); // emptied: cleared
}

void ADOTable::post() {
    checkActive();
    if (m_state != State::Edit && m_state != State::Insert)
        return;
    notify(&DataLink::updateRecord); // controls hand over what was typed
    writeRecord();                   // a refused write leaves the record being edited, changes kept
    m_state = State::Browse;
    fetchCurrent(); // as stored
    notify(&DataLink::stateChanged);
    notify(&DataLink::recordChanged);
}

void ADOTable::writeRecord() {
    requireWritable();
    endRead(); // the write is a transaction of its own, on the file as it is now
    QStringList names;
    QVector<QVariant> values;
    for (int i = 0; i < m_changed.size(); ++i)
        if (m_changed[i]) {
            names << sqlite::quoted(m_reader.names()[i]);
            values << m_row.values[i];
        }
    const bool inserting = m_state == State::Insert;
    if (!inserting && (names.isEmpty()))
        return;
    if (!inserting && m_row.missing)
        throw DatabaseError(QStringLiteral("Запись удалена из банка вопросов «%1» другой "
                                           "программой: изменения не записаны")
                                .arg(bankName()));
    QString sql;
    if (inserting && names.isEmpty())
        sql = QStringLiteral("INSERT INTO kontrol DEFAULT VALUES");
    else if (inserting)
        sql = QStringLiteral("INSERT INTO kontrol (%1) VALUES (?%2)")
                  .arg(names.join(QLatin1String(", ")),
                       QStringLiteral(", ?").repeated(names.size() - 1));
    else // a field declared INTEGER PRIMARY KEY is the row id itself: the update may move it
        sql = QStringLiteral("UPDATE kontrol SET %1 = ? WHERE %2 = ? RETURNING %2")
                  .arg(names.join(QLatin1String(" = ?, ")), m_reader.rowid());
    sqlite3* db = m_connection->handle();
    int written = 0;
    qint64 rowid = 0;
    try {
        sqlite::Statement stmt(db, sql);
        for (int i = 0; i < values.size(); ++i)
            sqlite::bind(stmt.get(), i + 1, values[i]);
        if (!inserting)
            sqlite3_bind_int64(stmt.get(), int(values.size()) + 1, m_rowids[size_t(m_index)]);
        while (stmt.step()) {
            rowid = sqlite3_column_int64(stmt.get(), 0);
            ++written;
        }
    } catch (const DatabaseError& e) {
        throw DatabaseError(QStringLiteral("Не удаётся записать вопрос в банк вопросов «%1»: %2")
                                .arg(bankName(), e.message()));
    }
    if (inserting) {
        written = sqlite3_changes(db);
        rowid = sqlite3_last_insert_rowid(db);
    }
    // A statement can succeed and write nothing: a table declared ON CONFLICT IGNORE, or a
    // trigger that says RAISE(IGNORE). Then the record stays being edited, as for an error.
    if (written == 1) {
        if (inserting || rowid != m_rowids[size_t(m_index)])
            placeWritten(rowid);
        return;
    }
    if (!inserting && !rowExists(m_rowids[size_t(m_index)]))
        throw DatabaseError(QStringLiteral("Запись удалена из банка вопросов «%1» другой "
                                           "программой: изменения не записаны")
                                .arg(bankName()));
    throw DatabaseError(QStringLiteral("Банк вопросов «%1» не принял вопрос: таблица kontrol "
                                       "или её триггер отбросили запись, ничего не записано")
                            .arg(bankName()));
}

bool ADOTable::rowExists(qint64 rowid) const {
    sqlite::Statement stmt(
        m_connection->handle(),
        QStringLiteral("SELECT 1 FROM kontrol WHERE %1 = ?").arg(m_reader.rowid()));
    sqlite3_bind_int64(stmt.get(), 1, rowid);
    return stmt.step();
}

// A record written under a new row id (a new record, or one whose INTEGER PRIMARY KEY field
// was changed) takes its place in the order the table delivers (by row id: a new record at the
// end) and stays current: what the editor shows is then what the test window and a re-read
// will show.
void ADOTable::placeWritten(qint64 rowid) {
    m_rowids.erase(m_rowids.begin() + m_index);
    const auto at = std::upper_bound(m_rowids.begin(), m_rowids.end(), rowid);
    m_index = int(at - m_rowids.begin());
    m_rowids.insert(at, rowid);
}

void ADOTable::cancel() {
    checkActive();
    if (m_state != State::Edit && m_state != State::Insert)
        return;
    if (m_state == State::Insert) {
        m_rowids.erase(m_rowids.begin() + m_index);
        m_index = qMin(m_index, recordCount() - 1);
    }
    m_state = State::Browse;
    fetchCurrent();
    notify(&DataLink::stateChanged);
    notify(&DataLink::recordChanged);
}

void ADOTable::remove() {
    checkActive();
    if (m_state == State::Insert) {
        cancel();
        return;
    }
    cancel();
    if (m_rowids.empty())
        throw DatabaseError(QStringLiteral("В таблице kontrol нет записей: удалять нечего"));
    requireWritable();
    endRead();
    try {
        sqlite::Statement stmt(
            m_connection->handle(),
            QStringLiteral("DELETE FROM kontrol WHERE %1 = ?").arg(m_reader.rowid()));
        sqlite3_bind_int64(stmt.get(), 1, m_rowids[size_t(m_index)]);
        stmt.step();
    } catch (const DatabaseError& e) {
        throw DatabaseError(QStringLiteral("Не удаётся удалить вопрос из банка вопросов «%1»: %2")
                                .arg(bankName(), e.message()));
    }
    const bool deleted = sqlite3_changes(m_connection->handle()) == 1;
    if (!deleted && rowExists(m_rowids[size_t(m_index)]))
        throw DatabaseError(QStringLiteral("Банк вопросов «%1» не дал удалить вопрос: триггер "
                                           "таблицы kontrol отбросил удаление")
                                .arg(bankName()));
    m_rowids.erase(m_rowids.begin() + m_index);
    m_index = qMin(m_index, recordCount() - 1);
    m_eof = false;
    fetchCurrent();
    notify(&DataLink::recordChanged);
    // Gone before we got to it: the record leaves the list, but the user is told that this
    // delete removed nothing.
    if (!deleted)
        throw DatabaseError(QStringLiteral("Запись уже была удалена из банка вопросов «%1» "
                                           "другой программой: удалять было нечего")
                                .arg(bankName()));
}

void ADOTable::refresh() {
    checkActive();
    checkBrowseMode();
    const qint64 current = m_index >= 0 ? m_rowids[size_t(m_index)] : 0;
    endRead(); // read what other programs wrote meanwhile
    loadRowids();
    const auto found = std::lower_bound(m_rowids.begin(), m_rowids.end(), current);
    if (m_index >= 0 && found != m_rowids.end() && *found == current)
        m_index = int(found - m_rowids.begin());
    else
        m_index = m_rowids.empty() ? -1 : qBound(0, m_index, recordCount() - 1);
    m_eof = false;
    fetchCurrent();
    notify(&DataLink::recordChanged);
}
