#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <QVector>
#include <functional>

// Questions as the exchange formats carry them, and what a source could not give. Parsers
// fill a Result and touch no bank, so they are tested and fuzzed on bytes alone.
namespace exchange {

struct Question {
    int line = 0;     // where it starts in its source (1-based); the record number from a bank
    QVariant name;    // Name: a number, a text, or nothing
    QString vopros;   // question text, lines separated by "\n"
    QString otvet[4]; // answer options 1 to 4
    QVariant prOtvet; // from a source: 1 to 4; from a bank: its text form as stored
    QByteArray graph; // a bitmap file image the program reads, or empty
};

// One line of a source and what is wrong there (or worth saying).
struct Message {
    int line = 0;
    QString text;
};

struct Result {
    QVector<Question> questions; // taken questions, unless a sink takes them
    QVector<Message> refusals;   // questions left out, and why
    QVector<Message> notes;      // taken questions with something worth knowing
    int taken = 0;
    bool broken = false; // the source could not be read to its end: its last refusal says why
    // When set, taken questions go here one by one instead of into `questions`.
    std::function<void(Question&)> sink;

    void take(Question& question);
    void refuse(int line, const QString& text) { refusals.append({line, text}); }
    void note(int line, const QString& text) { notes.append({line, text}); }
    void breakOff(int line, const QString& text);
};

// Name for a question whose source numbers it (a title or a name): an integer when the text
// is one, else the position the question takes among those taken.
QVariant nameFrom(const QString& text, const Result& result);

// Texts of a source with "\r\n" and "\r" as "\n".
QString unifyLineEnds(QString text);

} // namespace exchange
