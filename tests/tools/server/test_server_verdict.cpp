// The server's verdict against the program's own: the right-answer texts of a real bank,
// answered through the server's functions with every option under both decimal separators,
// get the verdict the program's number rule gives (none where the text does not read as a
// number), whatever the session's settings say of backslashes in strings.
#include "bankfixture.h"
#include "classroom_server.h"
#include "formats.h"
#include "numbers.h"
#include "sitting_calls.h"
#include "skip.h"

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
    QStringLiteral("2)"),
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
    QHash<QChar, QList<serversitting::Code>> m_codes; // a sitting per separator

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
        for (QChar separator : {QLatin1Char('.'), QLatin1Char(',')})
            m_codes[separator] =
                m_server
                    ->openSitting(QStringLiteral("Числа"), QStringLiteral("Числа ") + separator, 10,
                                  separator)
                    .codes;
    }
    void cleanupTestCase() { formats::resetFromHostLocale(); }

    void serverVerdictIsTheProgramsOwn_data() {
        QTest::addColumn<QChar>("separator");
        QTest::addColumn<int>("option");
        QTest::addColumn<bool>("conforming"); // standard_conforming_strings of the session
        for (bool conforming : {true, false})
            for (QChar separator : {QLatin1Char('.'), QLatin1Char(',')})
                for (int option = 0; option <= 4; ++option)
                    QTest::addRow("'%c' option %d%s", char(separator.unicode()), option,
                                  conforming ? "" : ", standard_conforming_strings off")
                        << separator << option << conforming;
    }
    void serverVerdictIsTheProgramsOwn() {
        QFETCH(QChar, separator);
        QFETCH(int, option);
        QFETCH(bool, conforming);
        formats::settings().decimalSeparator = separator;
        pg::Connection c(m_server->daemon());
        if (!conforming) // "\." would then read as ".", and "2)" score as right
            c.exec("SET standard_conforming_strings = off");
        const QString code = m_codes[separator][option + (conforming ? 0 : 5)].code;
        const sittingcalls::Run run = sittingcalls::start(c, QStringLiteral("Числа ") + separator,
                                                          code, QStringLiteral("pc"));
        QCOMPARE(run.records, texts.size());
        int right = 0;
        for (int record = 1; record <= run.records; ++record) {
            sittingcalls::handOut(c, run.token, record);
            const sittingcalls::Answer a = sittingcalls::answer(c, run.token, record, option, 1);
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
