#include "protocol_reader.h"

#include "classapi.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define KV_SPLIT_AVX2
#include <immintrin.h>
#endif

namespace results {
namespace {

const QString started = QStringLiteral("Тест начат в ");
const QString ended = QStringLiteral("Тест окончен в ");
const QString questionMark = QStringLiteral("Вопрос № ");
const QString contentMark = QStringLiteral("Содержание вопроса:");
const QString answerMark = QStringLiteral("Ваш ответ № ");
const QString rightMark = QStringLiteral("Правильный ответ:");
const QString hiddenMark = QString::fromUtf8(classapi::hiddenRightAnswer.data(),
                                             qsizetype(classapi::hiddenRightAnswer.size()));
const QString usedMark = QStringLiteral("Вы отвечали на вопрос: ");
const QString ofMark = QStringLiteral(" сек. из ");
const QString timeOutText = QStringLiteral("Вы не успели ответить на вопрос!");
const QString unfinishedText = QStringLiteral("Тест до конца не пройден.");
const QString resultStart = QStringLiteral("Проверка Вашего уровня знаний завершена.");
const QString resultRight =
    QStringLiteral("Проверка Вашего уровня знаний завершена. Ваш результат: правильных ответов ");
const QString resultWrong = QStringLiteral(". Неправильных ответов ");
const QString resultTotal = QStringLiteral(". Всего вопросов ");
const QString separator = QStringLiteral("\\\\") + QString(63, QLatin1Char('-'));

using Lines = std::vector<QStringView>;

// The place of every LF in a group of bits noted at `*count` on; two are written even when
// the group holds fewer, so that the usual group of none or one takes no branch.
template <class Mask>
Q_ALWAYS_INLINE void noteEnds(Mask mask, qsizetype at, qsizetype* ends, size_t* count) {
    ends[*count] = at + std::countr_zero(mask);
    *count += mask != 0 ? 1 : 0;
    mask &= mask - 1;
    ends[*count] = at + std::countr_zero(mask);
    *count += mask != 0 ? 1 : 0;
    mask &= mask - 1;
    for (; mask != 0; mask &= mask - 1)
        ends[(*count)++] = at + std::countr_zero(mask);
}

#if defined(KV_SPLIT_AVX2)
// Sixty-four characters at a time where the processor can.
__attribute__((target("avx2"))) qsizetype
findEndsAvx2(const char16_t* data, qsizetype size, std::vector<qsizetype>& ends, size_t* count) {
    const __m256i lf = _mm256_set1_epi8('\n');
    qsizetype i = 0;
    for (; i + 64 <= size; i += 64) {
        const auto* chunk = reinterpret_cast<const __m256i*>(data + i);
        // Packing works within halves; the permutation puts the characters back in order.
        const __m256i low = _mm256_permute4x64_epi64(
            _mm256_packs_epi16(_mm256_loadu_si256(chunk), _mm256_loadu_si256(chunk + 1)), 0xD8);
        const __m256i high = _mm256_permute4x64_epi64(
            _mm256_packs_epi16(_mm256_loadu_si256(chunk + 2), _mm256_loadu_si256(chunk + 3)), 0xD8);
        if (*count + 64 > ends.size())
            ends.resize(ends.size() * 2);
        const quint64 mask = quint32(_mm256_movemask_epi8(_mm256_cmpeq_epi8(low, lf))) |
                             quint64(quint32(_mm256_movemask_epi8(_mm256_cmpeq_epi8(high, lf))))
                                 << 32;
        noteEnds(mask, i, ends.data(), count);
    }
    return i;
}
#endif

// Lines at LF, a CR before it dropped. A year of protocols has millions of short lines: the
// text is searched for LF sixteen (or sixty-four) characters at a time, and the places found
// are noted without a branch per place (one that guesses wrong about every other line would
// cost more than the search), then cut into lines in a second, predictable pass. That pass
// notes in `separators` the lines as long as a block's separator, the only ones that can start
// a block, so that finding the blocks need not look at every line again.
Lines splitLines(QStringView text, std::vector<qsizetype>* separators) {
    const char16_t* const data = text.utf16();
    const qsizetype size = text.size();
    // Kept from file to file: cleared and allocated anew, it would cost as much as the search.
    // Slack: a group notes two places even when it holds fewer.
    thread_local std::vector<qsizetype> ends;
    if (ends.size() < size_t(size / 8 + 64))
        ends.resize(size_t(size / 8 + 64));
    size_t count = 0;
    qsizetype i = 0;
#if defined(KV_SPLIT_AVX2)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2)
        i = findEndsAvx2(data, size, ends, &count);
#endif
#if defined(__SSE2__)
    const __m128i lf = _mm_set1_epi8('\n');
    for (; i + 16 <= size; i += 16) {
        const auto* chunk = reinterpret_cast<const __m128i*>(data + i);
        // Narrowed with signed saturation, only U+000A itself becomes the byte LF.
        const __m128i bytes = _mm_packs_epi16(_mm_loadu_si128(chunk), _mm_loadu_si128(chunk + 1));
        if (count + 16 > ends.size())
            ends.resize(ends.size() * 2);
        noteEnds(quint32(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, lf))), i, ends.data(), &count);
    }
#endif
    for (; i < size; ++i) {
        if (data[i] != u'\n')
            continue;
        if (count + 1 > ends.size())
            ends.resize(ends.size() * 2);
        ends[count++] = i;
    }
    Lines lines;
    lines.reserve(count + 1);
    separators->clear();
    qsizetype from = 0;
    for (size_t k = 0; k < count; ++k) {
        const qsizetype end = ends[k];
        const bool cr = end > from && data[end - 1] == u'\r';
        const qsizetype length = end - from - (cr ? 1 : 0);
        if (length == separator.size()) [[unlikely]]
            separators->push_back(qsizetype(k));
        lines.emplace_back(data + from, length);
        from = end + 1;
    }
    if (from < size) {
        const bool cr = data[size - 1] == u'\r';
        const qsizetype length = size - from - (cr ? 1 : 0);
        if (length == separator.size())
            separators->push_back(qsizetype(count));
        lines.emplace_back(data + from, length);
    }
    // What a file of thousands of times a protocol's lines needed is not kept for the next.
    if (ends.size() > (1u << 16))
        std::vector<qsizetype>().swap(ends);
    return lines;
}

// Comparisons inline, lengths first: they run on every line of every file.
bool equalAt(const char16_t* data, const QString& text) {
    return std::memcmp(data, text.constData(), size_t(text.size()) * sizeof(char16_t)) == 0;
}

bool same(QStringView line, const QString& text) {
    return line.size() == text.size() && equalAt(line.utf16(), text);
}

bool starts(QStringView line, const QString& text) {
    return line.size() >= text.size() && equalAt(line.utf16(), text);
}

// Where `text` first occurs in `line` at or after `from`; -1 when it does not. The lines are
// short, and a general search would cost more in setting up than in searching.
qsizetype find(QStringView line, const QString& text, qsizetype from) {
    const char16_t* const data = line.utf16();
    const char16_t first = text.front().unicode();
    for (qsizetype i = from; i + text.size() <= line.size(); ++i)
        if (data[i] == first && equalAt(data + i, text))
            return i;
    return -1;
}

bool readCount(QStringView text, int* value) {
    // Digits alone, as nearly every count is written, read as readNumber would read them.
    if (!text.isEmpty() && text.size() <= 9) {
        int n = 0;
        qsizetype i = 0;
        for (; i < text.size() && text[i].unicode() >= '0' && text[i].unicode() <= '9'; ++i)
            n = n * 10 + (text[i].unicode() - '0');
        if (i == text.size()) {
            *value = n;
            return true;
        }
    }
    double d = 0;
    if (!readNumber(text, &d) || d < 0 || d > 1e9 || d != std::floor(d))
        return false;
    *value = int(d);
    return true;
}

// The text of lines [from, to) with LF between them, the first `skipFirst` characters of
// the first line left out. A view of the file's text where that already reads so.
QStringView joined(const Lines& lines, qsizetype from, qsizetype to, qsizetype skipFirst,
                   Protocol* p) {
    const QStringView first = lines[from].mid(qMin(skipFirst, lines[from].size()));
    if (to - from == 1)
        return first;
    const QChar* begin = first.data();
    const QChar* end = lines[to - 1].data() + lines[to - 1].size();
    const QStringView span(begin, end - begin);
    if (!span.contains(QLatin1Char('\r')))
        return span;
    QString text;
    text.reserve(span.size());
    text += first;
    for (qsizetype i = from + 1; i < to; ++i) {
        text += QLatin1Char('\n');
        text += lines[i];
    }
    p->joined.append(text);
    return p->joined.last();
}

bool isOptionLine(QStringView line, int k) {
    const QChar digit(char16_t(u'0' + k));
    // "k." alone: an empty option whose trailing blank an editor has dropped.
    return line.size() >= 2 && line[0] == digit && line[1] == QLatin1Char('.') &&
           (line.size() == 2 || line[2] == QLatin1Char(' '));
}

// Reads the block in lines [from, to); `to` is the line after the block (and its time-out
// lines). Returns an error text, or an empty one when the block was read.
QString readBlock(const Lines& lines, qsizetype from, qsizetype to, QuestionBlock* b, Protocol* p) {
    if (to - from >= 2 && lines[to - 1].isEmpty() && same(lines[to - 2], timeOutText)) {
        b->timeOutLines = true;
        to -= 2;
    }
    // Separator, number, "Содержание вопроса:", question, four options, answer, right answer,
    // seconds, empty line.
    if (to - from < 12)
        return QStringLiteral("блок вопроса неполон");
    if (!lines[to - 1].isEmpty())
        return QStringLiteral("после строки «Вы отвечали на вопрос: …» нет пустой строки");
    const QStringView used = lines[to - 2];
    if (!starts(used, usedMark))
        return QStringLiteral("нет строки «Вы отвечали на вопрос: … сек. из …»");
    // In a line that starts so, only the blank that ends usedMark can begin ofMark early.
    const qsizetype of = find(used, ofMark, usedMark.size() - 1);
    double seconds = 0;
    if (of < 0 || !readNumber(used.mid(usedMark.size(), of - usedMark.size()), &seconds))
        return QStringLiteral("нет строки «Вы отвечали на вопрос: … сек. из …»");
    b->usedSeconds = seconds;
    b->allowedText = used.mid(of + ofMark.size());
    if (!starts(lines[to - 3], rightMark))
        return QStringLiteral("нет строки «Правильный ответ:…»");
    b->rightText = lines[to - 3].mid(rightMark.size());
    b->rightHidden = same(b->rightText, hiddenMark);
    double right = 0;
    if (b->rightText.size() == 1) { // a digit alone, the usual form
        const char16_t c = b->rightText[0].unicode();
        b->rightNumber = c >= u'1' && c <= u'4' ? c - u'0' : 0;
    } else if (readNumber(b->rightText, &right) && right >= 1 && right <= 4 &&
               right == std::floor(right)) {
        b->rightNumber = int(right);
    }
    if (!starts(lines[to - 4], answerMark) ||
        !readCount(lines[to - 4].mid(answerMark.size()), &b->answer) || b->answer > 4)
        return QStringLiteral("нет строки «Ваш ответ № …» с номером от 0 до 4");
    if (!readCount(lines[from + 1].mid(questionMark.size()), &b->record))
        return QStringLiteral("номер вопроса не читается");
    // Where the texts allow two readings, the markers "1. " … "4. " are taken last and in
    // order: an option's text may hold a line that starts like the next marker, the question
    // may hold lines that start like any of them.
    const qsizetype first = from + 3; // the question's first line
    qsizetype marks[5];
    marks[4] = to - 4;
    for (int k = 4; k >= 1; --k) {
        qsizetype i = marks[k] - 1;
        while (i >= first + k && !isOptionLine(lines[i], k))
            --i;
        if (i < first + k)
            return QStringLiteral("нет строк вариантов «1. » … «4. » по порядку");
        marks[k - 1] = i;
    }
    b->question = joined(lines, first, marks[0], 0, p);
    for (int k = 0; k < 4; ++k)
        b->options[k] = joined(lines, marks[k], marks[k + 1], 3, p);
    return {};
}

// A piece of the file quoted in a message that may go to a terminal: no control characters.
QString printable(QStringView text) {
    QString out = text.toString();
    for (QChar& c : out)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char('?');
    return out;
}

bool isBlockStart(const Lines& lines, qsizetype i, qsizetype end) {
    return i + 2 < end && same(lines[size_t(i)], separator) &&
           starts(lines[size_t(i + 1)], questionMark) && same(lines[size_t(i + 2)], contentMark);
}

// Name, date and time from "name  date  time"; the name itself may hold two blanks.
// Where two blanks last stand in `line`; -1 when nowhere.
qsizetype lastGap(QStringView line) {
    for (qsizetype i = line.size() - 2; i >= 0; --i)
        if (line[i] == QLatin1Char(' ') && line[i + 1] == QLatin1Char(' '))
            return i;
    return -1;
}

bool readHeader(QStringView line, Protocol* p) {
    const qsizetype t = lastGap(line);
    if (t <= 0)
        return false;
    const qsizetype d = lastGap(line.left(t));
    if (d < 0)
        return false;
    p->name = line.left(d).toString();
    p->date = line.mid(d + 2, t - d - 2).toString();
    p->headerTime = line.mid(t + 2).toString();
    return !p->date.isEmpty() && secondsOfDay(p->headerTime) >= 0;
}

QString readResultLine(QStringView line, Protocol* p) {
    if (line == unfinishedText) {
        p->finished = false;
        return {};
    }
    if (!line.startsWith(resultStart))
        return QStringLiteral("последняя строка перед окончанием не итог теста и не «%1»")
            .arg(unfinishedText);
    p->finished = true;
    const qsizetype w = find(line, resultWrong, 0);
    const qsizetype t = find(line, resultTotal, 0);
    if (line.startsWith(resultRight) && w > 0 && t > w) {
        readCount(line.mid(resultRight.size(), w - resultRight.size()), &p->resultRight);
        readCount(line.mid(w + resultWrong.size(), t - w - resultWrong.size()), &p->resultWrong);
        readCount(line.mid(t + resultTotal.size()), &p->resultTotal);
    }
    return {};
}

void checkResult(Protocol* p) {
    if (!p->finished)
        return;
    const int right = p->rightCount();
    const int total = int(p->blocks.size());
    if (p->resultRight == right && p->resultWrong == total - right && p->resultTotal == total)
        return;
    auto count = [](int n) { return n < 0 ? QStringLiteral("?") : QString::number(n); };
    p->mismatch = QStringLiteral("в итоговой строке правильных %1, неправильных %2, всего %3; "
                                 "по вопросам протокола %4, %5, %6")
                      .arg(count(p->resultRight), count(p->resultWrong), count(p->resultTotal))
                      .arg(right)
                      .arg(total - right)
                      .arg(total);
}

// A text that merely looks like a block start inside a question makes the block before it
// unreadable; it is then read together with the next part. Bounded, so that a hostile file
// costs linear time.
constexpr int maxMerges = 16;

// `separators` are the lines that may start a block; it is left with those that do.
QString readBlocks(const Lines& lines, std::vector<qsizetype>& separators, qsizetype begin,
                   qsizetype end, Protocol* p) {
    std::erase_if(separators, [&](qsizetype i) {
        return i < begin || i >= end || !isBlockStart(lines, i, end);
    });
    const std::vector<qsizetype>& starts = separators;
    const qsizetype count = qsizetype(starts.size());
    if (begin < end && (starts.empty() || starts.front() != begin))
        return QStringLiteral("после строки «Тест начат в …» нет начала вопроса");
    p->blocks.reserve(count);
    qsizetype k = 0;
    while (k < count) {
        QString firstError;
        qsizetype j = k + 1;
        for (int tries = 0;; ++tries, ++j) {
            QuestionBlock block;
            const QString error =
                readBlock(lines, starts[k], j < count ? starts[j] : end, &block, p);
            if (error.isEmpty()) {
                p->blocks.append(std::move(block));
                break;
            }
            if (firstError.isEmpty())
                firstError = error;
            if (j >= count || tries >= maxMerges)
                return QStringLiteral("блок %1 («%2»): %3")
                    .arg(p->blocks.size() + 1)
                    .arg(printable(lines[starts[k] + 1].left(40)), firstError);
        }
        k = j;
    }
    return {};
}

} // namespace

int Protocol::rightCount() const {
    if (answersHidden() && finished && resultRight >= 0)
        return resultRight;
    int n = 0;
    for (const QuestionBlock& b : blocks)
        n += b.right() ? 1 : 0;
    return n;
}

bool Protocol::answersHidden() const {
    for (const QuestionBlock& b : blocks)
        if (b.rightHidden)
            return true;
    return false;
}

int Protocol::timeOutCount() const {
    int n = 0;
    for (const QuestionBlock& b : blocks)
        n += b.timedOut() ? 1 : 0;
    return n;
}

bool readNumber(QStringView text, double* value) {
    const auto digit = [](QChar c) { return c.unicode() >= '0' && c.unicode() <= '9'; };
    // Nearly every number is digits alone, which trimming would leave as they are.
    const QStringView t =
        !text.isEmpty() && digit(text.front()) && digit(text.back()) ? text : text.trimmed();
    qsizetype i = 0;
    const bool negative = i < t.size() && t[i] == QLatin1Char('-');
    if (i < t.size() && (t[i] == QLatin1Char('-') || t[i] == QLatin1Char('+')))
        ++i;
    double v = 0;
    int digits = 0;
    for (; i < t.size() && t[i].isDigit() && t[i].unicode() < 128; ++i, ++digits)
        v = v * 10 + (t[i].unicode() - '0');
    if (i < t.size() && (t[i] == QLatin1Char('.') || t[i] == QLatin1Char(','))) {
        double scale = 0.1;
        for (++i; i < t.size() && t[i].isDigit() && t[i].unicode() < 128; ++i, ++digits) {
            v += (t[i].unicode() - '0') * scale;
            scale /= 10;
        }
    }
    if (digits == 0 || digits > 15 || i != t.size())
        return false;
    *value = negative ? -v : v;
    return true;
}

int secondsOfDay(QStringView text) {
    int parts[3] = {0, 0, 0};
    int part = 0, digits = 0;
    for (QChar c : text) {
        if (c.unicode() >= '0' && c.unicode() <= '9') {
            if (++digits > 2)
                return -1;
            parts[part] = parts[part] * 10 + (c.unicode() - '0');
        } else if (digits > 0 && part < 2 &&
                   (c == QLatin1Char('-') || c == QLatin1Char(':') || c == QLatin1Char('.'))) {
            ++part;
            digits = 0;
        } else {
            return -1;
        }
    }
    if (part != 2 || digits == 0 || parts[0] > 23 || parts[1] > 59 || parts[2] > 59)
        return -1;
    return parts[0] * 3600 + parts[1] * 60 + parts[2];
}

ReadResult readProtocol(const QString& text) {
    ReadResult r;
    Protocol& p = r.protocol;
    p.source = text;
    std::vector<qsizetype> separators;
    Lines lines = splitLines(p.source, &separators);
    while (!lines.empty() && lines.back().isEmpty())
        lines.pop_back();
    const qsizetype n = qsizetype(lines.size());
    if (n == 0) {
        r.error = QStringLiteral("файл пуст");
        return r;
    }
    if (n < 4 || !lines[2].startsWith(started) || !lines[1].isEmpty() || !lines[3].isEmpty()) {
        r.error = QStringLiteral("не протокол теста: нет строки «Тест начат в …» под заголовком");
        return r;
    }
    if (!readHeader(lines[0], &p)) {
        r.error = QStringLiteral("первая строка не читается как «имя  дата  время»");
        return r;
    }
    p.startTime = lines[2].mid(started.size()).toString();
    if (n < 7 || !lines[n - 1].startsWith(ended) || lines[n - 2] != separator) {
        r.error = QStringLiteral("протокол оборван: нет окончания «Тест окончен в …»");
        return r;
    }
    p.endTime = lines[n - 1].mid(ended.size()).toString();
    r.error = readResultLine(lines[n - 3], &p);
    if (r.error.isEmpty())
        r.error = readBlocks(lines, separators, 4, n - 3, &p);
    if (!r.error.isEmpty())
        return r;
    checkResult(&p);
    r.ok = true;
    return r;
}

} // namespace results
