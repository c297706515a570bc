#include "answersheet.h"

#include <charconv>

namespace answersheet {
namespace {

const std::string styleText = R"(
body { font-family: "DejaVu Sans", "Liberation Sans", Arial, sans-serif; font-size: 10pt;
       color: #111; margin: 1.5em auto; max-width: 60em; }
h1 { font-size: 15pt; margin: 0 0 .4em; }
table { border-collapse: collapse; width: 100%; margin: .4em 0 1em; }
th, td { border: 1px solid #999; padding: 2px 5px; vertical-align: top; text-align: left; }
th { background: #eee; }
table.about th { width: 12em; }
td.n { text-align: right; white-space: nowrap; }
ol { margin: .2em 0 0; padding-left: 1.6em; }
li.chosen { text-decoration: underline; }
li.right { font-weight: bold; }
.bad { color: #9a1c12; }
.note { color: #555; font-size: 9pt; }
@page { size: A4; margin: 12mm; }
@media print {
  body { margin: 0; max-width: none; font-size: 8.5pt; }
  tr { break-inside: avoid; page-break-inside: avoid; }
  thead { display: table-header-group; }
  th { background: none; }
}
)";

std::string seconds(double value) {
    char buffer[32];
    const auto r =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 1);
    std::string text(buffer, r.ptr);
    for (char& c : text)
        if (c == '.')
            c = ',';
    return text;
}

std::string cell(const std::string& html, bool number = false) {
    return (number ? "<td class=\"n\">" : "<td>") + html + "</td>";
}

std::string optionText(const Line& l, int option) {
    return std::to_string(option) + ". " + escaped(l.options[std::size_t(option - 1)]);
}

std::string options(const Line& l) {
    std::string out = "<ol>";
    for (int k = 1; k <= 4; ++k) {
        std::string classes;
        if (l.answered && l.option == k)
            classes += "chosen";
        if (!l.rightHidden && l.rightOption == k)
            classes += classes.empty() ? "right" : " right";
        out += (classes.empty() ? "<li>" : "<li class=\"" + classes + "\">") +
               escaped(l.options[std::size_t(k - 1)]) + "</li>";
    }
    return out + "</ol>";
}

std::string chosen(const Line& l) {
    if (!l.answered)
        return "<span class=\"note\">нет ответа</span>";
    if (l.option == 0)
        return l.late ? "<span class=\"bad\">ответ пришёл поздно: записано «время вышло»</span>"
                      : "<span class=\"bad\">время вышло</span>";
    return optionText(l, l.option);
}

std::string rightOne(const Line& l) {
    if (l.rightHidden)
        return "<span class=\"note\">скрыт до закрытия тестирования</span>";
    if (l.rightOption > 0)
        return optionText(l, l.rightOption);
    return "«" + escaped(l.rightAnswer) + "» <span class=\"note\">(не номер варианта)</span>";
}

std::string verdict(const Line& l) {
    if (!l.answered)
        return "";
    if (l.option == 0)
        return "<span class=\"bad\">неверно</span>";
    if (!l.verdict)
        return "нет оценки";
    return *l.verdict ? "верно" : "<span class=\"bad\">неверно</span>";
}

std::string order(const Sheet& s) {
    std::string records;
    for (const Line& l : s.lines)
        records += (records.empty() ? "" : ", ") + std::to_string(l.record);
    if (records.empty())
        records = "вопросы ещё не выдавались";
    if (s.orderState)
        return "свой для этого ученика (начальное состояние " + std::to_string(*s.orderState) +
               "): " + records;
    return "общий для класса: " + records;
}

std::string result(const Sheet& s) {
    std::size_t answered = 0;
    for (const Line& l : s.lines)
        answered += l.answered ? 1 : 0;
    const std::string right = std::to_string(s.right());
    if (s.answersHidden)
        return "ответов " + std::to_string(answered) + " из " + std::to_string(s.records) +
               ", верных " + right;
    if (!s.finished)
        return "верных " + right + " из " + std::to_string(answered) + " отвеченных (вопросов " +
               std::to_string(s.records) + ")";
    const int percent = s.records > 0 ? int(100LL * s.right() / s.records) : 0;
    return "верных " + right + " из " + std::to_string(s.records) + " (" + std::to_string(percent) +
           " %)";
}

std::string about(const Sheet& s) {
    const auto row = [](const char* title, const std::string& html) {
        return std::string("<tr><th>") + title + "</th><td>" + html + "</td></tr>\n";
    };
    std::string state = s.ended.empty() ? "идёт" : s.finished ? "закончен" : "прерван";
    std::string out = "<table class=\"about\">\n";
    out += row("Ученик", escaped(s.trainee));
    out += row("Тестирование", escaped(s.sitting));
    out += row("Банк", "«" + escaped(s.bank) + "», версия " + std::to_string(s.version));
    out += row("Компьютер", escaped(s.host));
    out += row("Начат", escaped(s.started));
    out += row("Окончен", s.ended.empty() ? state : escaped(s.ended) + " (" + state + ")");
    out += row("Итог", result(s));
    if (s.grade() > 0)
        out += row("Оценка", gradeText(s.grade()) + " <span class=\"note\">(границы: «5» от " +
                                 std::to_string(s.grades.five) + " %, «4» от " +
                                 std::to_string(s.grades.four) + " %, «3» от " +
                                 std::to_string(s.grades.three) + " %)</span>");
    out += row("Порядок вопросов", order(s));
    return out + "</table>\n";
}

} // namespace

int Sheet::right() const {
    int n = 0;
    for (const Line& l : lines)
        n += l.answered && l.option != 0 && l.verdict.value_or(false) ? 1 : 0;
    return n;
}

int Sheet::grade() const {
    return finished ? classapi::gradeOf(right(), records, grades) : 0;
}

const std::string& style() {
    return styleText;
}

std::string gradeText(int grade) {
    switch (grade) {
    case 5:
        return "5 (отлично)";
    case 4:
        return "4 (хорошо)";
    case 3:
        return "3 (удовлетворительно)";
    case 2:
        return "2 (неудовлетворительно)";
    default:
        return {};
    }
}

std::string escaped(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        switch (c) {
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '&':
            out += "&amp;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        case '\n':
            out += "<br>";
            break;
        default:
            if ((c < 0x20 && c != '\t') || c == 0x7f)
                out += "\xEF\xBF\xBD";
            else
                out += char(c);
        }
    }
    return out;
}

std::string html(const Sheet& s, std::string_view styleHref) {
    std::string page = "<!DOCTYPE html>\n<html lang=\"ru\">\n<head>\n<meta charset=\"utf-8\">\n"
                       "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                       "<title>Лист ответов — " +
                       escaped(s.trainee) + "</title>\n";
    page += styleHref.empty()
                ? "<style>" + styleText + "</style>\n"
                : "<link rel=\"stylesheet\" href=\"" + escaped(std::string(styleHref)) + "\">\n";
    page += "</head>\n<body>\n<h1>Лист ответов</h1>\n" + about(s);
    page += "<table>\n<thead><tr><th>№</th><th>№ в банке</th><th>Вопрос и варианты</th>"
            "<th>Выбран</th><th>Верный</th><th>Итог</th><th>Программа, с</th>"
            "<th>Сервер, с</th></tr></thead>\n";
    for (const Line& l : s.lines)
        page += "<tr>" + cell(std::to_string(l.shown), true) +
                cell(std::to_string(l.record), true) + cell(escaped(l.question) + options(l)) +
                cell(chosen(l)) + cell(rightOne(l)) + cell(verdict(l)) +
                cell(l.answered ? seconds(l.clientSeconds) : "", true) +
                cell(l.answered ? seconds(l.serverSeconds) : "", true) + "</tr>\n";
    page += "</table>\n<p class=\"note\">В списке вариантов выбранный подчёркнут, верный выделен. "
            "Время «Программа» — как насчитала программа ученика, "
            "«Сервер» — от выдачи вопроса сервером до записи ответа. Ответ, пришедший позже "
            "времени на вопрос и запаса, записан как «время вышло».";
    if (s.answersHidden)
        page += " Верные ответы скрыты, пока тестирование не закрыто.";
    if (!s.madeAt.empty())
        page += " Лист составлен " + escaped(s.madeAt) + ".";
    return page + "</p>\n</body>\n</html>\n";
}

} // namespace answersheet
