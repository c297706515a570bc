#pragma once

#include "classapi.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One run's answer sheet: every question in the order it was shown, the option chosen, the
// right one, the verdict, the seconds by the trainee's program and by the server, late answers
// marked. A printable page of its own (A4), every text from the bank or the class list escaped.
namespace answersheet {

struct Line {
    int shown = 0;  // 1, 2, … in the order shown
    int record = 0; // in the bank
    std::string question;
    std::array<std::string, 4> options;
    bool answered = false;
    int option = 0; // as recorded, 0 for a time-out
    std::optional<bool> verdict;
    bool rightHidden = false; // the sitting hides right answers until it is closed
    std::string rightAnswer;  // the record's text, as the bank holds it
    int rightOption = 0;      // the option it names by the program's rule, 0 for none
    double clientSeconds = 0, serverSeconds = 0;
    bool late = false; // the server found the answer late: recorded as a time-out
};

struct Sheet {
    std::string sitting, bank;
    int version = 0, records = 0;
    std::string trainee, host;
    std::string started, ended; // as shown; `ended` empty while the run is under way
    bool finished = false;
    std::optional<std::uint32_t> orderState; // an order of its own, from this state
    bool answersHidden = false;
    classapi::Grades grades;
    std::string madeAt;
    std::vector<Line> lines;

    int right() const;
    // The grade of a finished run, 0 otherwise.
    int grade() const;
};

// The page; its style inline, or linked from `styleHref` (a page served under a policy that
// allows no inline style).
std::string html(const Sheet& sheet, std::string_view styleHref = {});
const std::string& style();

// The columns of kviront.sheet_head and kviront.sheet_lines (and of the class page's wrappers)
// that headOf and lineOf read, in their order.
inline constexpr const char* headColumns =
    "sitting, bank, version, records, trainee, host, extract(epoch FROM started_at), "
    "extract(epoch FROM ended_at), finished, order_state, hides, grade5, grade4, grade3";
inline constexpr const char* lineColumns =
    "shown, record, vopros, otvet1, otvet2, otvet3, otvet4, pr_otvet, right_option, option, "
    "verdict, client_seconds, server_seconds, late";

// A sheet's head from the first row of `r` (headColumns), for the daemon's and the tool's
// database results alike: `text(column)` gives a column's text, `when(column)` a time's text
// (empty for NULL).
template <typename Rows, typename Text, typename When>
Sheet headOf(const Rows& r, Text text, When when) {
    Sheet s;
    s.sitting = text(0);
    s.bank = text(1);
    s.version = int(r.integer(0, 2));
    s.records = int(r.integer(0, 3));
    s.trainee = text(4);
    s.host = text(5);
    s.started = when(6);
    s.ended = when(7);
    s.finished = r.flag(0, 8);
    if (!r.isNull(0, 9))
        s.orderState = std::uint32_t(r.integer(0, 9));
    s.answersHidden = r.flag(0, 10);
    s.grades = {int(r.integer(0, 11)), int(r.integer(0, 12)), int(r.integer(0, 13))};
    return s;
}

// Row `i` of `r` (lineColumns) as a line; `text(column)` gives a column's text of that row.
template <typename Rows, typename Text>
Line lineOf(const Rows& r, int i, bool rightHidden, Text text) {
    Line line;
    line.shown = int(r.integer(i, 0));
    line.record = int(r.integer(i, 1));
    line.question = text(2);
    for (int k = 0; k < 4; ++k)
        line.options[std::size_t(k)] = text(3 + k);
    line.rightHidden = rightHidden;
    line.rightAnswer = text(7);
    line.rightOption = r.isNull(i, 8) ? 0 : int(r.integer(i, 8));
    line.answered = !r.isNull(i, 9);
    line.option = int(r.integer(i, 9));
    if (!r.isNull(i, 10))
        line.verdict = r.flag(i, 10);
    line.clientSeconds = r.number(i, 11);
    line.serverSeconds = r.number(i, 12);
    line.late = r.flag(i, 13);
    return line;
}

// Text made safe for HTML: escaped, line breaks as <br>, control characters as U+FFFD.
std::string escaped(std::string_view utf8);
// The grade as a word ("5 (отлично)"), empty for 0.
std::string gradeText(int grade);

} // namespace answersheet
