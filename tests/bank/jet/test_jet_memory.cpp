// The memory an old-format bank takes to open is bounded, whatever the reader streams: a
// stand-in reader streams a table of NULL values (the costliest stream per byte) or the
// largest record taken, and this program opens it in a child of its own, under a limit of
// address space, and reports the child's peak memory.
#include "error.h"
#include "jet_seams.h"
#include "jetbank.h"
#include "jetstream.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <sqlite3.h>
#include <sys/resource.h>

namespace {

constexpr int columnsPerRecord = 255;

// The child: opens the bank as the engine does and prints its record count and peak memory.
int probe(const QString& bank) {
    jetbank::setReader(QStringLiteral(KV_STANDIN_READER), 100000);
    try {
        sqlite3* db = jetbank::openCopy(bank);
        sqlite3_stmt* count = nullptr;
        sqlite3_prepare_v2(db, "SELECT count(*) FROM kontrol", -1, &count, nullptr);
        sqlite3_step(count);
        const qint64 records = sqlite3_column_int64(count, 0);
        sqlite3_finalize(count);
        sqlite3_close(db);
        QFile status(QStringLiteral("/proc/self/status"));
        status.open(QIODevice::ReadOnly);
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmHWM:"))
                std::printf("records=%lld peak_kb=%s\n", records,
                            line.mid(6).trimmed().split(' ').value(0).constData());
        return 0;
    } catch (const Error& e) {
        std::printf("%s\n", e.what());
        return 1;
    }
}

void limitAddressSpace() {
    const rlimit limit{rlim_t(1) << 30, rlim_t(1) << 30};
    setrlimit(RLIMIT_AS, &limit);
}

} // namespace

class TestJetMemory : public QObject {
    Q_OBJECT

private slots:
    void readingIsBoundedInMemory_data() {
        QTest::addColumn<QString>("stream");
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<qint64>("records");
        QTest::addColumn<qint64>("bound");
        // More than the copy keeps in memory, of the costliest stream per byte.
        const qint64 nulls = 96LL * 1024 * 1024;
        QTest::newRow("NULL values")
            << QStringLiteral("KV_STANDIN_BYTES") << nulls
            << (nulls - 2048) / (columnsPerRecord + 1) << 200LL * 1024 * 1024;
        // The largest record the stream may hold: a picture at the largest size shown.
        QTest::newRow("largest picture")
            << QStringLiteral("KV_STANDIN_PICTURE") << qint64(jetstream::maxRecordBytes - 1024)
            << qint64(1) << 400LL * 1024 * 1024;
    }
    void readingIsBoundedInMemory() {
        QFETCH(QString, stream);
        QFETCH(qint64, bytes);
        QFETCH(qint64, records);
        QFETCH(qint64, bound);
        QTemporaryDir dir;
        // The reader's cap on its stream grows with the file: a sparse file of 240 MB allows
        // the most, a gigabyte.
        const QString bank = dir.filePath(QStringLiteral("large.mdb"));
        QFile file(bank);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(240LL * 1024 * 1024));
        file.close();
        QTemporaryDir spill; // where the copy's overflow goes: nothing may stay there
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(stream, QString::number(bytes));
        env.insert(QStringLiteral("TMPDIR"), spill.path());
        child.setProcessEnvironment(env);
        child.setChildProcessModifier(limitAddressSpace);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--probe"), bank});
        QVERIFY(child.waitForFinished(110000));
        const QByteArray out = child.readAllStandardOutput().trimmed();
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
                 out.constData());
        const QList<QByteArray> figures = out.split(' ');
        QCOMPARE(figures.size(), 2);
        const qint64 counted = figures[0].mid(8).toLongLong();
        QVERIFY2(counted >= records && counted <= records + 16, out.constData());
        const qint64 peak = figures[1].mid(8).toLongLong() * 1024;
        QVERIFY2(peak < bound, out.constData());
        QCOMPARE(QDir(spill.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList());
    }
};

int main(int argc, char** argv) {
    if (argc == 3 && qstrcmp(argv[1], "--probe") == 0) {
        QCoreApplication app(argc, argv);
        return probe(QString::fromLocal8Bit(argv[2]));
    }
    QCoreApplication app(argc, argv);
    TestJetMemory test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_jet_memory.moc"
