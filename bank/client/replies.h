#pragma once

#include "error.h"

#include <QByteArray>
#include <QChar>
#include <QJsonObject>
#include <QString>
#include <QVector>
#include <array>
#include <cstdint>
#include <optional>

// The server's replies as the program uses them, each number checked before it is used: a
// server that lies (a record count of 3 billion, a record it was not asked for, a negative
// time) is refused with a message, never believed.
namespace classclient {

// An answer as the server recorded it (the first one, for an answer sent again).
struct RecordedAnswer {
    int record = 0;
    int option = 0;        // as recorded: 0 for a time-out
    bool timedOut = false; // the server found the answer late and recorded a time-out
    std::optional<bool> right;
    QString rightAnswer;       // the record's PrOtvet, as the bank holds it; empty when hidden
    bool answerHidden = false; // the sitting keeps its right answers until it closes
    double seconds = 0;        // as the program counted them
    double serverSeconds = 0;
    bool repeated = false;
};

struct RunInfo {
    QString token;
    int records = 0;
    int seconds = 0; // the sitting's time per question
    QChar decimalSeparator = QLatin1Char('.');
    QString trainee; // as the class list gives it, or as signed in for an unnamed code
    QString bank;
    int version = 0;
    bool resumed = false;
    // The generator's starting state for this run's own order; none: the program's fixed order.
    std::optional<std::uint32_t> orderState;
    bool hideAnswers = false;
    std::optional<std::array<int, 3>>
        grades;                      // for a 5, a 4 and a 3, when the trainee sees the grade
    QVector<RecordedAnswer> answers; // those the server already has, in the order given
};

struct Question {
    int record = 0;
    QString name;
    QString vopros;
    QString otvet[4];
    QByteArray graph; // the picture's bytes, empty for none
};

struct Finished {
    bool completed = false;
    int answers = 0;
};

// A reply that breaks the API's promises. Its message says what, in Russian.
class ReplyError : public Error {
public:
    using Error::Error;
};

// Each throws ReplyError.
RunInfo readRun(const QJsonObject& reply);
Question readQuestion(const QJsonObject& reply, int record);
RecordedAnswer readAnswer(const QJsonObject& reply, int record, int records);
Finished readFinished(const QJsonObject& reply, int records);

} // namespace classclient
