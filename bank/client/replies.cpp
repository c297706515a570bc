#include "replies.h"

#include "classapi.h"

#include <QJsonArray>
#include <QSet>
#include <QUuid>
#include <cmath>

namespace classclient {
namespace {

QString name(std::string_view key) {
    return QString::fromLatin1(key.data(), qsizetype(key.size()));
}

[[noreturn]] void bad(std::string_view key, const QString& what) {
    throw ReplyError(QStringLiteral("поле «%1» %2").arg(name(key), what));
}

QJsonValue member(const QJsonObject& o, std::string_view key) {
    const QJsonValue v = o.value(name(key));
    if (v.isUndefined())
        bad(key, QStringLiteral("отсутствует"));
    return v;
}

double number(const QJsonObject& o, std::string_view key, double min, double max) {
    const QJsonValue v = member(o, key);
    const double d = v.toDouble(std::nan(""));
    if (!v.isDouble() || !std::isfinite(d))
        bad(key, QStringLiteral("не число"));
    if (d < min || d > max)
        bad(key, QStringLiteral("вне допустимых пределов (%1)").arg(d));
    return d;
}

int integer(const QJsonObject& o, std::string_view key, int min, int max) {
    const double d = number(o, key, min, max);
    if (d != std::floor(d))
        bad(key, QStringLiteral("не целое число"));
    return int(d);
}

bool flag(const QJsonObject& o, std::string_view key) {
    const QJsonValue v = member(o, key);
    if (!v.isBool())
        bad(key, QStringLiteral("не «да» или «нет»"));
    return v.toBool();
}

QString text(const QJsonObject& o, std::string_view key, qsizetype maxChars) {
    const QJsonValue v = member(o, key);
    if (!v.isString())
        bad(key, QStringLiteral("не текст"));
    const QString s = v.toString();
    if (s.size() > maxChars)
        bad(key, QStringLiteral("длиннее %1 знаков").arg(maxChars));
    if (s.contains(QChar(0)))
        bad(key, QStringLiteral("содержит нулевой символ"));
    return s;
}

// A member an older server does not send reads as null.
bool absentOrNull(const QJsonObject& o, std::string_view key) {
    const QJsonValue v = o.value(name(key));
    return v.isUndefined() || v.isNull();
}

constexpr qsizetype anyLength = qsizetype(classapi::maxReplyBytes);
constexpr int maxRightAnswerChars = 10000;
constexpr double maxServerSeconds = 1e9;

} // namespace

RunInfo readRun(const QJsonObject& o) {
    namespace key = classapi::key;
    RunInfo run;
    run.token = text(o, key::token, 64);
    if (QUuid::fromString(run.token).isNull())
        bad(key::token, QStringLiteral("не номер теста"));
    run.records = integer(o, key::records, 1, classapi::maxRecords);
    run.seconds = integer(o, key::seconds, 1, 3600);
    if (!classapi::isAllowedSeconds(run.seconds))
        bad(key::seconds, QStringLiteral("не 30, 35, 45 или 60 секунд"));
    const QString separator = text(o, key::decimalSeparator, 1);
    if (separator != QLatin1String(".") && separator != QLatin1String(","))
        bad(key::decimalSeparator, QStringLiteral("не точка и не запятая"));
    run.decimalSeparator = separator[0];
    run.trainee = text(o, key::trainee, classapi::maxTraineeChars);
    if (run.trainee.trimmed().isEmpty())
        bad(key::trainee, QStringLiteral("пусто"));
    run.bank = text(o, key::bank, anyLength);
    run.version = integer(o, key::bankVersion, 1, 2147483647);
    run.resumed = flag(o, key::resumed);
    if (!absentOrNull(o, key::orderState)) {
        const double state = number(o, key::orderState, 0, 4294967295.0);
        if (state != std::floor(state))
            bad(key::orderState, QStringLiteral("не целое число"));
        run.orderState = std::uint32_t(state);
    }
    run.hideAnswers = !absentOrNull(o, key::hideAnswers) && flag(o, key::hideAnswers);
    if (!absentOrNull(o, key::grades)) {
        const QJsonArray g = member(o, key::grades).toArray();
        std::array<int, 3> grades{};
        for (int k = 0; k < 3 && g.size() == 3; ++k)
            grades[k] = g.at(k).isDouble() ? g.at(k).toInt(-1) : -1;
        const classapi::Grades checked{grades[0], grades[1], grades[2]};
        if (g.size() != 3 || !classapi::isValid(checked))
            bad(key::grades, QStringLiteral("не три порога оценок"));
        run.grades = grades;
    }
    const QJsonValue answers = member(o, key::answers);
    if (!answers.isArray())
        bad(key::answers, QStringLiteral("не список"));
    const QJsonArray list = answers.toArray();
    if (list.size() > run.records)
        bad(key::answers, QStringLiteral("длиннее числа вопросов"));
    QSet<int> seen;
    for (const QJsonValue& a : list) {
        if (!a.isObject())
            bad(key::answers, QStringLiteral("содержит не ответ"));
        const RecordedAnswer answer = readAnswer(a.toObject(), 0, run.records);
        if (seen.contains(answer.record))
            bad(key::answers, QStringLiteral("называет вопрос %1 дважды").arg(answer.record));
        seen.insert(answer.record);
        run.answers.append(answer);
    }
    return run;
}

Question readQuestion(const QJsonObject& o, int record) {
    namespace key = classapi::key;
    Question q;
    q.record = integer(o, key::record, 1, classapi::maxRecords);
    if (q.record != record)
        bad(key::record, QStringLiteral("называет вопрос %1 вместо %2").arg(q.record).arg(record));
    q.name = text(o, key::name, anyLength);
    q.vopros = text(o, key::vopros, anyLength);
    const QJsonValue otvet = member(o, key::otvet);
    if (!otvet.isArray() || otvet.toArray().size() != 4)
        bad(key::otvet, QStringLiteral("не четыре варианта ответа"));
    for (int k = 0; k < 4; ++k) {
        const QJsonValue v = otvet.toArray().at(k);
        if (!v.isString() || v.toString().contains(QChar(0)))
            bad(key::otvet, QStringLiteral("содержит не текст"));
        q.otvet[k] = v.toString();
    }
    const QString graph = text(o, key::graph, anyLength);
    const auto decoded =
        QByteArray::fromBase64Encoding(graph.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        bad(key::graph, QStringLiteral("не base64"));
    if (std::size_t(decoded.decoded.size()) > classapi::maxPictureBytes)
        bad(key::graph, QStringLiteral("больше %1 МБ").arg(classapi::maxPictureBytes >> 20));
    q.graph = decoded.decoded;
    return q;
}

RecordedAnswer readAnswer(const QJsonObject& o, int record, int records) {
    namespace key = classapi::key;
    RecordedAnswer a;
    a.record = integer(o, key::record, 1, records);
    if (record != 0 && a.record != record)
        bad(key::record, QStringLiteral("называет вопрос %1 вместо %2").arg(a.record).arg(record));
    a.option = integer(o, key::option, 0, 4);
    a.timedOut = flag(o, key::timedOut);
    if (a.timedOut && a.option != 0)
        bad(key::option, QStringLiteral("не 0 при ответе, записанном как опоздавший"));
    const QJsonValue right = member(o, key::right);
    if (!right.isNull() && !right.isBool())
        bad(key::right, QStringLiteral("не «да», «нет» или null"));
    if (right.isBool())
        a.right = right.toBool();
    // A sitting that hides its right answers sends the verdict alone.
    a.answerHidden = !absentOrNull(o, key::answerHidden) && flag(o, key::answerHidden);
    if (a.answerHidden && o.contains(name(key::rightAnswer)))
        bad(key::rightAnswer, QStringLiteral("есть при скрытых ответах"));
    if (!a.answerHidden)
        a.rightAnswer = text(o, key::rightAnswer, maxRightAnswerChars);
    a.seconds = number(o, key::seconds, 0, classapi::maxSeconds);
    a.serverSeconds = number(o, key::serverSeconds, 0, maxServerSeconds);
    const QJsonValue repeated = o.value(name(key::repeated));
    if (!repeated.isUndefined() && !repeated.isBool())
        bad(key::repeated, QStringLiteral("не «да» или «нет»"));
    a.repeated = repeated.toBool();
    return a;
}

Finished readFinished(const QJsonObject& o, int records) {
    namespace key = classapi::key;
    Finished f;
    f.completed = flag(o, key::completed);
    f.answers = integer(o, key::answers, 0, records);
    return f;
}

} // namespace classclient
