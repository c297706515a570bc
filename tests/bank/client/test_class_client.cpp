// The class client's own guard against a server it must not believe, and its way with a server
// that is away, against a scripted TLS peer on 127.0.0.1 (what a real kviront-server never
// does: lie, present another certificate, hang): every number is checked before use, only the
// pinned certificate is trusted, passing trouble is sent again after its pause, a final refusal
// keeps the answer in the refused file, and the journal holds exactly what is unsent.
#include "classapi.h"
#include "client_seams.h"
#include "file_bytes.h"
#include "journal.h"
#include "outbox.h"
#include "runjob.h"
#include "serverbankfile.h"
#include "tls_peer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <numeric>

namespace {

using Reply = TlsPeer::Reply;

const QString token = QStringLiteral("6f1c1b2e-8a51-4c1e-9d3b-0f5a7b2c9e11");

QByteArray json(const QJsonObject& o) {
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QJsonObject run(int records = 3) {
    return {{"token", token},
            {"records", records},
            {"seconds", 35},
            {"decimalSeparator", ","},
            {"trainee", "Иванов Иван"},
            {"bank", "Физика"},
            {"version", 1},
            {"resumed", false},
            {"answers", QJsonArray()}};
}

QJsonObject question(int record) {
    return {{"record", record},
            {"name", QString::number(record)},
            {"vopros", QStringLiteral("Вопрос %1").arg(record)},
            {"otvet", QJsonArray{"a", "b", "c", "d"}},
            {"graph", ""}};
}

QJsonObject answer(int record, int option) {
    return {{"record", record},     {"option", option},   {"timedOut", false},
            {"right", option == 2}, {"rightAnswer", "2"}, {"seconds", 3},
            {"serverSeconds", 3.2}, {"repeated", false}};
}

// A server that answers as the API says, unless `lie` gives a reply for the request's path.
TlsPeer::Script
honest(std::function<std::optional<Reply>(const QByteArray&, const QJsonObject&)> lie = nullptr) {
    return [lie](const QByteArray& path, const QJsonObject& body) -> Reply {
        if (lie)
            if (const std::optional<Reply> r = lie(path, body))
                return *r;
        const int record = body.value("record").toInt();
        if (path.endsWith("/start"))
            return {200, json(run())};
        if (path.endsWith("/question"))
            return {200, json(question(record))};
        if (path.endsWith("/answer"))
            return {200, json(answer(record, body.value("option").toInt()))};
        return {200, json({{"completed", body.value("completed").toBool()}, {"answers", 3}})};
    };
}

// What the client gives to every start of a run.
void start(RunJob* job) {
    job->start(QStringLiteral("K7QXM2PDW9"), QStringLiteral("Иванов"), QStringLiteral("pc"));
}

} // namespace

class TestClassClient : public QObject {
    Q_OBJECT
    TestCertificate m_pinned, m_other;
    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<Outbox> m_outbox;

    RunJob* newJob(const TlsPeer& peer) {
        return m_outbox->newRun({peer.url(), QStringLiteral("9А"), m_pinned.pem});
    }

    QVector<classjournal::RunEntry> journal() { return m_outbox->journal().runs(); }

private slots:
    void initTestCase() {
        // Made for a name the client never connects by: the pinned certificate is trusted
        // whatever it names; another one for the same name is not.
        m_pinned = TestCertificate::make(QStringLiteral("kviront.school.example"));
        m_other = TestCertificate::make(QStringLiteral("kviront.school.example"));
        QVERIFY(!m_pinned.pem.isEmpty() && !m_other.pem.isEmpty());
        DelaySeam::setManual(true);
    }
    void init() {
        m_home = std::make_unique<QTemporaryDir>();
        m_outbox = std::make_unique<Outbox>(m_home->filePath(QStringLiteral("kviront")));
    }
    void cleanup() {
        m_outbox.reset();
        classclient::setReplyFilter(nullptr);
    }

    // What a lying or foreign server says is refused with the reason: never a table of three
    // billion rows, never a test of the wrong size, never a call to an impostor.
    void whatAServerMustNotSayIsRefused_data() {
        QTest::addColumn<bool>("impostor");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("reason");
        auto with = [](QJsonObject o, const char* key, const QJsonValue& v) { // null: left out
            v.isNull() ? o.remove(QLatin1String(key)) : void(o.insert(QLatin1String(key), v));
            return json(o);
        };
        // A run's start that says `key` is `v`.
        auto says = [&](const char* key, const QJsonValue& v) { return with(run(), key, v); };
        const auto row = [](const char* name, const char* path, const QByteArray& body,
                            const char* reason, bool impostor = false) {
            QTest::newRow(name) << impostor << path << body << reason;
        };
        row("another certificate", "/start", json(run()), "не с тем сертификатом", true);
        row("three billion records", "/start", says("records", 3e9), "«records» вне допустимых");
        row("no record count", "/start", says("records", {}), "«records» отсутствует");
        row("record count as text", "/start", says("records", "5"), "«records» не число");
        row("half a record", "/start", says("records", 1.5), "«records» не целое");
        row("negative seconds", "/start", says("seconds", -35), "«seconds» вне допустимых");
        row("token no run has", "/start", says("token", "../../etc"), "не номер теста");
        QJsonObject twice = run();
        twice.insert("resumed", true);
        twice.insert("answers", QJsonArray{answer(1, 2), answer(1, 3)});
        row("an answer twice", "/start", json(twice), "называет вопрос 1 дважды");
        row("a question not asked for", "/question", json(question(2)),
            "называет вопрос 2 вместо 1");
        row("option 7", "/answer", with(answer(1, 2), "option", 7), "«option» вне допустимых");
        row("order state past 32 bits", "/start", says("orderState", 4294967296.0),
            "«orderState» вне допустимых");
        row("grades not falling", "/start", says("grades", QJsonArray{50, 75, 90}),
            "«grades» не три порога");
        row("a hidden answer that is there", "/answer", with(answer(1, 2), "answerHidden", true),
            "«rightAnswer» есть при скрытых");
        row("a body over the limit", "/question",
            QByteArray(qsizetype(classapi::maxReplyBytes) + 1, ' '), "больше 24 МБ");
    }
    void whatAServerMustNotSayIsRefused() {
        QFETCH(bool, impostor);
        QFETCH(QString, path);
        QFETCH(QByteArray, body);
        QFETCH(QString, reason);
        TlsPeer peer(impostor ? m_other : m_pinned,
                     honest([&](const QByteArray& p, const QJsonObject&) -> std::optional<Reply> {
                         if (QString::fromLatin1(p).endsWith(path))
                             return Reply{200, body};
                         return std::nullopt;
                     }));
        QVERIFY(peer.ok());
        RunJob* job = newJob(peer);
        QSignalSpy failed(job, &RunJob::failed);
        QSignalSpy ready(job, &RunJob::questionReady);
        QSignalSpy recorded(job, &RunJob::answerRecorded);
        start(job);
        if (path != QLatin1String("/start")) { // a run started, its answer 1 is asked for
            QTRY_COMPARE_WITH_TIMEOUT(job->token(), token, 10000);
            job->keep({0, 1, 2, 3}, QStringLiteral("Иванов"), QStringLiteral("9-05-03"));
            job->fetchQuestion(1);
            if (path == QLatin1String("/answer"))
                job->sendAnswer(1, 2, 3);
        }
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 20000);
        const QString message = failed[0][0].toString();
        QVERIFY2(message.contains(reason), qPrintable(message));
        QVERIFY2(message.contains(QStringLiteral("«127.0.0.1:")), qPrintable(message));
        if (impostor)
            QCOMPARE(peer.paths, QStringList()); // not a byte of the request reached it
        QCOMPARE(ready.size(), path == QLatin1String("/answer") ? 1 : 0);
        QCOMPARE(recorded.size(), 0);
        if (path == QLatin1String("/answer")) {
            // The answer is kept in the refused file, never dropped.
            const QJsonArray refused =
                QJsonDocument::fromJson(fileBytes(m_outbox->journal().refusedPath())).array();
            QCOMPARE(refused.size(), 1);
            QCOMPARE(refused[0].toObject().value("record").toInt(), 1);
            QCOMPARE(journal().value(0).answers.size(), 0);
        }
    }

    // Passing trouble is sent again after its pause, as often as it takes; the pause grows and
    // follows Retry-After; a call that gets no reply is given up and its connection closed.
    void passingTroubleIsSentAgainAfterItsPause_data() {
        QTest::addColumn<int>("mode"); // 0 scripted reply, 1 hang, 2 handshake cut
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("retryAfter");
        QTest::addColumn<QList<int>>("pauses");
        const QList<int> grown{1000, 2000, 4000};
        QTest::newRow("503 with Retry-After") << 0 << 503 << QByteArray("7") << QList<int>(3, 7000);
        QTest::newRow("429") << 0 << 429 << QByteArray() << grown;
        QTest::newRow("502 from a balancer") << 0 << 502 << QByteArray() << grown.mid(0, 2);
        QTest::newRow("504 from a balancer") << 0 << 504 << QByteArray() << grown.mid(0, 1);
        QTest::newRow("no reply") << 1 << 0 << QByteArray() << grown.mid(0, 2);
        QTest::newRow("handshake cut short") << 2 << 0 << QByteArray() << grown.mid(0, 2);
    }
    void passingTroubleIsSentAgainAfterItsPause() {
        QFETCH(int, mode);
        QFETCH(int, code);
        QFETCH(QByteArray, retryAfter);
        QFETCH(QList<int>, pauses);
        int troubles = int(pauses.size());
        TlsPeer peer(m_pinned,
                     honest([&](const QByteArray&, const QJsonObject&) -> std::optional<Reply> {
                         if (troubles-- <= 0)
                             return std::nullopt;
                         if (mode == 1)
                             return Reply{200, {}, {}, true};
                         QList<QPair<QByteArray, QByteArray>> h;
                         if (!retryAfter.isEmpty())
                             h.append({"Retry-After", retryAfter});
                         const char* error = code == 429 ? "too_many" : "unavailable";
                         return Reply{code, json({{"error", error}, {"message", "занят"}}), h};
                     }),
                     mode == 2 ? TlsPeer::CutHandshake : TlsPeer::Serve);
        QVERIFY(peer.ok());
        RunJob* job = newJob(peer);
        QSignalSpy waiting(job, &RunJob::waiting), started(job, &RunJob::started);
        start(job);
        for (int i = 0; i < pauses.size(); ++i) {
            if (mode == 1) {
                QTRY_COMPARE_WITH_TIMEOUT(peer.paths.size(), i + 1, 10000);
                QCOMPARE(DelaySeam::fireAll(Delay::Deadline), 1); // the call's time is up
            }
            QTRY_COMPARE_WITH_TIMEOUT(waiting.size(), i + 1, 10000);
            // Told to the trainee from the third failed try, or once the pauses reach 10 s.
            const int paused = std::accumulate(pauses.begin(), pauses.begin() + i + 1, 0);
            QCOMPARE(waiting[i][0].toBool(), i + 1 >= RunJob::quietTries || paused >= 10000);
            const QList<Delay*> pause = DelaySeam::running(Delay::Pause);
            QCOMPARE(pause.size(), 1);
            QCOMPARE(pause[0]->interval(), pauses[i]);
            QCOMPARE(started.size(), 0);
            if (mode == 2) // the handshake never started, so no request could be read
                QCOMPARE(peer.paths.size(), 0);
            DelaySeam::fireAll(Delay::Pause);
        }
        if (mode == 2)
            return; // that peer never answers
        QTRY_COMPARE_WITH_TIMEOUT(started.size(), 1, 10000);
        if (mode == 1) // the calls given up were closed, so the server stopped working for them
            QTRY_COMPARE_WITH_TIMEOUT(peer.closedByClient, int(pauses.size()), 10000);
    }

    // Requests go out one at a time in the order given, an end after its run's answers; each is
    // in the journal until the server has it, then out of it. A record the server no longer
    // remembers handing out is handed out again and the same answer sent.
    void answersAndTheEndAreJournaledAndSentInOrder() {
        bool forgotten = true;
        TlsPeer peer(
            m_pinned,
            honest([&](const QByteArray& p, const QJsonObject& b) -> std::optional<Reply> {
                if (p.endsWith("/answer") && b.value("record").toInt() == 3 && forgotten) {
                    forgotten = false;
                    return Reply{409, json({{"error", "not_handed_out"}, {"message", "не выдан"}})};
                }
                return std::nullopt;
            }));
        QVERIFY(peer.ok());
        RunJob* job = newJob(peer);
        QSignalSpy started(job, &RunJob::started);
        start(job);
        QTRY_COMPARE_WITH_TIMEOUT(started.size(), 1, 10000);
        job->keep({0, 2, 1, 3}, QStringLiteral("Иванов Иван  7-12-2026  9-05-03"),
                  QStringLiteral("9-05-03"));
        classclient::setReplyFilter(
            [](std::string_view, const QByteArray&) { return true; }); // the server is away
        job->sendAnswer(1, 2, 3.0);
        job->sendAnswer(3, 0, 34.0);
        job->finish(true);
        QSignalSpy waiting(job, &RunJob::waiting);
        QTRY_COMPARE_WITH_TIMEOUT(waiting.size(), 1, 10000);
        QCOMPARE(journal().size(), 1);
        const classjournal::RunEntry kept = journal()[0];
        QCOMPARE(kept.token, token);
        QCOMPARE(kept.order, (QVector<int>{0, 2, 1, 3}));
        QCOMPARE(kept.answers.size(), 2);
        QCOMPARE(std::pair(kept.answers[1].record, kept.answers[1].option), std::pair(3, 0));
        QCOMPARE(kept.end, std::optional<bool>(true));
        const QByteArray bytes = fileBytes(m_outbox->journal().path());
        QVERIFY(bytes.contains(token.toLatin1()));
        QVERIFY(!bytes.contains("rightAnswer")); // no right answer before the server sent it
        classclient::setReplyFilter(nullptr);
        QSignalSpy finished(job, &RunJob::finished);
        DelaySeam::fireAll(Delay::Pause);
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 10000);
        // The answer whose reply was lost goes again; the forgotten handing-out is made again.
        QCOMPARE(peer.paths,
                 (QStringList{"/api/v1/start", "/api/v1/answer", "/api/v1/answer", "/api/v1/answer",
                              "/api/v1/question", "/api/v1/answer", "/api/v1/finish"}));
        QCOMPARE(peer.bodies.last().value("completed").toBool(), true);
        QCOMPARE(journal().size(), 0);
    }

    // A journal that does not read is set aside for a person to look at, never lost or
    // written over; the program goes on with an empty one.
    void aDamagedJournalIsSetAside() {
        classjournal::Journal journal(m_home->filePath(QStringLiteral("damaged")));
        journal.keepRun({});
        writeFile(journal.path(), "{not json");
        QCOMPARE(journal.runs().size(), 0);
        const QStringList aside =
            QDir(journal.folder()).entryList({QStringLiteral("journal.damaged-*")});
        QCOMPARE(aside.size(), 1);
        QCOMPARE(fileBytes(QDir(journal.folder()).filePath(aside[0])), QByteArray("{not json"));
    }
};

QTEST_GUILESS_MAIN(TestClassClient)
#include "test_class_client.moc"
