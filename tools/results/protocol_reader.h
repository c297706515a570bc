#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

// Reading a test protocol back: the trainee, the times, every question block and how the run
// ended. A protocol is untrusted input (any file in a folder, perhaps edited by hand), so the
// reader never throws on content; it says what is wrong instead.
namespace results {

// The texts of a block are views into the text the Protocol holds (a year of protocols has
// millions of them, and copying each would cost more than reading the files): keep the
// Protocol, or a copy of it, as long as a block's texts are used.
struct QuestionBlock {
    int record = 0;       // "Вопрос № N": the record of the bank
    QStringView question; // may hold line breaks (LF)
    QStringView options[4];
    int answer = 0;        // 1 … 4, or 0 for a time-out
    QStringView rightText; // as written after "Правильный ответ:"
    int rightNumber = 0;   // the right option as a number, 0 when the text reads as none
    double usedSeconds = 0;
    QStringView allowedText;
    bool timeOutLines = false; // "Вы не успели ответить на вопрос!" follows the block
    // Seconds the classroom server measured from handing the question out to the answer;
    // -1 for a protocol file, which has only the trainee's own count.
    double serverSeconds = -1;

    bool rightHidden = false; // the sitting kept the right answer: the block cannot say
    bool right() const { return rightNumber != 0 && answer == rightNumber; }
    bool timedOut() const { return answer == 0; }
};

struct Protocol {
    QString name;
    QString date;       // of the header: the start of the run
    QString headerTime; // of the header
    QString startTime;  // "Тест начат в …"
    QString endTime;    // "Тест окончен в …"
    bool finished = false;
    bool notClosed = false; // a server run with every answer whose end never arrived
    QList<QuestionBlock> blocks;
    // The counts of the result line of a finished run (-1 where the line holds no number).
    int resultRight = -1;
    int resultWrong = -1;
    int resultTotal = -1;
    // Why the result line disagrees with the blocks; empty when it agrees.
    QString mismatch;

    // Right answers: by the blocks, or by the result line where the sitting hid the right answers.
    int rightCount() const;
    bool answersHidden() const;
    int timeOutCount() const;

    // What the blocks' texts refer to: the file's text, and multi-line texts joined with LF
    // where the file has CR LF. Shared, never changed after reading.
    QString source;
    QStringList joined;
};

struct ReadResult {
    bool ok = false;
    QString error; // the reason a file is no protocol or is damaged, in Russian
    Protocol protocol;
};

// `text` is the decoded file; lines end with LF or CR LF. The result shares it.
ReadResult readProtocol(const QString& text);

// A number as the program writes it: blanks around allowed, "." or "," before a fraction.
bool readNumber(QStringView text, double* value);

// Seconds since midnight of a time text such as "9-05-03" or "09:05:03"; -1 when it is none.
int secondsOfDay(QStringView text);

} // namespace results
