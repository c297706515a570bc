// Old-format (Jet) banks read through the reader process: every fixture against its sidecar,
// Jet 3 texts from the file's code page, pictures wrapped by Access, the stream's checks.
#include "adoconnection.h"
#include "adotable.h"
#include "error.h"
#include "jet_seams.h"
#include "jetbank.h"
#include "jetfixture.h"
#include "jetstream.h"
#include "jetstream_format.h"
#include "oleobject.h"

#include <QFileInfo>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

using namespace jetfixture;

namespace {

// The bytes of a small stream, built by hand.
struct Stream {
    QByteArray data{jetstream::magic, sizeof jetstream::magic};
    Stream& byte(int value) {
        data.append(char(value));
        return *this;
    }
    Stream& u32(quint32 value) {
        for (int i = 0; i < 4; ++i)
            data.append(char((value >> (8 * i)) & 0xff));
        return *this;
    }
    Stream& text(const QByteArray& value) {
        u32(quint32(value.size()));
        data.append(value);
        return *this;
    }
};

// A whole table read through the reader, as the small fixtures allow.
struct WholeTable : jetbank::Columns {
    QVector<QVector<QVariant>> rows;
};
WholeTable readWhole(const QString& file, const QString& name = QStringLiteral("kontrol")) {
    WholeTable table;
    jetbank::readTable(
        file, name, [&](const jetbank::Columns& c) { static_cast<jetbank::Columns&>(table) = c; },
        [&](QVector<QVariant>& row) { table.rows << row; });
    return table;
}

QByteArray validStream() {
    Stream s;
    s.byte('F').byte(4).u32(1252).byte('C').u32(2);
    s.byte(jetstream::kindInteger).text("Name").byte(jetstream::kindText).text("Vopros");
    s.byte('R').byte(1).text("7").byte(1).text("Вопрос");
    s.byte('R').byte(0).byte(1).text("");
    s.byte('E').u32(2);
    return s.data;
}

// An OLE object as Access stores a picture from Paint: its header, then OLE 1 embedding.
QByteArray oleWrapped(const QByteArray& native) {
    QByteArray out;
    auto u16 = [&](quint16 v) { out.append(char(v & 0xff)).append(char(v >> 8)); };
    auto u32 = [&](quint32 v) {
        for (int i = 0; i < 4; ++i)
            out.append(char((v >> (8 * i)) & 0xff));
    };
    auto string = [&](const QByteArray& s) {
        u32(quint32(s.size() + 1));
        out.append(s).append('\0');
    };
    const QByteArray name("Bitmap Image\0", 13), cls("Paint.Picture\0", 14);
    u16(0x1c15);
    u16(quint16(20 + name.size() + cls.size()));
    u32(2);
    u16(quint16(name.size()));
    u16(quint16(cls.size()));
    u16(20);
    u16(quint16(20 + name.size()));
    u32(0xffffffff);
    out.append(name).append(cls);
    u32(0x0501);
    u32(2);
    string("PBrush");
    string("");
    string("");
    u32(quint32(native.size()));
    out.append(native);
    out.append(QByteArray(16, '\x55')); // the presentation and Access's trailer follow
    return out;
}

void compareRecord(ADOTable& table, const QJsonObject& expected, const QStringList& names) {
    const int n = table.recNo();
    for (const QString& name : names) {
        const QJsonValue value = expected.value(name);
        const QString where = QStringLiteral("record %1, %2").arg(n).arg(name);
        if (name == QLatin1String("Graph")) {
            const QByteArray bytes = table.fieldBytes(name);
            if (value.isNull()) {
                QVERIFY2(bytes.isEmpty(), qPrintable(where));
                continue;
            }
            const QJsonObject picture = value.toObject();
            QCOMPARE(bytes.size(), picture.value(QStringLiteral("length")).toInt());
            QCOMPARE(sha256(bytes), picture.value(QStringLiteral("sha256")).toString());
        } else if (value.isDouble()) {
            QCOMPARE(table.fieldText(name), QString::number(value.toInteger()));
        } else {
            QVERIFY2(table.fieldText(name) == value.toString(), qPrintable(where));
        }
    }
}

} // namespace

class TestJetRead : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(!jetbank::readerProgram().isEmpty(), "no reader program"); }

    void fixturesThroughTheEngine_data() {
        QTest::addColumn<QString>("name");
        for (const char* name : {"bank5_jet4", "empty_jet4", "missingfield_jet4", "bigbank_jet4"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void fixturesThroughTheEngine() {
        QFETCH(QString, name);
        const QJsonObject side = sidecar(name);
        const QString file = path(name + QStringLiteral(".mdb"));
        const QByteArray before = bytes(file);
        const QDateTime modified = QFileInfo(file).lastModified();
        QCOMPARE(jetbank::jetVersion(file), 4);

        ADOConnection connection;
        connection.setConnectionString(file);
        connection.open();
        QVERIFY(connection.legacyFormat());
        QVERIFY(connection.readOnly());
        ADOTable table(&connection);
        table.open();
        QVERIFY(table.legacyFormat());
        QVERIFY(table.isReadOnly());
        QVERIFY(!table.canModify());
        const QStringList names = columnNames(side);
        QCOMPARE(table.fieldNames(), names);
        const QJsonArray records = side.value(QStringLiteral("records")).toArray();
        QCOMPARE(table.recordCount(), side.value(QStringLiteral("record_count")).toInt());
        QCOMPARE(table.recordCount(), int(records.size()));
        for (int i = 0; i < records.size(); ++i) {
            if (i > 0)
                table.next();
            QCOMPARE(table.recNo(), i + 1);
            compareRecord(table, records[i].toObject(), names);
            if (QTest::currentTestFailed())
                return;
        }
        table.next();
        QVERIFY(table.eof());
        QVERIFY_THROWS_EXCEPTION(DatabaseError, table.edit());
        connection.close();
        QVERIFY(!connection.legacyFormat());
        QCOMPARE(bytes(file), before); // never written
        QCOMPARE(QFileInfo(file).lastModified(), modified);
    }

    void tableOtherThanKontrolReadsByName() {
        const QJsonObject side = sidecar(QStringLiteral("nokontrol_jet4"));
        const QString file = path(QStringLiteral("nokontrol_jet4.mdb"));
        QVERIFY(!readWhole(file).found);
        const auto table = readWhole(file, side.value(QStringLiteral("table")).toString());
        QVERIFY(table.found);
        QCOMPARE(table.names, columnNames(side));
        const QJsonArray records = side.value(QStringLiteral("records")).toArray();
        QCOMPARE(table.rows.size(), records.size());
        const QJsonObject first = records[0].toObject();
        QCOMPARE(table.rows[0][0].toLongLong(), first.value(QStringLiteral("Name")).toInteger());
        for (int i = 1; i < 7; ++i)
            QCOMPARE(table.rows[0][i].toString(), first.value(table.names[i]).toString());
        QVERIFY(!table.rows[0][7].isValid()); // Graph NULL
    }

    // The same table in Jet 3 (code page texts) and Jet 4 (Unicode) reads the same.
    void jet3MemoTextsMatchTheirJet4Copy() {
        const auto jet3 =
            readWhole(path(QStringLiteral("test2V1997.mdb")), QStringLiteral("MSP_PROJECTS"));
        const auto jet4 =
            readWhole(path(QStringLiteral("test2V2000.mdb")), QStringLiteral("MSP_PROJECTS"));
        QCOMPARE(jet3.version, 3);
        QCOMPARE(jet4.version, 4);
        QCOMPARE(jet3.names.size(), 74);
        QCOMPARE(jet3.names, jet4.names);
        QCOMPARE(jet3.rows.size(), 1);
        QCOMPARE(jet4.rows.size(), 1);
        int texts = 0;
        for (int i = 0; i < jet3.names.size(); ++i) {
            if (jet3.kinds[i] != jetstream::kindText)
                continue;
            QCOMPARE(jet3.rows[0][i], jet4.rows[0][i]);
            texts += jet3.rows[0][i].isValid();
        }
        QVERIFY(texts >= 5);
        const int author = int(jet3.names.indexOf(QStringLiteral("PROJ_PROP_AUTHOR")));
        QVERIFY(jet3.rows[0][author].toString().startsWith(QStringLiteral("Jon Iles this is a")));
        const int symbol = int(jet3.names.indexOf(QStringLiteral("PROJ_OPT_CURRENCY_SYMBOL")));
        QCOMPARE(jet3.rows[0][symbol].toString(), QStringLiteral("£")); // 0xA3 in code page 1252
    }

    // A Jet 3 file of code page 1251 (the generic file with its code page and a text
    // changed): the bytes are decoded as Windows-1251.
    void jet3TextsFollowTheFileCodePage() {
        QByteArray data = bytes(path(QStringLiteral("test2V1997.mdb")));
        const QByteArray latin("vawesrasoih");
        const QString russian = QStringLiteral("Привет, мир");
        QStringEncoder cp1251("windows-1251");
        const QByteArray encoded = cp1251(russian);
        QCOMPARE(encoded.size(), latin.size());
        QCOMPARE(data.count(latin), 1);
        data.replace(latin, encoded);
        data[0x3c] =
            char(data[0x3c] ^ (0xe4 ^ 0xe3)); // code page 1252 -> 1251 (header is XOR-masked)
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("ru97.mdb"));
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(data);
        out.close();
        const auto table = readWhole(file, QStringLiteral("MSP_PROJECTS"));
        const int author = int(table.names.indexOf(QStringLiteral("PROJ_PROP_AUTHOR")));
        QVERIFY(table.rows[0][author].toString().startsWith(
            QStringLiteral("Jon Iles this is a a Привет, мир aksdkl")));
        const int symbol = int(table.names.indexOf(QStringLiteral("PROJ_OPT_CURRENCY_SYMBOL")));
        QCOMPARE(table.rows[0][symbol].toString(), QStringLiteral("Ј")); // 0xA3 in 1251
    }

    void otherFilesAreNoJetFiles() {
        QTemporaryDir dir;
        QCOMPARE(jetbank::jetVersion(dir.filePath(QStringLiteral("missing.mdb"))), 0);
        QByteArray data = bytes(path(QStringLiteral("bank5_jet4.mdb")));
        data[0x14] = 2; // an Access 2007 version byte
        const QString file = dir.filePath(QStringLiteral("ace.mdb"));
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(data.left(4096));
        out.close();
        QCOMPARE(jetbank::jetVersion(file), 0);
    }

    void oleWrappedBitmapIsTakenOut() {
        QByteArray bmp("BM");
        bmp.append(QByteArray(60, '\x07'));
        const QByteArray wrapped = oleWrapped(bmp);
        QVERIFY(oleobject::isOleObject(wrapped));
        QCOMPARE(oleobject::embeddedBitmap(wrapped), bmp);
        // Anything else stays as it is: the picture rules then refuse it.
        QVERIFY(oleobject::embeddedBitmap(oleWrapped(QByteArray(60, 'x'))).isNull());
        QVERIFY(oleobject::embeddedBitmap(bmp).isNull());
        for (int cut = 0; cut < wrapped.size() - 16; ++cut)
            QVERIFY(oleobject::embeddedBitmap(wrapped.left(cut)).isNull());

        const auto jet3 =
            readWhole(path(QStringLiteral("test2V1997.mdb")), QStringLiteral("MSP_PROJECTS"));
        const int blob = int(jet3.names.indexOf(QStringLiteral("RESERVED_BINARY_DATA")));
        const QByteArray word = jet3.rows[0][blob].toByteArray();
        QCOMPARE(word.size(), 22970); // a page-spanning value read whole
        QVERIFY(oleobject::isOleObject(word));
        QVERIFY(oleobject::embeddedBitmap(word).isNull()); // a Word document, no picture
    }

    // A copy broken off anywhere never opens as a shorter bank: its records or their texts and
    // pictures lie past the end.
    void cutCopiesNeverOpen_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint64>("size");
        const qint64 small = QFileInfo(path(QStringLiteral("bank5_jet4.mdb"))).size();
        for (qint64 size = 4096; size < small; size += 4096) {
            QTest::addRow("bank5 %lld", size) << QStringLiteral("bank5_jet4.mdb") << size;
            QTest::addRow("bank5 %lld", size - 100)
                << QStringLiteral("bank5_jet4.mdb") << size - 100;
        }
        const qint64 big = QFileInfo(path(QStringLiteral("bigbank_jet4.mdb"))).size();
        for (qint64 size : {qint64(1) << 20, qint64(2) << 20, big - 3 * 4096, big - 4096, big - 1})
            QTest::addRow("bigbank %lld", size) << QStringLiteral("bigbank_jet4.mdb") << size;
    }
    void cutCopiesNeverOpen() {
        QFETCH(QString, name);
        QFETCH(qint64, size);
        QTemporaryDir dir;
        const QString file = dir.filePath(name);
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(bytes(path(name)).left(size));
        out.close();
        ADOConnection connection;
        connection.setConnectionString(file);
        try {
            connection.open();
            QFAIL("a cut copy opened");
        } catch (const DatabaseError& e) {
            QVERIFY2(
                e.message().startsWith(
                    QStringLiteral("Не удалось прочитать банк старого формата «%1»: ").arg(file)),
                qPrintable(e.message()));
            if (size == qint64(1) << 20)
                QVERIFY2(e.message().endsWith(QStringLiteral(
                             "файл обрезан: таблица продолжается за его концом (файл скопирован "
                             "не полностью?)")),
                         qPrintable(e.message()));
        }
    }

    // A reader that crashes, hangs, babbles or fails gives a message naming the file.
    void readerFailuresBecomeMessages_data() {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QString>("reason");
        QTest::newRow("crash") << QByteArray("kill -SEGV $$")
                               << QStringLiteral("программа чтения аварийно завершилась");
        QTest::newRow("hang") << QByteArray("exec sleep 30")
                              << QStringLiteral("чтение не закончилось за 0.3 с");
        QTest::newRow("garbage") << QByteArray("printf 'KVJET1 garbage'")
                                 << QStringLiteral("поток данных программы чтения искажён");
        QTest::newRow("cut short") << QByteArray("printf 'KVJET1\\n\\0F\\4'")
                                   << QStringLiteral("поток данных программы чтения искажён");
        QTest::newRow("exit code")
            << QByteArray("exit 3") << QStringLiteral("программа чтения завершилась с кодом 3");
        QTest::newRow("limits") << QByteArray("echo $(ulimit -v) $(ulimit -t) $(ulimit -c) >&2; "
                                              "[ \"$(ulimit -v) $(ulimit -t) $(ulimit -c)\" = "
                                              "'524288 10 0' ] && exit 5; exit 6")
                                << QStringLiteral("программа чтения завершилась с кодом 5");
    }
    void readerFailuresBecomeMessages() {
        QFETCH(QByteArray, script);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString program = dir.filePath(QStringLiteral("reader.sh"));
        QFile out(program);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("#!/bin/sh\n" + script + "\n");
        out.close();
        out.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        jetbank::setReader(program, 300);
        const QString file = path(QStringLiteral("bank5_jet4.mdb"));
        ADOConnection connection;
        connection.setConnectionString(file);
        QString message;
        try {
            connection.open();
        } catch (const DatabaseError& e) {
            message = e.message();
        }
        jetbank::setReader(QString(), 0);
        QVERIFY(!connection.connected());
        QVERIFY2(
            message.startsWith(QStringLiteral("Не удалось прочитать банк старого формата «%1»: %2")
                                   .arg(file, reason)),
            qPrintable(message));
    }

    // The stream is read as the reader writes it, in pieces of any size.
    void streamReadsTheSameInPiecesOfAnySize() {
        const QByteArray good = validStream();
        const jetstream::Table whole = jetstream::parse(good);
        for (qsizetype piece : {1, 2, 3, 7, 64}) {
            jetstream::Parser parser;
            jetstream::Header header;
            QVector<QVector<QByteArray>> rows;
            parser.onHeader = [&](const jetstream::Header& h) { header = h; };
            parser.onRow = [&](QVector<QByteArray>& row) { rows << row; };
            for (qsizetype at = 0; at < good.size(); at += piece)
                parser.feed(QByteArrayView(good).sliced(at, qMin(piece, good.size() - at)));
            parser.finish();
            QCOMPARE(header.names, whole.names);
            QCOMPARE(rows, whole.rows);
        }
        // A record longer than any the program takes is refused by its length, before it comes.
        Stream huge;
        huge.byte('F').byte(4).u32(1252).byte('C').u32(1).byte(jetstream::kindBinary).text("G");
        huge.byte('R').byte(1).u32(quint32(jetstream::maxRecordBytes));
        jetstream::Parser parser;
        QVERIFY_THROWS_EXCEPTION(jetstream::StreamError, parser.feed(huge.data));
    }

    void streamIsCheckedByteForByte() {
        const QByteArray good = validStream();
        const auto table = jetstream::parse(good);
        QVERIFY(table.found);
        QCOMPARE(table.names, (QStringList{QStringLiteral("Name"), QStringLiteral("Vopros")}));
        QCOMPARE(table.rows.size(), 2);
        QCOMPARE(QString::fromUtf8(table.rows[0][1]), QStringLiteral("Вопрос"));
        QVERIFY(table.rows[1][0].isNull());
        QVERIFY(!table.rows[1][1].isNull());
        for (int cut = 0; cut < good.size(); ++cut)
            QVERIFY_THROWS_EXCEPTION(Error, jetstream::parse(good.left(cut)));
        QVERIFY_THROWS_EXCEPTION(Error, jetstream::parse(good + "x"));
        QByteArray wrongCount = good;
        wrongCount[wrongCount.size() - 4] = 3;
        QVERIFY_THROWS_EXCEPTION(Error, jetstream::parse(wrongCount));
        QByteArray badLength = good;
        badLength[badLength.indexOf("Name") - 1] = '\x7f';
        QVERIFY_THROWS_EXCEPTION(Error, jetstream::parse(badLength));
        Stream failed;
        failed.byte('F').byte(4).u32(1252).byte('X').text("не удаётся прочитать");
        try {
            jetstream::parse(failed.data);
            QFAIL("no error");
        } catch (const Error& e) {
            QCOMPARE(e.message(), QStringLiteral("не удаётся прочитать"));
        }
    }
};

QTEST_GUILESS_MAIN(TestJetRead)
#include "test_jet_read.moc"
