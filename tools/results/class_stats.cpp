#include "class_stats.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>

namespace results {
namespace {

int runSeconds(const Protocol& p) {
    const int start = secondsOfDay(p.startTime);
    const int end = secondsOfDay(p.endTime);
    if (start < 0 || end < 0)
        return -1;
    return end >= start ? end - start : end + 24 * 3600 - start; // a run past midnight
}

double median(std::vector<float>& values) {
    if (values.empty())
        return 0;
    const size_t mid = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + mid, values.end());
    const double upper = values[mid];
    if (values.size() % 2 == 1)
        return upper;
    const double lower = *std::max_element(values.begin(), values.begin() + mid);
    return (lower + upper) / 2;
}

QStringList verdictsOf(const QuestionStats& q) {
    if (q.shown < minShownForVerdict)
        return {QStringLiteral("мало ответов")};
    QStringList v;
    if (q.difficulty >= easyFrom)
        v << QStringLiteral("слишком лёгкий");
    else if (q.difficulty <= hardUpTo)
        v << QStringLiteral("слишком трудный");
    else if (!std::isnan(q.discrimination) && q.discrimination < discriminatesFrom)
        v << QStringLiteral("не различает");
    if (q.rightNumber != 0)
        for (int k = 1; k <= 4; ++k)
            if (k != q.rightNumber && q.chosen[k] > q.chosen[q.rightNumber])
                v << QStringLiteral("вариант %1 выбирают чаще верного").arg(k);
    return v;
}

// Inline, lengths first: every block of every run is compared so.
bool same(const QString& a, QStringView b) {
    return a.size() == b.size() &&
           std::memcmp(a.constData(), b.utf16(), size_t(a.size()) * sizeof(char16_t)) == 0;
}

// The file's text from the question's first character to the last option's last: the lines
// the reader cut the five texts from, so that the same span gives the same texts. Empty when
// a text is not a piece of the file (the reader joined its lines anew).
QStringView blockSpan(const QuestionBlock& b, const Protocol& p) {
    const QChar* const begin = p.source.constData();
    const QChar* const end = begin + p.source.size();
    const QChar* last = b.question.data();
    for (QStringView text : {b.question, b.options[0], b.options[1], b.options[2], b.options[3]}) {
        if (text.data() < last || text.data() + text.size() > end || text.data() < begin)
            return {};
        last = text.data() + text.size();
    }
    return QStringView(b.question.data(), last);
}

} // namespace

bool ClassResults::sameTexts(int index, const QuestionBlock& b) const {
    const QuestionStats& q = m_questions[index];
    return same(q.question, b.question) && same(q.options[0], b.options[0]) &&
           same(q.options[1], b.options[1]) && same(q.options[2], b.options[2]) &&
           same(q.options[3], b.options[3]);
}

constexpr int smallRecords = 1 << 16;

int ClassResults::lastUnder(int record) const {
    if (record >= 0 && record < smallRecords)
        return size_t(record) < m_bySmallRecord.size() ? m_bySmallRecord[size_t(record)] : -1;
    return m_byRecord.value(record, -1);
}

void ClassResults::setLastUnder(int record, int question) {
    if (record >= 0 && record < smallRecords) {
        if (size_t(record) >= m_bySmallRecord.size())
            m_bySmallRecord.resize(size_t(record) + 1, -1);
        m_bySmallRecord[size_t(record)] = question;
    } else {
        m_byRecord.insert(record, question);
    }
}

int ClassResults::questionIndex(const QuestionBlock& b, QStringView span) {
    // Protocols of one bank give a question the same record number every time: the question
    // last seen under that number is tried first, which spares hashing its texts. Its span,
    // where both have one, settles it in one comparison.
    const int last = lastUnder(b.record);
    if (last >= 0) {
        const QString& known = m_spans[size_t(last)];
        if (!span.isEmpty() && known.size() == span.size() &&
            std::memcmp(known.constData(), span.utf16(), size_t(span.size()) * sizeof(char16_t)) ==
                0)
            return last;
        if (sameTexts(last, b))
            return last;
    }
    const int i = indexByTexts(b, span);
    setLastUnder(b.record, i);
    return i;
}

int ClassResults::indexByTexts(const QuestionBlock& b, QStringView span) {
    // Hashed field by field and compared with the stored texts: no key string per block.
    size_t hash = qHash(b.question);
    for (QStringView option : b.options)
        hash = hash * 31 + qHash(option);
    for (auto it = m_index.constFind(hash); it != m_index.constEnd() && it.key() == hash; ++it)
        if (sameTexts(*it, b))
            return *it;
    QuestionStats q;
    q.question = b.question.toString();
    for (int k = 0; k < 4; ++k)
        q.options[k] = b.options[k].toString();
    q.record = b.record;
    q.rightNumber = b.rightNumber;
    m_questions.append(q);
    m_spans.push_back(span.toString());
    m_seconds.emplace_back();
    m_serverSeconds.emplace_back();
    m_index.insert(hash, int(m_questions.size() - 1));
    return int(m_questions.size() - 1);
}

QString finishedText(const RunRow& row) {
    if (row.notClosed)
        return QStringLiteral("закончен, не закрыт");
    return row.finished ? QStringLiteral("да") : QStringLiteral("нет");
}

void ClassResults::add(const QString& file, const Protocol& p, const RunExtras& extras) {
    RunRow row;
    row.file = file;
    row.name = p.name;
    row.date = p.date;
    row.startTime = p.startTime;
    row.endTime = p.endTime;
    row.finished = p.finished;
    row.notClosed = p.notClosed;
    row.questions = int(p.blocks.size());
    row.mismatch = p.mismatch;
    row.totalSeconds = runSeconds(p);
    std::vector<quint32> answers;
    answers.reserve(p.blocks.size());
    for (const QuestionBlock& b : p.blocks) {
        const int i = questionIndex(b, blockSpan(b, p));
        QuestionStats& q = m_questions[i];
        ++q.shown;
        ++q.chosen[b.answer];
        q.right += b.right() ? 1 : 0;
        row.right += b.right() ? 1 : 0;
        row.timeOuts += b.timedOut() ? 1 : 0;
        m_seconds[size_t(i)].push_back(float(b.usedSeconds));
        row.answerSeconds += b.usedSeconds;
        if (b.serverSeconds >= 0) {
            m_serverSeconds[size_t(i)].push_back(float(b.serverSeconds));
            row.serverSeconds = std::max(row.serverSeconds, 0.0) + b.serverSeconds;
            m_hasServerSeconds = true;
        }
        answers.push_back(quint32(i) * 2 + (b.right() ? 1 : 0));
    }
    if (p.answersHidden())
        row.right = p.rightCount(); // the result line's: the blocks cannot say
    row.wrong = row.questions - row.right;
    row.percent = row.questions > 0 ? 100.0 * row.right / row.questions : 0;
    const std::optional<classapi::Grades> grades = m_grades ? m_grades : extras.grades;
    if (grades && p.finished)
        row.grade = classapi::gradeOf(row.right, row.questions, *grades);
    m_hasGrades = m_hasGrades || grades.has_value();
    row.order = extras.order;
    m_hasOrders = m_hasOrders || !row.order.isEmpty();
    m_runs.append(std::move(row));
    m_answers.push_back(std::move(answers));
}

void ClassResults::skip(const QString& file, const QString& reason) {
    m_skipped.append({file, reason});
}

int ClassResults::finishedRuns() const {
    return int(
        std::count_if(m_runs.begin(), m_runs.end(), [](const RunRow& r) { return r.finished; }));
}

void ClassResults::finish() {
    std::vector<int> order;
    for (int i = 0; i < m_runs.size(); ++i)
        if (m_runs[i].finished)
            order.push_back(i);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return m_runs[a].percent > m_runs[b].percent; });
    const int n = int(order.size());
    m_groupSize = int(std::ceil(0.27 * n - 1e-9));
    const bool groups = n > 0 && 2 * m_groupSize <= n;
    const size_t count = size_t(m_questions.size());
    std::vector<int> upperShown(count), upperRight(count), lowerShown(count), lowerRight(count);
    for (int g = 0; groups && g < m_groupSize; ++g) {
        for (quint32 a : m_answers[size_t(order[size_t(g)])])
            ++upperShown[a / 2], upperRight[a / 2] += int(a % 2);
        for (quint32 a : m_answers[size_t(order[size_t(n - 1 - g)])])
            ++lowerShown[a / 2], lowerRight[a / 2] += int(a % 2);
    }
    for (size_t i = 0; i < count; ++i) {
        QuestionStats& q = m_questions[qsizetype(i)];
        q.difficulty = q.shown > 0 ? double(q.right) / q.shown : 0;
        q.discrimination =
            upperShown[i] > 0 && lowerShown[i] > 0
                ? double(upperRight[i]) / upperShown[i] - double(lowerRight[i]) / lowerShown[i]
                : std::numeric_limits<double>::quiet_NaN();
        q.medianSeconds = median(m_seconds[i]);
        if (!m_serverSeconds[i].empty())
            q.medianServerSeconds = median(m_serverSeconds[i]);
        q.verdicts = verdictsOf(q);
    }
    std::vector<int> sorted(count);
    std::iota(sorted.begin(), sorted.end(), 0);
    std::stable_sort(sorted.begin(), sorted.end(),
                     [&](int a, int b) { return m_questions[a].record < m_questions[b].record; });
    QList<QuestionStats> questions;
    for (int i : sorted)
        questions.append(m_questions[i]);
    m_questions = questions;
    m_seconds.clear();
    m_serverSeconds.clear();
    m_answers.clear();
    m_spans.clear();
    m_index.clear(); // its positions no longer hold
    m_byRecord.clear();
    m_bySmallRecord.clear();
}

} // namespace results
