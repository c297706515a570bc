#pragma once

#include "error.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>
#include <QVector>
#include <functional>

// The records of one table of an old-format (Jet) bank, as the reader process streams them
// (reader/jetstream_format.h), before any decoding.
namespace jetstream {

// The stream is malformed, cut short, or reports a failed read; the message says why, in
// Russian.
class StreamError : public Error {
public:
    using Error::Error;
};

struct Header {
    int version = 0;    // 3 or 4
    int codePage = 0;   // the file's code page (Jet 3 texts are in it)
    bool found = false; // false: the file has no such table
    QStringList names;  // the columns, in the table's order
    QVector<int> kinds; // per column: kindInteger, kindText, kindBinary or kindOther
};

// The largest record taken: a picture at the largest size the program shows (128 MB in 32-bit
// colour), wrapped by Access, with the record's texts. A larger one is a runaway reader.
constexpr qsizetype maxRecordBytes = 136 * 1024 * 1024;

class Cursor;

// Reads the stream as it arrives, in pieces of any size, and holds no more of it than the
// record not yet complete: every byte is checked, each record is handed on and let go.
class Parser {
public:
    std::function<void(const Header&)> onHeader;         // once, when the file has opened
    std::function<void(QVector<QByteArray>& row)> onRow; // per record: a null array for NULL

    // Throws StreamError; an error the handlers throw passes unchanged.
    void feed(QByteArrayView bytes);
    // The stream has ended: throws StreamError unless it was complete.
    void finish();

private:
    enum class Stage { Magic, File, Table, Records, Done };
    bool step(Cursor& in);  // one part of the stream: its header, columns or a record
    QByteArray m_buffer;    // what has come of the part not yet read
    qsizetype m_needed = 0; // bytes that part needs before it is tried again
    Stage m_stage = Stage::Magic;
    Header m_header;
    quint32 m_records = 0;
    QVector<QByteArray> m_row; // the record just read, until feed() hands it on
};

struct Table : Header {
    QVector<QVector<QByteArray>> rows;
};

// A whole stream at once (for tests and fuzzing). Throws StreamError.
Table parse(const QByteArray& stream);

} // namespace jetstream
