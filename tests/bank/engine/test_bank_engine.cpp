#include "adoconnection.h"
#include "adotable.h"
#include "bankfixture.h"
#include "error.h"
#include "error_of.h"
#include "formats.h"
#include "ordinary_user.h"

#include <QScopeGuard>
#include <QTest>
#include <memory>
#include <sqlite3.h>

namespace {
// Counts what the table tells its data links.
struct Recorder : DataLink {
    int opened = 0, closed = 0, records = 0, states = 0, updates = 0;
    void datasetOpened() override { ++opened; }
    void datasetClosed() override { ++closed; }
    void recordChanged() override { ++records; }
    void stateChanged() override { ++states; }
    void updateRecord() override { ++updates; }
};

// One program's view of a bank: its own connection and table.
struct Program {
    ADOConnection connection;
    ADOTable table{&connection};
    Recorder links;
    explicit Program(const QString& path) {
        table.attach(&links);
        connection.setConnectionString(path);
        connection.open();
        table.open();
    }
    ~Program() { table.detach(&links); }
    QStringList names() {
        QStringList out;
        for (table.first(); !table.eof(); table.next())
            out << table.fieldText(QStringLiteral("Name"));
        return out;
    }
};

// The handler that moved ends: its read of the file ends with it, and another program may
// write. (Within one handler the moves share one read.)
void handlerEnds() {
    QCoreApplication::processEvents();
}

} // namespace

class TestBankEngine : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    int m_serial = 0;
    QString freshBank(int count) {
        return fixture::makeBank(m_dir, QStringLiteral("b%1.mdb").arg(++m_serial), count);
    }

private slots:
    void walksInStoredOrderAndJumpsByRecordNumber() {
        const QString path = freshBank(0);
        fixture::sql(path, QStringLiteral("INSERT INTO kontrol (rowid, Name) VALUES (40, 4);"
                                          "INSERT INTO kontrol (rowid, Name) VALUES (7, 1);"
                                          "INSERT INTO kontrol (rowid, Name) VALUES (12, 9);"
                                          "INSERT INTO kontrol (rowid, Name) VALUES (30, 2);"
                                          "DELETE FROM kontrol WHERE rowid = 30"));
        Program p(path);
        QCOMPARE(p.table.recNo(), 1);
        QVERIFY(p.table.bof());
        int count = 0;
        for (; !p.table.eof(); p.table.next())
            ++count;
        QCOMPARE(count, 3);
        QCOMPARE(p.table.recNo(), 3); // the last record stays current past the end
        QCOMPARE(p.names(), (QStringList{"1", "9", "4"}));

        p.table.setRecNo(2);
        QCOMPARE(p.table.fieldText(QStringLiteral("name")), QStringLiteral("9"));
        const int shown = p.links.records;
        p.table.setRecNo(2); // the current record again: nothing re-read or redrawn
        QCOMPARE(p.links.records, shown);
        p.table.last();
        QVERIFY(p.table.eof());
        p.table.prior();
        QVERIFY(!p.table.eof());
        QCOMPARE(p.table.recNo(), 2);
        QVERIFY(!errorOf([&] { p.table.setRecNo(4); }).isEmpty());
        p.table.close();
        p.table.close(); // closing a closed table does nothing
        QCOMPARE(p.links.closed, 1);
        QCOMPARE(p.table.recNo(), 0);
    }

    void fieldsReadAsTheirTextForm() {
        const QString path = freshBank(0);
        fixture::sql(path, QStringLiteral("INSERT INTO kontrol (Name, Vopros, PrOtvet, Graph) "
                                          "VALUES (2.0, 'строка 1\r\nстрока 2', 0.5, x'00ff');"
                                          "INSERT INTO kontrol (Name, PrOtvet) VALUES "
                                          "(12345678901, '02')"));
        Program p(path);
        QCOMPARE(p.table.fieldText(QStringLiteral("Name")), QStringLiteral("2"));
        // Numbers read with the system's decimal separator: "0,5" under a Russian locale.
        const QString half = QStringLiteral("0") + formats::settings().decimalSeparator + "5";
        QCOMPARE(p.table.fieldText(QStringLiteral("PrOtvet")), half);
        QCOMPARE(p.table.fieldText(QStringLiteral("Vopros")),
                 QStringLiteral("строка 1\r\nстрока 2"));
        QCOMPARE(p.table.fieldText(QStringLiteral("Otvet1")), QString()); // NULL
        QCOMPARE(p.table.fieldBytes(QStringLiteral("Graph")), QByteArray("\x00\xff", 2));
        QVERIFY(p.table.fieldIsNumeric(QStringLiteral("PrOtvet")));
        QVERIFY(!p.table.fieldIsNumeric(QStringLiteral("Vopros")));
        p.table.next();
        QCOMPARE(p.table.fieldText(QStringLiteral("Name")), QStringLiteral("12345678901"));
        QCOMPARE(p.table.fieldText(QStringLiteral("PrOtvet")), QStringLiteral("2"));
        QVERIFY(p.table.fieldBytes(QStringLiteral("Graph")).isEmpty());
        QCOMPARE(errorOf([&] { p.table.fieldText(QStringLiteral("Nope")); }),
                 QStringLiteral("Field 'Nope' not found"));
    }

    // A walk within one handler (stepping on, texts handed out late) reads what lookups read,
    // rows another program deleted or added meanwhile included.
    void walkReadsWhatLookupsRead() {
        const QString path = freshBank(0);
        fixture::sql(
            path, QStringLiteral("INSERT INTO kontrol (rowid, Name, Vopros, Otvet1, Graph) VALUES "
                                 "(3, 1, 'первый', '', x'00ff'), (5, 2.5, CAST(x'41ff42c3' AS "
                                 "TEXT), NULL, NULL), (9, 3, zeroblob(20000), NULL, "
                                 "zeroblob(20000)), (10, 4, 'удалят', NULL, NULL), (20, 5, "
                                 "'последний', NULL, NULL)"));
        Program p(path);
        Program other(path);
        handlerEnds();
        other.table.setRecNo(4);
        other.table.remove(); // rowid 10, after p counted it
        handlerEnds();
        fixture::sql(path, QStringLiteral("INSERT INTO kontrol (rowid, Name) VALUES (15, 99)"));
        handlerEnds();
        const QString fields[] = {"Name", "Vopros", "Otvet1", "Graph"};
        const QStringList expected[] = {
            {"1", "первый", "", QString::fromUtf8("\x00\xff", 2)},
            {QStringLiteral("2") + formats::settings().decimalSeparator + "5",
             QString::fromUtf8("A\xff"
                               "B\xc3"),
             "", ""},
            {"3", QString(20000, QChar(0)), "", QString(20000, QChar(0))},
            {"", "", "", ""}, // deleted by the other program
            {"5", "последний", "", ""}};
        QList<FieldText> later;
        QStringList walked;
        for (p.table.first(); !p.table.eof(); p.table.next())
            for (const QString& f : fields) {
                walked << p.table.fieldText(f);
                later << p.table.fieldTextLater(f);
            }
        QCOMPARE(p.table.recNo(), 5);
        handlerEnds();
        for (int record = 5; record >= 1; --record) { // and looked up, backwards
            p.table.setRecNo(record);
            QCOMPARE(p.table.currentMissing(), record == 4);
            for (int k = 0; k < 4; ++k) {
                const int at = (record - 1) * 4 + k;
                const QString& want = expected[record - 1][k];
                QCOMPARE(walked[at], want);
                QCOMPARE(later[at].toString(), want);
                QCOMPARE(p.table.fieldText(fields[k]), want);
            }
        }
        QCOMPARE(p.table.fieldBytes(QStringLiteral("Graph")), QByteArray("\x00\xff", 2));
        p.table.setRecNo(3);
        QCOMPARE(p.table.fieldBytes(QStringLiteral("Vopros")), QByteArray(20000, '\0'));
        QCOMPARE(p.table.fieldSize(QStringLiteral("Graph")), qint64(20000));
    }

    void editsReachTheFileAndCancelDropsThem() {
        const QString path = freshBank(3);
        Program p(path);
        p.table.setRecNo(2);
        p.table.edit();
        QCOMPARE(p.table.state(), Dataset::State::Edit);
        QVERIFY(!p.table.modified());
        p.table.setFieldText(QStringLiteral("Vopros"), QStringLiteral("Новый\nтекст"));
        p.table.setFieldText(QStringLiteral("PrOtvet"), QStringLiteral("3"));
        QVERIFY(p.table.modified());
        QCOMPARE(errorOf([&] { p.table.setFieldText(QStringLiteral("PrOtvet"), "три"); }),
                 QStringLiteral("'три' is not a valid floating point value"));
        p.table.post();
        QCOMPARE(p.table.state(), Dataset::State::Browse);
        QVERIFY(p.links.updates > 0); // controls were asked for their changes first

        Program other(path);
        other.table.setRecNo(2);
        QCOMPARE(other.table.fieldText(QStringLiteral("Vopros")), QStringLiteral("Новый\nтекст"));
        QCOMPARE(other.table.fieldText(QStringLiteral("PrOtvet")), QStringLiteral("3"));

        p.table.edit();
        p.table.setFieldText(QStringLiteral("Vopros"), QStringLiteral("брошено"));
        p.table.cancel();
        QCOMPARE(p.table.fieldText(QStringLiteral("Vopros")), QStringLiteral("Новый\nтекст"));
        QCOMPARE(errorOf([&] { p.table.setFieldText(QStringLiteral("Vopros"), "x"); }).isEmpty(),
                 false); // not editing
    }

    void insertDeleteAndMovesThatWriteFirst() {
        const QString path = freshBank(3);
        Program p(path);
        p.table.setRecNo(2);
        p.table.insert(); // at the current position, all fields empty
        QCOMPARE(p.table.recNo(), 2);
        QCOMPARE(p.table.recordCount(), 4);
        QCOMPARE(p.table.fieldText(QStringLiteral("Vopros")), QString());
        p.table.next(); // untouched: dropped
        QCOMPARE(p.table.recordCount(), 3);
        QCOMPARE(p.table.fieldText(QStringLiteral("Name")), QStringLiteral("3"));

        p.table.insert();
        p.table.setFieldText(QStringLiteral("Name"), QStringLiteral("10"));
        p.table.setFieldBytes(QStringLiteral("Graph"), QByteArray("BMxx"));
        p.table.first(); // changed: written before the move, and placed where it is stored
        QCOMPARE(p.table.state(), Dataset::State::Browse);
        QCOMPARE(p.names(), (QStringList{"1", "2", "3", "10"}));
        p.table.refresh(); // the same order after reading again
        QCOMPARE(p.names(), (QStringList{"1", "2", "3", "10"}));
        QCOMPARE(p.table.fieldBytes(QStringLiteral("Graph")), QByteArray("BMxx"));

        p.table.edit();
        p.table.setFieldBytes(QStringLiteral("Graph"), QByteArray()); // emptied picture
        p.table.post();
        Program other(path);
        other.table.last();
        QCOMPARE(other.table.fieldText(QStringLiteral("Name")), QStringLiteral("10"));
        QVERIFY(other.table.fieldBytes(QStringLiteral("Graph")).isEmpty());

        p.table.setRecNo(1);
        handlerEnds();
        p.table.remove();
        QCOMPARE(p.table.fieldText(QStringLiteral("Name")), QStringLiteral("2"));
        other.table.refresh();
        QCOMPARE(other.names(), (QStringList{"2", "3", "10"}));
    }

    // A column of the table's own named rowid must not be taken for the row id.
    void rowsAreAddressedByTheirRowIdAlone() {
        const QString path = m_dir.filePath(QStringLiteral("own-rowid.mdb"));
        fixture::sql(path, QStringLiteral("CREATE TABLE kontrol (rowid, Name, Vopros, Otvet1, "
                                          "Otvet2, Otvet3, Otvet4, PrOtvet, Graph);"
                                          "INSERT INTO kontrol (rowid, Name, Vopros) VALUES "
                                          "(5, 1, 'a'), (5, 2, 'b'), (5, 3, 'c')"));
        {
            Program p(path);
            p.table.setRecNo(2);
            p.table.edit();
            p.table.setFieldText(QStringLiteral("Vopros"), QStringLiteral("правка"));
            p.table.post();
            p.table.setRecNo(3);
            p.table.remove();
            QCOMPARE(p.names(), (QStringList{"1", "2"}));
            p.table.setRecNo(1);
            QCOMPARE(p.table.fieldText(QStringLiteral("Vopros")), QStringLiteral("a"));
            QCOMPARE(p.table.fieldText(QStringLiteral("rowid")), QStringLiteral("5"));
            // A user-chosen bank is opened with SQLite's defensive settings.
            int defensive = -1, trusted = -1;
            sqlite3_db_config(p.connection.handle(), SQLITE_DBCONFIG_DEFENSIVE, -1, &defensive);
            sqlite3_db_config(p.connection.handle(), SQLITE_DBCONFIG_TRUSTED_SCHEMA, -1, &trusted);
            QCOMPARE(defensive, 1);
            QCOMPARE(trusted, 0);
        }

        auto openError = [&](const QString& name, const QString& table) {
            const QString bank = m_dir.filePath(name);
            fixture::sql(bank, table);
            ADOConnection connection;
            ADOTable t(&connection);
            connection.setConnectionString(bank);
            connection.open();
            return errorOf([&] { t.open(); });
        };
        QVERIFY(openError(QStringLiteral("all-three.mdb"),
                          QStringLiteral("CREATE TABLE kontrol (rowid, _rowid_, oid, Name, "
                                         "Vopros, Otvet1, Otvet2, Otvet3, Otvet4, PrOtvet, Graph)"))
                    .contains(QStringLiteral("rowid, _rowid_ и oid")));
        QVERIFY(openError(QStringLiteral("without.mdb"),
                          QStringLiteral("CREATE TABLE kontrol (Name PRIMARY KEY, Vopros, Otvet1, "
                                         "Otvet2, Otvet3, Otvet4, PrOtvet, Graph) WITHOUT ROWID"))
                    .contains(QStringLiteral("WITHOUT ROWID")));
    }

    // A field declared INTEGER PRIMARY KEY is the row id: changing it moves the record.
    void keyFieldThatIsTheRowIdCanBeChanged() {
        const QString path = m_dir.filePath(QStringLiteral("key-name.mdb"));
        fixture::sql(path, QStringLiteral("CREATE TABLE kontrol (Name INTEGER PRIMARY KEY, "
                                          "Vopros, Otvet1, Otvet2, Otvet3, Otvet4, PrOtvet, "
                                          "Graph); INSERT INTO kontrol (Name, Vopros) VALUES "
                                          "(1, 'a'), (2, 'b'), (3, 'c')"));
        Program p(path);
        p.table.setRecNo(2);
        p.table.edit();
        p.table.setFieldText(QStringLiteral("Name"), QStringLiteral("20"));
        p.table.post();
        // Still the record just written, now where the table delivers it.
        QCOMPARE(p.table.recNo(), 3);
        QCOMPARE(p.table.fieldText(QStringLiteral("Name")), QStringLiteral("20"));
        QCOMPARE(p.table.fieldText(QStringLiteral("Vopros")), QStringLiteral("b"));
        p.table.edit();
        p.table.setFieldText(QStringLiteral("Vopros"), QStringLiteral("b2"));
        p.table.post();
        QCOMPARE(p.names(), (QStringList{"1", "3", "20"}));
        p.table.last();
        p.table.remove();
        handlerEnds();
        QCOMPARE(Program(path).names(), (QStringList{"1", "3"}));

        // A delete that finds its record already gone says so, and the record leaves the list.
        Program other(path);
        other.table.remove();
        p.table.first();
        handlerEnds();
        QVERIFY(errorOf([&] { p.table.remove(); }).contains(QStringLiteral("уже была удалена")));
        QCOMPARE(p.names(), (QStringList{"3"}));
    }

    // What is typed into a numeric field is stored exactly, or refused.
    void typedNumbersAreStoredExactlyOrRefused() {
        const QString path = m_dir.filePath(QStringLiteral("numbers.mdb"));
        fixture::sql(path, QStringLiteral("CREATE TABLE kontrol (Name INTEGER, Vopros, Otvet1, "
                                          "Otvet2, Otvet3, Otvet4, PrOtvet REAL, Graph); "
                                          "INSERT INTO kontrol (Name) VALUES (1)"));
        const QString sep = formats::settings().decimalSeparator;
        Program p(path);
        p.table.edit();
        auto typeError = [&](const char* field, const QString& typed) {
            return errorOf([&] { p.table.setFieldText(QString::fromLatin1(field), typed); });
        };
        for (const char* beyond : {"9223372036854775808", "1e20"})
            QVERIFY(typeError("Name", beyond).contains(QStringLiteral("слишком велико")));
        QVERIFY(
            typeError("PrOtvet", "9007199254740993").contains(QStringLiteral("слишком велико")));
        QCOMPARE(typeError("PrOtvet", "9007199254740992"), QString());
        for (const QString& typed :
             {QStringLiteral("12345678901234567"), "1" + sep + "2345678901234567E16"}) {
            QCOMPARE(typeError("Name", typed), QString());
            p.table.post();
            handlerEnds();
            QCOMPARE(Program(path).table.fieldText(QStringLiteral("Name")),
                     QStringLiteral("12345678901234567")); // as the file holds it
            p.table.edit();
        }
        p.table.cancel();
        handlerEnds();
        // The REAL field holds its number exactly, and Name an integer: the row matches.
        fixture::sql(path, QStringLiteral("DELETE FROM kontrol WHERE PrOtvet = 9007199254740992 "
                                          "AND typeof(Name) = 'integer'"));
        QCOMPARE(Program(path).names(), QStringList());
    }

    void readOnlyFileOpensButRefusesWrites() {
        const QString path = freshBank(2);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        const QByteArray before = fixture::readAll(path);
        {
            Program p(path);
            QVERIFY(p.connection.readOnly());
            QVERIFY(!p.table.canModify());
            QCOMPARE(p.names(), (QStringList{"1", "2"}));
            const QString error = errorOf([&] { p.table.edit(); });
            QCOMPARE(error, QStringLiteral("Банк вопросов «%1» открыт только для чтения: "
                                           "изменить его нельзя")
                                .arg(path));
            QCOMPARE(p.table.state(), Dataset::State::Browse);
        }
        QCOMPARE(fixture::readAll(path), before);
    }

    // Every change needs a journal beside the bank: a folder that refuses one makes the bank
    // read-only from the start, with the reason, instead of failing at every write. A folder
    // that starts refusing later gets the engine's failure in Russian, with the system's reason.
    void folderThatRefusesAJournalKeepsTheBankReadOnly() {
        KV_AS_ORDINARY_USER();
        QTemporaryDir dir;
        const QString path = fixture::makeBank(dir, QStringLiteral("b.mdb"), 2);
        const QByteArray before = fixture::readAll(path);
        const auto readOnlyFolder = QFile::ReadOwner | QFile::ExeOwner;
        QVERIFY(QFile::setPermissions(dir.path(), readOnlyFolder));
        const auto restore = qScopeGuard(
            [&] { QFile::setPermissions(dir.path(), readOnlyFolder | QFile::WriteOwner); });
        {
            Program p(path);
            QVERIFY(p.connection.readOnly());
            QCOMPARE(p.connection.readOnlyNotice(),
                     QStringLiteral("Банк вопросов «%1» открыт только для просмотра: в его папку "
                                    "«%2» нельзя записывать (Отказано в доступе), а без этого "
                                    "банк не изменить. Вопросы можно смотреть, но не изменять.")
                         .arg(path, dir.path()));
            QVERIFY(!p.table.canModify());
        }
        QVERIFY(QFile::setPermissions(dir.path(), readOnlyFolder | QFile::WriteOwner));
        Program p(path);
        QVERIFY(!p.connection.readOnly());
        QCOMPARE(p.connection.readOnlyNotice(), QString());
        QVERIFY(QFile::setPermissions(dir.path(), readOnlyFolder));
        p.table.edit();
        p.table.setFieldText(QStringLiteral("Vopros"), QStringLiteral("новый"));
        QCOMPARE(errorOf([&] { p.table.post(); }),
                 QStringLiteral("Не удаётся записать вопрос в банк вопросов «%1»: в папку банка "
                                "нельзя записывать, а без этого банк не изменить")
                     .arg(path));
        p.table.cancel();
        QCOMPARE(fixture::readAll(path), before);
    }

    void refusedFolderIsNotAMissingBank() {
        KV_AS_ORDINARY_USER();
        QTemporaryDir dir;
        const QString path = fixture::makeBank(dir, QStringLiteral("b.mdb"), 1);
        QVERIFY(QFile::setPermissions(dir.path(), QFile::Permissions()));
        const auto restore = qScopeGuard([&] {
            QFile::setPermissions(dir.path(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        });
        ADOConnection connection;
        connection.setConnectionString(path);
        QCOMPARE(errorOf([&] { connection.open(); }),
                 QStringLiteral("Не удаётся прочитать файл банка вопросов «%1»: Отказано в доступе")
                     .arg(path));
    }

    // A write the bank refuses (a constraint, a trigger's ABORT or IGNORE, a table that ignores
    // conflicts) says why in Russian, never leaves a phantom record, and keeps the record being
    // edited where it was, to be put right or cancelled.
    void refusedWriteKeepsTheRecordBeingEdited_data() {
        QTest::addColumn<QString>("sql"); // on a bank of two questions, or a table of its own
        QTest::addColumn<bool>("insert"); // a new record, else the first one edited
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("move"); // written by moving on, else by post
        QTest::addColumn<QString>("said");
        QTest::addColumn<QString>("fixed"); // a value then written, "" for none
        const QString table = QStringLiteral("CREATE TABLE kontrol (Name INTEGER %1, Vopros, "
                                             "Otvet1, Otvet2, Otvet3, Otvet4, PrOtvet, Graph); "
                                             "INSERT INTO kontrol (Name) VALUES (1)");
        const QString trigger = QStringLiteral(
            "CREATE TRIGGER t BEFORE %1 ON kontrol WHEN new.%2 BEGIN SELECT %3; END");
        const QString cannot = QStringLiteral("Не удаётся записать вопрос в банк вопросов «%1»: ");
        const QString dropped = QStringLiteral("Банк вопросов «%1» не принял вопрос");
        const auto row = [](const char* name, const QString& sql, bool insert, const char* field,
                            const char* value, bool move, const QString& said,
                            const char* fixed = "") {
            QTest::newRow(name) << sql << insert << field << value << move << said << fixed;
        };
        row("NOT NULL", table.arg("NOT NULL"), true, "Vopros", "новый", false,
            cannot + "поле kontrol.Name не может быть пустым");
        row("CHECK", table.arg("CHECK (Name > 0)"), true, "Name", "-1", false,
            cannot + "значение не проходит проверку, заданную в банке");
        row("UNIQUE", table.arg("UNIQUE"), true, "Name", "1", false,
            cannot + "значение поля kontrol.Name уже есть у другой записи");
        row("trigger's ABORT on a move",
            trigger.arg("UPDATE", "PrOtvet > 4", "RAISE(ABORT, 'range')"), false, "PrOtvet", "9",
            true, cannot + "запрещено триггером банка: range", "4");
        row("trigger's IGNORE of a new record",
            trigger.arg("INSERT", "Vopros = 'пропустить'", "RAISE(IGNORE)"), true, "Vopros",
            "пропустить", false, dropped, "новый");
        row("trigger's IGNORE of an edit", trigger.arg("UPDATE", "PrOtvet = 7", "RAISE(IGNORE)"),
            false, "PrOtvet", "7", true, dropped);
        row("a table that ignores conflicts", table.arg("UNIQUE ON CONFLICT IGNORE"), true, "Name",
            "1", false, dropped);
    }
    void refusedWriteKeepsTheRecordBeingEdited() {
        QFETCH(QString, sql);
        QFETCH(bool, insert);
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(bool, move);
        QFETCH(QString, said);
        QFETCH(QString, fixed);
        const QString path = sql.startsWith(QLatin1String("CREATE TABLE"))
                                 ? m_dir.filePath(QStringLiteral("c%1.mdb").arg(++m_serial))
                                 : freshBank(2);
        fixture::sql(path, sql);
        const QStringList before = Program(path).names();
        Program p(path);
        const auto editing = insert ? Dataset::State::Insert : Dataset::State::Edit;
        insert ? p.table.insert() : p.table.edit();
        p.table.setFieldText(field, value);
        const auto write = [&] { move ? p.table.next() : p.table.post(); };
        const QString error = errorOf(write);
        QVERIFY2(error.startsWith(said.arg(path)), qPrintable(error));
        QCOMPARE(p.table.recNo(), 1); // the move did not happen
        QCOMPARE(p.table.state(), editing);
        QCOMPARE(p.table.fieldText(field), value);
        if (fixed.isEmpty()) {
            p.table.cancel();
        } else {
            p.table.setFieldText(field, fixed);
            QCOMPARE(errorOf(write), QString());
            QCOMPARE(p.table.recNo(), move ? 2 : p.table.recordCount());
            QCOMPARE(p.table.state(), Dataset::State::Browse);
        }
        handlerEnds();
        QCOMPARE(Program(path).names(),
                 insert && !fixed.isEmpty() ? before + QStringList{""} : before);
    }

    void twoProgramsShareOneBank() {
        const QString path = freshBank(3);
        Program a(path);
        Program b(path);
        a.table.setRecNo(2); // a stands on a record while b writes
        b.table.setRecNo(2);
        handlerEnds();
        b.table.edit();
        b.table.setFieldText(QStringLiteral("Vopros"), QStringLiteral("от второй программы"));
        b.table.post();
        QCOMPARE(a.table.fieldText(QStringLiteral("Vopros")), QStringLiteral("Вопрос 2"));
        a.table.refresh();
        QCOMPARE(a.table.recNo(), 2);
        QCOMPARE(a.table.fieldText(QStringLiteral("Vopros")),
                 QStringLiteral("от второй программы"));
        a.table.edit();
        a.table.setFieldText(QStringLiteral("Otvet1"), QStringLiteral("и от первой"));
        handlerEnds();
        a.table.post();
        b.table.refresh();
        QCOMPARE(b.table.fieldText(QStringLiteral("Otvet1")), QStringLiteral("и от первой"));

        // A record the other program deleted shows empty and cannot be written.
        handlerEnds();
        b.table.remove();
        a.table.setRecNo(1);
        a.table.setRecNo(2);
        QCOMPARE(a.table.fieldText(QStringLiteral("Vopros")), QString());
        a.table.edit();
        a.table.setFieldText(QStringLiteral("Vopros"), QStringLiteral("x"));
        QVERIFY(errorOf([&] { a.table.post(); }).contains(QStringLiteral("удалена")));
        a.table.cancel();
    }

    void openNeedsAConnection() {
        ADOConnection connection;
        ADOTable table(&connection);
        QVERIFY(!errorOf([&] { table.open(); }).isEmpty());
        QVERIFY(!table.active());
        QVERIFY(table.eof());
        connection.setConnectionString(QString());
        QVERIFY(!errorOf([&] { connection.open(); }).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestBankEngine)
#include "test_bank_engine.moc"
