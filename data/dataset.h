#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

class DataLink;

// A field's text taken while its record is current, made into characters only when it is
// wanted: of the records a handler moves through, a control shows the last one's alone.
class FieldText {
public:
    FieldText() = default;
    explicit FieldText(const QString& text) : m_text(text) {}
    // The UTF-8 bytes [from, from + size) of `buffer`, which no one may change meanwhile.
    FieldText(const QByteArray& buffer, qsizetype from, qsizetype size)
        : m_buffer(buffer), m_from(from), m_size(size), m_utf8(true) {}
    QString toString() const {
        return m_utf8 ? QString::fromUtf8(m_buffer.constData() + m_from, m_size) : m_text;
    }

private:
    QString m_text;
    QByteArray m_buffer;
    qsizetype m_from = 0;
    qsizetype m_size = 0;
    bool m_utf8 = false;
};

// A dataset as the data-aware controls see it: a table opened on a connection, one current
// record, and the editing states of a record editor. Bound controls are told of changes
// through plain calls (DataLink), never Qt signals, so that an error raised while a record
// becomes current (a field not found, an invalid picture) reaches the caller of the move.
class Dataset {
public:
    enum class State { Inactive, Browse, Edit, Insert };

    virtual ~Dataset() = default;

    virtual void open() = 0;  // first record current; every bound field looked up
    virtual void close() = 0; // closing a closed dataset does nothing
    virtual bool active() const = 0;
    virtual State state() const = 0;

    virtual bool eof() const = 0; // end of table: past the last record, or empty
    virtual bool bof() const = 0; // at the first record, or empty
    virtual bool isEmpty() const = 0;
    virtual int recordCount() const = 0;
    virtual int recNo() const = 0;        // 1-based; 0 with no current record
    virtual void setRecNo(int recNo) = 0; // the current record again changes nothing
    virtual void first() = 0;
    virtual void prior() = 0;
    virtual void next() = 0;
    virtual void last() = 0;

    virtual bool hasField(const QString& name) const = 0;
    virtual QStringList fieldNames() const = 0;
    // Text form of a field of the current record: numbers in shortest form, NULL as empty.
    virtual QString fieldText(const QString& name) const = 0;
    // The same text, taken now (a failure is thrown now) and made into characters later.
    virtual FieldText fieldTextLater(const QString& name) const {
        return FieldText(fieldText(name));
    }
    virtual QByteArray fieldBytes(const QString& name) const = 0; // empty when NULL/empty
    // The size of fieldBytes(), and its first bytes: a dataset that reads large values only
    // when asked answers these without reading the whole value.
    virtual qint64 fieldSize(const QString& name) const { return fieldBytes(name).size(); }
    virtual QByteArray fieldHead(const QString& name, qint64 maxBytes) const {
        return fieldBytes(name).left(maxBytes);
    }
    // A field whose stored type takes numbers only: an edit bound to it refuses letters.
    virtual bool fieldIsNumeric(const QString& name) const = 0;

    // Editing, driven by the question editor's controls and navigator.
    virtual bool canModify() const = 0;
    virtual void insert() = 0;
    virtual void edit() = 0;
    virtual void post() = 0;
    virtual void cancel() = 0;
    virtual void remove() = 0; // deletes the current record
    virtual void refresh() = 0;
    // Before the table is left (a move, an insert, a refresh, closing it): a changed record
    // is written, an untouched one (a new record included) is dropped. A refused write
    // throws and leaves the record being edited.
    virtual void checkBrowseMode();
    virtual bool modified() const = 0;
    virtual void setFieldText(const QString& name, const QString& text) = 0;
    virtual void setFieldBytes(const QString& name, const QByteArray& bytes) = 0;
    // Browse state: starts editing the current record (an empty table gets an insert).
    // Edit or insert state: nothing to do.
    void ensureEditing() {
        if (state() == State::Browse) {
            if (isEmpty())
                insert();
            else
                edit();
        }
    }

    // Data links (the data source) attached to this dataset.
    void attach(DataLink* link) { m_links.append(link); }
    void detach(DataLink* link) { m_links.removeAll(link); }

protected:
    const QVector<DataLink*>& links() const { return m_links; }

private:
    QVector<DataLink*> m_links;
};

// What a dataset tells whoever is linked to it. Every call may throw Error.
class DataLink {
public:
    virtual ~DataLink() = default;
    virtual void datasetOpened() = 0; // look up bound fields; throws on a missing one
    virtual void datasetClosed() = 0;
    virtual void recordChanged() = 0; // another record is current, or it was re-read
    virtual void stateChanged() = 0;  // browse / edit / insert
    // Before a post: controls hand their pending changes to the record.
    virtual void updateRecord() = 0;
    // A field of the record being edited got a new value (other controls on it follow).
    virtual void fieldChanged(const QString& /*name*/) {}
};

inline void Dataset::checkBrowseMode() {
    if (state() != State::Edit && state() != State::Insert)
        return;
    for (DataLink* link : QVector<DataLink*>(m_links))
        link->updateRecord(); // the controls hand over what was typed
    if (modified())
        post();
    else
        cancel();
}
