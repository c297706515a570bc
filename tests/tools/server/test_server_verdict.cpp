// The server's verdict against the program's own: the right-answer texts of a real bank,
// answered through the trainee calls with every option under both decimal separators, get the
// verdict the program's number rule gives (none where the text does not read as a number).
#include "bankfixture.h"
#include "classroom_server.h"
#include "formats.h"
#include "numbers.h"
#include "skip.h"
#include "traineeclient.h"

#include <QTest>
#include <optional>

namespace {

const QStringList texts{
    QStringLiteral("2"),
    QStringLiteral("02"),
    QStringLiteral("2.0"),
    QStringLiteral("2,0"),
    QStringLiteral("2,5"),
    QStringLiteral("2.5"),
    QString(),
    QStringLiteral("два"),
    QStringLiteral("abc"),
    QStringLiteral(" 2 "),
    QStringLiteral("\t3\t"),
    QStringLiteral("2 "),
    QStringLiteral(" 4"),
    QStringLiteral("+2"),
    QStringLiteral("-2"),
    QStringLiteral("2."),
    QStringLiteral(",5e1"),
    QStringLiteral(".5e1"),
    QStringLiteral("1e0"),
    QStringLiteral("20E-1"),
    QStringLiteral("0"),
    QStringLiteral("1"),
    QStringLiteral("3"),
    QStringLiteral("4"),
    QStringLiteral("2 .0"),
    QStringLiteral("2,0,0"),
    QStringLiteral("２"),
    QStringLiteral("1e400"),
    QStringLiteral("1e-400"),
    QStringLiteral("4e99999999999999999999"),
    QStringLiteral("1.99999999999999999999"),
    QStringLiteral("1,99999999999999999999"),
    QStringLiteral("0.9999999999999999999999"),
    QStringLiteral("2e"),
    QStringLiteral("e2"),
    QStringLiteral("\u00a02"),
};

std::optional<bool> programVerdict(const QString& text, int option) {
    if (option == 0)
        return false; // a time-out is counted wrong without reading the right answer
    double value = 0;
    if (!numbers::tryStrToFloat(text, &value))
        return std::nullopt;
    return value == double(option);
}

QString shown(const std::optional<bool>& v) {
    return v ? (*v ? QStringLiteral("верно") : QStringLiteral("неверно")) : QStringLiteral("нет");
}

} // namespace

class TestServerVerdict : public QObject {
    Q_OBJECT
    std::unique_ptr<ClassroomServer> m_server;
    QTemporaryDir m_dir;

private slots:
    void initTestCase() {
        m_server = std::make_unique<ClassroomServer>();
        KV_REQUIRE_CLUSTER(m_server->cluster);
        QVERIFY2(m_server->ok(), qPrintable(m_server->error()));
        QVector<bankfile::Question> questions;
        for (int n = 0; n < texts.size(); ++n) {
            bankfile::Question q = fixture::question(n + 1);
            q.prOtvet = texts[n];
            questions << q;
        }
        m_server->publish(fixture::makeTextBank(m_dir, QStringLiteral("v.mdb"), questions),
                          QStringLiteral("Числа"));
    }
    void cleanupTestCase() { formats::resetFromHostLocale(); }

    void serverVerdictIsTheProgramsOwn_data() {
        QTest::addColumn<QChar>("separator");
        QTest::addColumn<int>("option");
        for (QChar separator : {QLatin1Char('.'), QLatin1Char(',')})
            for (int option = 0; option <= 4; ++option)
                QTest::addRow("'%c' option %d", char(separator.unicode()), option)
                    << separator << option;
    }
    void serverVerdictIsTheProgramsOwn() {
        QFETCH(QChar, separator);
        QFETCH(int, option);
        formats::settings().decimalSeparator = separator;
        serverbank::TraineeClient client(m_server->trainee());
        const serverbank::RunStart run = client.startRun(
            QStringLiteral("Числа"), QStringLiteral("Ученик"), QStringLiteral("pc"), 35, separator);
        QCOMPARE(run.recordCount, texts.size());
        int right = 0;
        for (int record = 1; record <= run.recordCount; ++record) {
            client.question(run.token, record);
            const serverbank::RecordedAnswer a = client.answer(run.token, record, option, 1);
            const QString& text = texts[record - 1];
            QCOMPARE(a.prOtvet, text);
            const std::optional<bool> expected = programVerdict(text, option);
            QVERIFY2(a.right == expected,
                     qPrintable(QStringLiteral("«%1»: сервер — %2, программа — %3")
                                    .arg(text, shown(a.right), shown(expected))));
            right += expected.value_or(false) ? 1 : 0;
        }
        // The table holds right answers for every option under both separators.
        QVERIFY(option == 0 || right > 0);
    }
};

QTEST_GUILESS_MAIN(TestServerVerdict)
#include "test_server_verdict.moc"
