// Editing the records of the question table: the question editor's controls and navigator.
#include "adoconnection.h"
#include "adotable.h"
#include "error.h"
#include "numbers.h"

#include <algorithm>
#include <cmath>
#include <sqlite3.h>

namespace {

// A number typed into a numeric field, as the field stores it.
QVariant numberValue(const QString& text) {
    if (text.trimmed().isEmpty())
        return QVariant();
    const double value = numbers::strToFloat(text);
    if (value == std::floor(value) && std::fabs(value) < 9.0e15)
        return QVariant(qint64(value));
    return QVariant(value);
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
    m_changed[field] = true;
    for (DataLink* link : QVector<DataLink*>(links()))
        link->fieldChanged(m_reader.names()[field]);
}

void ADOTable::setFieldText(const QString& name, const QString& text) {
    requireEditing();
    const int field = requireField(name);
    setValue(field, m_reader.numeric()[field] ? numberValue(text) : QVariant(text));
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
    else
        sql = QStringLiteral("UPDATE kontrol SET %1 = ? WHERE %2 = ?")
                  .arg(names.join(QLatin1String(" = ?, ")), m_reader.rowid());
    sqlite3* db = m_connection->handle();
    try {
        sqlite::Statement stmt(db, sql);
        for (int i = 0; i < values.size(); ++i)
            sqlite::bind(stmt.get(), i + 1, values[i]);
        if (!inserting)
            sqlite3_bind_int64(stmt.get(), int(values.size()) + 1, m_rowids[size_t(m_index)]);
        stmt.step();
    } catch (const DatabaseError& e) {
        throw DatabaseError(QStringLiteral("Не удаётся записать вопрос в банк вопросов «%1»: %2")
                                .arg(bankName(), e.message()));
    }
    // A statement can succeed and write nothing: a table declared ON CONFLICT IGNORE, or a
    // trigger that says RAISE(IGNORE). Then the record stays being edited, as for an error.
    if (sqlite3_changes(db) == 1) {
        if (inserting)
            placeWritten(sqlite3_last_insert_rowid(db));
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

// A new record, once written, takes its place in the order the table delivers (records in
// the order they were added, so at the end) and stays current: what the editor shows is then
// what the test window and a re-read will show.
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
    if (sqlite3_changes(m_connection->handle()) == 0 && rowExists(m_rowids[size_t(m_index)]))
        throw DatabaseError(QStringLiteral("Банк вопросов «%1» не дал удалить вопрос: триггер "
                                           "таблицы kontrol отбросил удаление")
                                .arg(bankName()));
    m_rowids.erase(m_rowids.begin() + m_index);
    m_index = qMin(m_index, recordCount() - 1);
    m_eof = false;
    fetchCurrent();
    notify(&DataLink::recordChanged);
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
