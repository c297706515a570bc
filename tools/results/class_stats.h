#pragma once

#include "classapi.h"
#include "protocol_reader.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// The figures of a class: one row per run and one analysis per question, gathered file by
// file so that a year of protocols never has to sit in memory at once.
//
// Definitions (the README repeats them for teachers):
// - score of a run: right answers / questions in the run × 100 %; a time-out is a wrong answer,
//   as in the protocol's own result line.
// - difficulty of a question: right answers / times shown, over all runs.
// - discrimination: right share in the upper group − right share in the lower group, each over
//   the runs of that group that showed the question. The groups are the top and the bottom
//   ceil(27 % of the finished runs) by score (ties keep file order); abandoned runs take no
//   part, their score covers only part of the test. Undefined (NaN) while the two groups would
//   overlap or one of them never saw the question.
// - median seconds: the median of the seconds used over all times shown, time-outs included.
namespace results {

// Verdict thresholds.
constexpr int minShownForVerdict = 5;
constexpr double easyFrom = 0.9;          // difficulty at or above: too easy
constexpr double hardUpTo = 0.2;          // difficulty at or below: too hard
constexpr double discriminatesFrom = 0.2; // discrimination below: does not tell apart

struct RunRow {
    QString file;
    QString name;
    QString date;
    QString startTime;
    QString endTime;
    bool finished = false;
    bool notClosed = false; // finished, its end never told to the server
    int questions = 0;
    int right = 0;
    int wrong = 0; // time-outs included
    int timeOuts = 0;
    double percent = 0;
    int totalSeconds = -1;     // -1 when the times do not read
    double answerSeconds = 0;  // the seconds used of every answer, as the trainee's clock counted
    double serverSeconds = -1; // the same as the server measured them; -1 when not measured
    QString mismatch;          // why the run is "не сходится"
    int grade = 0;             // 2 … 5 for a finished run with grade thresholds, 0 otherwise
    QString order;             // its own order of questions, the records as shown; empty: none
};

// What a run from the classroom server brings beyond its protocol.
struct RunExtras {
    std::optional<classapi::Grades> grades; // its sitting's thresholds
    QString order;                          // as RunRow::order
};

// "да", "нет", or "закончен, не закрыт" for a run whose end never reached the server.
QString finishedText(const RunRow& row);

struct QuestionStats {
    QString question;
    QString options[4];
    int record = 0;      // the record number it was first seen under
    int rightNumber = 0; // as first seen; 0 when the protocol's text names no option
    int shown = 0;
    int right = 0;
    int chosen[5] = {0, 0, 0, 0, 0}; // [0]: time-outs, [1..4]: options
    double difficulty = 0;
    double discrimination = 0; // NaN when undefined
    double medianSeconds = 0;
    double medianServerSeconds = -1; // -1 when no answer was measured by the server
    QStringList verdicts;
};

struct SkippedFile {
    QString file;
    QString reason;
};

class ClassResults {
public:
    void add(const QString& file, const Protocol& protocol, const RunExtras& extras = {});
    // Thresholds for every run added from now on, in place of the run's own (--grades).
    void setGrades(const std::optional<classapi::Grades>& grades) { m_grades = grades; }
    void skip(const QString& file, const QString& reason);
    // Computes groups, discrimination, medians and verdicts; call once, after the last add.
    void finish();

    const QList<RunRow>& runs() const { return m_runs; }
    // In the order of their record numbers, then of their first appearance.
    const QList<QuestionStats>& questions() const { return m_questions; }
    const QList<SkippedFile>& skipped() const { return m_skipped; }
    int groupSize() const { return m_groupSize; }
    int finishedRuns() const;
    // Some runs came from the classroom server, whose own time of every answer is shown
    // beside the trainee's.
    bool hasServerSeconds() const { return m_hasServerSeconds; }
    bool hasGrades() const { return m_hasGrades; }
    bool hasOrders() const { return m_hasOrders; }

private:
    // `span`: the block's texts as they stand together in its file (see blockSpan()).
    int questionIndex(const QuestionBlock& block, QStringView span);
    int indexByTexts(const QuestionBlock& block, QStringView span);
    bool sameTexts(int index, const QuestionBlock& block) const;
    int lastUnder(int record) const; // -1: none
    void setLastUnder(int record, int question);

    QList<RunRow> m_runs;
    QList<QuestionStats> m_questions;
    QList<SkippedFile> m_skipped;
    QMultiHash<size_t, int> m_index; // hash of the texts -> question
    // Record number -> question last seen under it: small numbers (a bank's) by place, every
    // block looks one up.
    std::vector<int> m_bySmallRecord;                // -1: none
    QHash<int, int> m_byRecord;                      // the others
    std::vector<QString> m_spans;                    // per question: its first block's span
    std::vector<std::vector<float>> m_seconds;       // per question
    std::vector<std::vector<float>> m_serverSeconds; // per question
    bool m_hasServerSeconds = false;
    std::optional<classapi::Grades> m_grades;
    bool m_hasGrades = false, m_hasOrders = false;
    std::vector<std::vector<quint32>> m_answers; // per run: question index × 2 + right
    int m_groupSize = 0;
};

} // namespace results

// Moved, not copied, as a year's runs are appended.
Q_DECLARE_TYPEINFO(results::RunRow, Q_RELOCATABLE_TYPE);
