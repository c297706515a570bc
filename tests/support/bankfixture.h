#pragma once

#include "bankfile.h"
#include "bitmap.h"
#include "sqlite.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <sqlite3.h>

// Banks made fresh for each test in a temporary folder.
namespace fixture {

inline bankfile::Question question(int n, const QByteArray& graph = QByteArray()) {
    bankfile::Question q;
    q.name = n;
    q.vopros = QStringLiteral("Вопрос %1").arg(n);
    for (int i = 0; i < 4; ++i)
        q.otvet[i] = QStringLiteral("Ответ %1.%2").arg(n).arg(i + 1);
    q.prOtvet = 1 + n % 4;
    q.graph = graph;
    return q;
}

inline QString makeBank(const QTemporaryDir& dir, const QString& name,
                        const QVector<bankfile::Question>& questions) {
    const QString path = dir.filePath(name);
    bankfile::Writer writer(path);
    for (const auto& q : questions)
        writer.add(q);
    writer.commit();
    return path;
}

inline QString makeBank(const QTemporaryDir& dir, const QString& name, int count) {
    QVector<bankfile::Question> questions;
    for (int i = 1; i <= count; ++i)
        questions << question(i);
    return makeBank(dir, name, questions);
}

// A bank whose PrOtvet keeps its texts exactly as typed ("02" stays "02", " +3 " keeps its
// blanks), as banks made by hand in other programs do.
inline QString makeTextBank(const QTemporaryDir& dir, const QString& name,
                            const QVector<bankfile::Question>& questions) {
    const QString path = dir.filePath(name);
    bankfile::Writer writer(path);
    sqlite::exec(writer.handle(),
                 QStringLiteral("DROP TABLE kontrol; CREATE TABLE kontrol (Name INTEGER, Vopros "
                                "TEXT, Otvet1 TEXT, Otvet2 TEXT, Otvet3 TEXT, Otvet4 TEXT, "
                                "PrOtvet TEXT, Graph BLOB)"));
    for (const auto& q : questions)
        writer.add(q);
    writer.commit();
    return path;
}

// Runs SQL on a bank file (creating it), for banks of odd shapes.
inline void sql(const QString& path, const QString& statements) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db,
                    SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    try {
        sqlite::exec(db, statements);
    } catch (...) {
        sqlite3_close_v2(db);
        throw;
    }
    sqlite3_close_v2(db);
}

inline QByteArray readAll(const QString& path) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

// A small picture whose pixels tell where it came from.
inline QImage picture(int w, int h, QRgb colour) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    image.setPixel(0, 0, qRgb(1, 2, 3));
    return image;
}

inline QByteArray withPrefix(const QByteArray& bytes, int lengthAdjust = 0) {
    QByteArray out("\x01\x00\x00\x01", 4);
    const quint32 n = quint32(bytes.size() + lengthAdjust);
    for (int i = 0; i < 4; ++i)
        out.append(char((n >> (8 * i)) & 0xff));
    return out + bytes;
}

} // namespace fixture
