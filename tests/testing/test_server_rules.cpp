// A sitting's own rules through the real test window against a real kviront-server on
// 127.0.0.1: each run draws its own order from the state the server gave it, no right answer
// reaches the program while the sitting hides them (every reply's bytes are checked, not the
// code), the protocol says so and kviront-results still counts the run, and the result notice
// gives the grade.
#include "modal_watcher.h"
#include "order_rules.h"
#include "protocol_reader.h"
#include "server_window.h"

using namespace fx;

namespace {

constexpr int records = 8; // 7! orders: two runs drawing the same one would be a fault

int rightOption(int record) {
    return 1 + record % 4; // the harness's bank
}

} // namespace

class TestServerRules : public ServerWindowTest {
    Q_OBJECT
    QByteArray m_received; // every reply's body as the program received it

private slots:
    void initTestCase() {
        ClassServer::Options o;
        o.records = records;
        o.unnamedCodes = 0;
        o.ownOrder = o.hideAnswers = o.showGrade = true;
        o.grades = {80, 60, 40};
        startClass(o);
        classclient::setReplyFilter([this](std::string_view, const QByteArray& body) {
            m_received += body;
            return false;
        });
    }
    void cleanupTestCase() {
        classclient::setReplyFilter(nullptr);
        endClass();
    }
    void init() { m_dir = std::make_unique<RunScope>(); }
    void cleanup() { m_dir.reset(); }

    // Trainee 0 answers 1 throughout (right on records 4 and 8: 25 %, a 2); trainee 1 answers
    // right except on records 1 and 2 (75 %: a 4 with thresholds 80, 60, 40).
    void eachRunHasItsOwnOrderAndNoRightAnswerBeforeTheClose_data() {
        QTest::addColumn<int>("trainee");
        QTest::addColumn<QString>("result");
        QTest::newRow("всё первым")
            << 0
            << QStringLiteral("Проверка Вашего уровня знаний завершена. Ваш "
                              "результат: правильных ответов 2. Неправильных "
                              "ответов 6. Всего вопросов 8\nОценка: 2");
        QTest::newRow("две ошибки")
            << 1
            << QStringLiteral("Проверка Вашего уровня знаний завершена. Ваш "
                              "результат: правильных ответов 6. Неправильных "
                              "ответов 2. Всего вопросов 8\nОценка: 4");
    }
    void eachRunHasItsOwnOrderAndNoRightAnswerBeforeTheClose() {
        QFETCH(int, trainee);
        QFETCH(QString, result);
        const QString name = ClassServer::Options().trainees.value(trainee);
        signIn(name);
        ModalWatcher watcher;
        openServerBank(m_server->bankFile(), m_server->namedCodes().value(trainee));
        QStringList verdicts;
        QList<int> shown;
        for (int i = 0; i < records; ++i) {
            const int record =
                uozKontrol->DBMemo1->shownText().section(QLatin1Char(' '), 1).toInt();
            shown << record;
            const int right = rightOption(record);
            const int chosen = trainee == 0 ? 1 : record <= 2 ? right % 4 + 1 : right;
            verdicts << (chosen == right ? rightNotice : QStringLiteral("Неверный ответ."));
            answerAndSettle(chosen);
        }
        tick(uozKontrol->Timer1);
        QCOMPARE(watcher.errors, QStringList());
        QCOMPARE(watcher.notices, verdicts + QStringList{result});

        const QString state = m_server->superValue(
            QStringLiteral("SELECT order_state FROM kviront.runs WHERE trainee = '%1'").arg(name));
        QCOMPARE(shown, orderOf(state.toUInt(), records));
        m_orders << shown;
        if (m_orders.size() == 2)
            QVERIFY(m_orders[0] != m_orders[1]);

        QVERIFY(m_received.contains("answerHidden"));
        QVERIFY2(!m_received.contains("rightAnswer"), m_received.constData());
        const QStringList files = protocolFiles();
        QCOMPARE(files.size(), 1);
        const QString protocol = readText(files[0]);
        QCOMPARE(protocol.count(QStringLiteral("Правильный ответ:скрыт до закрытия сеанса\r\n")),
                 records);
        const results::ReadResult read = results::readProtocol(protocol);
        QVERIFY2(read.ok, qPrintable(read.error));
        QCOMPARE(read.protocol.mismatch, QString());
        QCOMPARE(read.protocol.rightCount(), trainee == 0 ? 2 : 6);
        QFile::remove(files[0]);
    }

private:
    QList<QList<int>> m_orders;
};

QTEST_MAIN(TestServerRules)
#include "test_server_rules.moc"
