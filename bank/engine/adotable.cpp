#include "adotable.h"

#include "adoconnection.h"
#include "error.h"
#include "numbers.h"

#include <sqlite3.h>

ADOTable::ADOTable(ADOConnection* connection, QObject* parent)
    : QObject(parent), m_connection(connection) {
    setObjectName(QStringLiteral("ADOTableControl"));
    if (m_connection)
        m_connection->attachTable(this);
}

ADOTable::~ADOTable() {
    m_reader.clear();
    if (m_connection)
        m_connection->detachTable(this);
}

bool ADOTable::legacyFormat() const {
    return m_active && m_connection && m_connection->legacyFormat();
}

QString ADOTable::bankName() const {
    return m_connection ? m_connection->fileName() : QString();
}

void ADOTable::readFailed(const DatabaseError& cause) const {
    const QString message = QStringLiteral("Не удаётся прочитать запись %1 банка вопросов «%2»: %3")
                                .arg(QString::number(m_index + 1), bankName(), cause.message());
    const int code = sqlite3_extended_errcode(m_connection->handle()) & 0xff;
    if (code == SQLITE_BUSY || code == SQLITE_LOCKED)
        throw BankLockedError(message);
    throw DatabaseError(message);
}

void ADOTable::notify(void (DataLink::*call)()) {
    for (DataLink* link : QVector<DataLink*>(links()))
        (link->*call)();
}

void ADOTable::open() {
    if (m_active)
        return;
    if (!m_connection || !m_connection->connected())
        throw DatabaseError(
            QStringLiteral("Банк вопросов не подключён: таблицу kontrol открыть нельзя"));
    try {
        requireTable();
        try {
            m_reader.prepare(m_connection->handle());
        } catch (const DatabaseError& e) {
            throw DatabaseError(QStringLiteral("Таблица kontrol банка вопросов «%1» не годится: %2")
                                    .arg(bankName(), e.message()));
        }
        loadRowids();
        m_active = true;
        m_state = State::Browse;
        m_index = m_rowids.empty() ? -1 : 0;
        m_eof = false;
        fetchCurrent();
        notify(&DataLink::datasetOpened); // every bound field looked up
    } catch (...) {
        reset(); // nothing was shown yet
        throw;
    }
    notify(&DataLink::stateChanged);
    notify(&DataLink::recordChanged); // a refused picture fails here, the table stays open
}

void ADOTable::close() {
    if (!m_active)
        return;
    endRead();
    reset(); // changes not yet posted are dropped
    notify(&DataLink::datasetClosed);
}

void ADOTable::reset() {
    m_active = false;
    m_state = State::Inactive;
    m_rowids.clear();
    m_index = -1;
    m_eof = false;
    m_reader.clear();
    m_row = RecordReader::Row();
    m_spareRow = RecordReader::Row();
    m_changed.clear();
}

void ADOTable::connectionGone() {
    m_reading = false; // the connection ends its transaction itself
    reset();
    m_connection = nullptr;
}

void ADOTable::requireTable() {
    sqlite::Statement table(m_connection->handle(),
                            QStringLiteral("SELECT 1 FROM sqlite_master WHERE type IN "
                                           "('table', 'view') AND name = 'kontrol' "
                                           "COLLATE NOCASE"));
    if (!table.step())
        throw DatabaseError(
            QStringLiteral("В банке вопросов «%1» нет таблицы kontrol").arg(bankName()));
}

void ADOTable::loadRowids() {
    sqlite3* db = m_connection->handle();
    try {
        std::vector<qint64> rowids;
        sqlite::Statement ids(
            db, QStringLiteral("SELECT %1 FROM kontrol ORDER BY %1").arg(m_reader.rowid()));
        while (ids.step()) {
            if (sqlite3_column_type(ids.get(), 0) == SQLITE_NULL)
                throw DatabaseError(QStringLiteral("Таблица kontrol банка вопросов «%1» не "
                                                   "годится: у её записей нет номеров")
                                        .arg(bankName()));
            rowids.push_back(sqlite3_column_int64(ids.get(), 0));
        }
        m_rowids.swap(rowids);
    } catch (const DatabaseError& e) {
        if (e.message().contains(bankName()))
            throw;
        throw DatabaseError(QStringLiteral("Не удаётся прочитать таблицу kontrol банка вопросов "
                                           "«%1»: %2")
                                .arg(bankName(), e.message()));
    }
}

void ADOTable::fetchCurrent() {
    const int count = int(m_reader.names().size());
    // Read into the spare row, so that a failed read leaves the current record as it was; the
    // two rows then change places, and their storage serves the next read.
    RecordReader::Row& row = m_spareRow;
    if (m_index >= 0 && m_state != State::Insert) {
        beginRead();
        try {
            m_reader.fetch(m_rowids[size_t(m_index)], row, m_reading);
        } catch (const DatabaseError& e) {
            readFailed(e); // the record read before stays
        }
    } else {
        row.clear(count);
    }
    std::swap(m_row, row);
    // The record before lets go of its values; a large text's buffer goes too.
    row.values.fill(QVariant());
    if (row.texts.capacity() > RecordReader::largeValue)
        row.texts = QByteArray();
    m_changed.fill(false, count);
}

// Each read of its own would lock and check the file anew, which costs more than the read;
// a walk through the table within one handler therefore reads in one transaction, ended as
// soon as the event loop runs (or before any write or re-read).
void ADOTable::beginRead() const {
    sqlite3* db = m_connection->handle();
    if (m_reading || !sqlite3_get_autocommit(db))
        return;
    if (sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
        return; // reading without it is only slower
    m_reading = true;
    auto* self = const_cast<ADOTable*>(this);
    QMetaObject::invokeMethod(
        self, [self] { self->endRead(); }, Qt::QueuedConnection);
}

void ADOTable::endRead() {
    if (!m_reading)
        return;
    m_reading = false;
    m_reader.release();
    if (m_connection && m_connection->handle() && !sqlite3_get_autocommit(m_connection->handle()))
        sqlite3_exec(m_connection->handle(), "COMMIT", nullptr, nullptr, nullptr);
}

void ADOTable::rowChanged(qint64 rowid) {
    if (!m_active || m_state != State::Browse || m_index < 0 || m_rowids[size_t(m_index)] != rowid)
        return;
    fetchCurrent();
    notify(&DataLink::recordChanged);
}

// --- Moving

void ADOTable::moveTo(int index, bool eofAfter) {
    m_eof = eofAfter;
    if (index == m_index)
        return;
    const int from = m_index;
    m_index = index;
    try {
        fetchCurrent();
    } catch (...) {
        m_index = from; // not read: the move did not happen, and may be tried again
        throw;
    }
    notify(&DataLink::recordChanged); // a refused picture fails the move here
}

void ADOTable::checkActive() const {
    if (!m_active)
        throw DatabaseError(QStringLiteral("Таблица kontrol закрыта: действие невозможно"));
}

bool ADOTable::eof() const {
    return !m_active || m_rowids.empty() || m_eof;
}
bool ADOTable::bof() const {
    return !m_active || m_rowids.empty() || m_index == 0;
}

void ADOTable::next() {
    checkActive();
    checkBrowseMode();
    if (m_rowids.empty() || m_index + 1 >= recordCount()) {
        m_eof = true; // past the last record: it stays current
        return;
    }
    moveTo(m_index + 1, false);
}

void ADOTable::prior() {
    checkActive();
    checkBrowseMode();
    m_eof = false;
    if (m_index > 0)
        moveTo(m_index - 1, false);
}

void ADOTable::first() {
    checkActive();
    checkBrowseMode();
    m_eof = false;
    if (!m_rowids.empty())
        moveTo(0, false);
}

void ADOTable::last() {
    checkActive();
    checkBrowseMode();
    if (m_rowids.empty())
        m_eof = true;
    else
        moveTo(recordCount() - 1, true);
}

void ADOTable::setRecNo(int recNo) {
    checkActive();
    if (recNo == m_index + 1)
        return; // the current record again: nothing is re-read or redrawn
    checkBrowseMode();
    if (recNo < 1 || recNo > recordCount())
        throw DatabaseError(QStringLiteral("В таблице kontrol нет записи с номером %1")
                                .arg(QString::number(recNo)));
    moveTo(recNo - 1, false);
}

// --- Reading fields

int ADOTable::fieldIndex(const QString& name) const {
    const QStringList& names = m_reader.names();
    // Controls name their fields as the table does, on every move; names of one length
    // (Otvet1 … Otvet4) differ at their end, which is compared first.
    for (int i = 0; i < names.size(); ++i)
        if (names[i].size() == name.size() && !name.isEmpty() && names[i].back() == name.back() &&
            names[i] == name)
            return i;
    for (int i = 0; i < names.size(); ++i)
        if (names[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

int ADOTable::requireField(const QString& name) const {
    const int index = fieldIndex(name);
    if (index < 0)
        throw DatabaseError(QStringLiteral("Field '%1' not found").arg(name));
    return index;
}

const QVariant& ADOTable::value(const QString& name) const {
    static const QVariant none;
    if (!m_active)
        return none;
    const int index = requireField(name);
    if (index >= m_row.values.size())
        return none;
    if (m_row.textAt[index] >= 0)
        m_row.makeText(index);
    if (m_row.largeSizes[index] >= 0) { // read its bytes now that they are wanted
        beginRead();
        try {
            m_row.values[index] = QVariant(
                m_reader.readLarge(m_rowids[size_t(m_index)], index, m_row.largeSizes[index]));
        } catch (const DatabaseError& e) {
            readFailed(e);
        }
        m_row.largeSizes[index] = -1;
    }
    return m_row.values[index];
}

QString ADOTable::fieldText(const QString& name) const {
    const QVariant& v = value(name);
    switch (v.typeId()) {
    case QMetaType::LongLong:
        return numbers::intToStr(v.toLongLong());
    case QMetaType::Double:
        return numbers::floatToStr(v.toDouble());
    case QMetaType::QString:
        return v.toString();
    case QMetaType::QByteArray:
        return QString::fromUtf8(v.toByteArray());
    default:
        return QString(); // NULL
    }
}

FieldText ADOTable::fieldTextLater(const QString& name) const {
    if (m_active) {
        const int index = requireField(name);
        if (index < m_row.textAt.size() && m_row.textAt[index] >= 0)
            return FieldText(m_row.texts, m_row.textAt[index], m_row.textSize[index]);
    }
    return FieldText(fieldText(name));
}

QByteArray ADOTable::fieldBytes(const QString& name) const {
    const QVariant& v = value(name);
    if (v.typeId() == QMetaType::QByteArray)
        return v.toByteArray();
    return v.isValid() ? fieldText(name).toUtf8() : QByteArray();
}

bool ADOTable::fieldIsNumeric(const QString& name) const {
    const int index = fieldIndex(name);
    return index >= 0 && m_reader.numeric().value(index);
}

qint64 ADOTable::fieldSize(const QString& name) const {
    if (!m_active)
        return 0;
    const int index = requireField(name);
    if (index < m_row.largeSizes.size() && m_row.largeSizes[index] >= 0)
        return m_row.largeSizes[index];
    return fieldBytes(name).size();
}

QByteArray ADOTable::fieldHead(const QString& name, qint64 maxBytes) const {
    if (!m_active)
        return QByteArray();
    const int index = requireField(name);
    if (index < m_row.largeSizes.size() && m_row.largeSizes[index] >= 0) {
        beginRead();
        try {
            return m_reader.readLarge(m_rowids[size_t(m_index)], index,
                                      qMin(maxBytes, m_row.largeSizes[index]));
        } catch (const DatabaseError& e) {
            readFailed(e);
        }
    }
    return fieldBytes(name).left(maxBytes);
}
