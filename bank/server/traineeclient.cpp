#include "traineeclient.h"

#include "traineecalls.h"

namespace serverbank {
namespace {

using Kind = ServerError::Kind;

// What a trainee (and the teacher reading the message) should hear for each refusal.
QString messageFor(Kind kind, const QString& server, const QString& bank) {
    switch (kind) {
    case Kind::SchemaMissing:
        return QStringLiteral("На сервере класса «%1» нет функций теста: схема базы не создана "
                              "или старее этой программы. Администратору: выполните "
                              "«kviront-bank server init».")
            .arg(server);
    case Kind::AccessDenied:
        return QStringLiteral("Сервер класса «%1» не разрешает этому пользователю проводить "
                              "тест: в ссылке на банк должен быть пользователь kviront_trainee.")
            .arg(server);
    case Kind::BankUnknown:
        return QStringLiteral("На сервере класса «%1» нет банка вопросов «%2».").arg(server, bank);
    case Kind::RunUnknown:
        return QStringLiteral("Сервер класса «%1» не знает этого теста.").arg(server);
    case Kind::RunFinished:
        return QStringLiteral("Сервер класса «%1»: этот тест уже закончен.").arg(server);
    case Kind::NotHandedOut:
        return QStringLiteral("Сервер класса «%1»: ответ на вопрос, который ещё не был выдан.")
            .arg(server);
    case Kind::NoSuchRecord:
        return QStringLiteral("Сервер класса «%1»: в банке нет такого вопроса.").arg(server);
    default:
        return {};
    }
}

} // namespace

pg::Result TraineeClient::call(const char* sql, const QVector<pg::Param>& params, bool binary) {
    try {
        return m_connection.exec(sql, params, binary);
    } catch (const ServerError& e) {
        const QString bank = params.isEmpty() ? QString() : QString::fromUtf8(params[0].value);
        const QString text = messageFor(e.kind(), m_connection.serverName(), bank);
        if (text.isEmpty())
            throw;
        throw ServerError(e.kind(), text);
    }
}

RunStart TraineeClient::startRun(const QString& bank, const QString& trainee, const QString& host,
                                 int allowedSeconds, QChar decimalSeparator) {
    const pg::Result r =
        call(calls::startRun, {bank, trainee, host, allowedSeconds, QString(decimalSeparator)});
    if (r.rows() != 1)
        throw ServerError(
            Kind::Other,
            QStringLiteral("Сервер класса «%1» не начал тест.").arg(m_connection.serverName()));
    const int api = int(r.integer(0, 3));
    if (api > apiVersion)
        throw ServerError(Kind::SchemaTooNew,
                          QStringLiteral("Схема базы на сервере класса «%1» новее этой программы "
                                         "(версия функций теста %2, программа знает %3): "
                                         "обновите программу.")
                              .arg(m_connection.serverName())
                              .arg(api)
                              .arg(apiVersion));
    return {r.text(0, 0), int(r.integer(0, 1)), int(r.integer(0, 2))};
}

ServerQuestion TraineeClient::question(const QString& token, int record) {
    // Binary results: the picture arrives as its bytes, not as twice as many hex digits.
    const pg::Result r = call(calls::question, {token, record}, true);
    if (r.rows() != 1)
        throw ServerError(Kind::NoSuchRecord,
                          messageFor(Kind::NoSuchRecord, m_connection.serverName(), {}));
    ServerQuestion q;
    q.name = QString::fromUtf8(r.raw(0, 0));
    q.vopros = QString::fromUtf8(r.raw(0, 1));
    for (int k = 0; k < 4; ++k)
        q.otvet[k] = QString::fromUtf8(r.raw(0, 2 + k));
    q.graph = r.raw(0, 6);
    return q;
}

RecordedAnswer TraineeClient::answer(const QString& token, int record, int option, double seconds) {
    const pg::Result r = call(calls::answer, {token, record, option, seconds});
    if (r.rows() != 1)
        throw ServerError(
            Kind::Other,
            QStringLiteral("Сервер класса «%1» не записал ответ.").arg(m_connection.serverName()));
    RecordedAnswer a;
    a.prOtvet = r.text(0, 0);
    if (!r.isNull(0, 1))
        a.right = r.flag(0, 1);
    a.option = int(r.integer(0, 2));
    a.seconds = r.number(0, 3);
    a.serverSeconds = r.number(0, 4);
    return a;
}

bool TraineeClient::finishRun(const QString& token, bool finished) {
    const pg::Result r = call(calls::finishRun, {token, finished});
    return r.rows() == 1 && r.flag(0, 0);
}

} // namespace serverbank
