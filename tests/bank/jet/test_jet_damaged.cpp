// Damaged old-format banks: copies of the fixtures with bytes flipped, cut short or pages
// zeroed, made from a fixed seed. Each must open and read, or fail with a message naming the
// file; never crash or hang the program.
#include "adoconnection.h"
#include "adotable.h"
#include "error.h"
#include "error_of.h"
#include "jetfixture.h"

#include <QElapsedTimer>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>
#include <random>

namespace {

constexpr int pageSize = 4096;

QByteArray mutate(QByteArray data, std::mt19937& random, QString& how) {
    auto pick = [&](qint64 below) { return qint64(random() % quint64(qMax<qint64>(below, 1))); };
    switch (random() % 4) {
    case 0: { // bytes flipped, anywhere but mostly past the header
        const int count = 1 + int(pick(24));
        for (int i = 0; i < count; ++i) {
            const qint64 at = pick(data.size());
            data[at] = char(data[at] ^ char(1 + pick(255)));
        }
        how = QStringLiteral("%1 bytes flipped").arg(count);
        break;
    }
    case 1: { // cut short
        const qint64 size = pick(data.size());
        data.truncate(size);
        how = QStringLiteral("cut to %1 bytes").arg(size);
        break;
    }
    case 2: { // a page zeroed
        const qint64 page = pick(data.size() / pageSize);
        std::fill(data.begin() + page * pageSize, data.begin() + (page + 1) * pageSize, '\0');
        how = QStringLiteral("page %1 zeroed").arg(page);
        break;
    }
    default: { // a page's worth of bytes flipped within one page, past the header page
        const qint64 page = 1 + pick(data.size() / pageSize - 1);
        const int count = 1 + int(pick(64));
        for (int i = 0; i < count; ++i) {
            const qint64 at = page * pageSize + pick(pageSize);
            data[at] = char(random() & 0xff);
        }
        how = QStringLiteral("%1 bytes of page %2 changed").arg(count).arg(page);
        break;
    }
    }
    return data;
}

// Opens the bank as the program does and reads every field of every record.
QString openAndRead(const QString& file) {
    ADOConnection connection;
    connection.setConnectionString(file);
    return errorOf<DatabaseError>([&] {
        connection.open();
        ADOTable table(&connection);
        table.open();
        for (int n = 1; n <= table.recordCount(); ++n) {
            table.setRecNo(n);
            for (const QString& name : table.fieldNames())
                table.fieldBytes(name);
        }
    });
}

} // namespace

class TestJetDamaged : public QObject {
    Q_OBJECT

private slots:
    void everyDamagedCopyReadsOrFailsClearly() {
        const int copies = qEnvironmentVariableIntValue("KV_JET_DAMAGED_COPIES") > 0
                               ? qEnvironmentVariableIntValue("KV_JET_DAMAGED_COPIES")
                               : 240;
        const QStringList sources{
            QStringLiteral("bank5_jet4.mdb"), QStringLiteral("empty_jet4.mdb"),
            QStringLiteral("missingfield_jet4.mdb"), QStringLiteral("bigbank_jet4.mdb")};
        QVector<QByteArray> originals;
        for (const QString& source : sources)
            originals << jetfixture::bytes(jetfixture::path(source));
        QTemporaryDir dir;
        std::mt19937 random(20261207);
        int read = 0, refused = 0;
        QMap<QString, int> reasons; // the messages without the file's name
        qint64 slowest = 0;
        QElapsedTimer all;
        all.start();
        for (int i = 0; i < copies; ++i) {
            const int source = int(random() % quint32(originals.size()));
            QString how;
            const QByteArray data = mutate(originals[source], random, how);
            const QString file = dir.filePath(QStringLiteral("damaged%1.mdb").arg(i));
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(data);
            out.close();
            QElapsedTimer one;
            one.start();
            const QString error = openAndRead(file);
            slowest = qMax(slowest, one.elapsed());
            const QString what =
                QStringLiteral("%1 (%2, %3): %4").arg(file, sources[source], how, error);
            if (error.isEmpty()) {
                ++read;
            } else {
                ++refused;
                QVERIFY2(error.contains(file), qPrintable(what));
                ++reasons[QString(error).replace(file, QStringLiteral("…"))];
            }
            // Bounded by the reader's wall-time limit, with room for a loaded machine.
            QVERIFY2(one.elapsed() < 15000, qPrintable(what));
        }
        qInfo("%d copies: %d read, %d refused; slowest %lld ms, all %lld ms", copies, read, refused,
              slowest, all.elapsed());
        for (auto it = reasons.cbegin(); it != reasons.cend(); ++it)
            qInfo("%4d x %s", it.value(), qPrintable(it.key()));
        QCOMPARE(read + refused, copies);
    }
};

QTEST_GUILESS_MAIN(TestJetDamaged)
#include "test_jet_damaged.moc"
