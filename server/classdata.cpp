#include "classdata.h"

#include "answersheet.h"
#include "classapi.h"

#include <boost/json.hpp>
#include <ctime>

namespace kvserver {
namespace json = boost::json;

namespace {

PgParam keyParam(const std::string& keyHash) {
    return {keyHash, false, true};
}

json::value epochOrNull(const PgRows& r, int row, int column) {
    return r.isNull(row, column) ? json::value(nullptr) : json::value(r.number(row, column));
}

Reply jsonReply(const json::object& body) {
    return replyWith(200, json::serialize(body));
}

// The daemon's local time (the server machine's zone), as the sheets show times.
std::string localTime(double epoch) {
    const std::time_t t = std::time_t(epoch);
    std::tm parts{};
    localtime_r(&t, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%d.%m.%Y %H:%M:%S", &parts);
    return text;
}

} // namespace

void requireSitting(PgLink& db, const std::string& keyHash) {
    db.exec("SELECT name FROM kviront_api.teacher_sitting($1)", {keyParam(keyHash)});
}

Reply classState(PgLink& db, const std::string& keyHash) {
    const PgRows s = db.exec(
        "SELECT name, bank, version, records, allowed_seconds, grace_seconds, opens_at, "
        "closes_at, closed_at, grade5, grade4, grade3, show_grade, own_order, hide_answers, "
        "now_at FROM kviront_api.teacher_sitting($1)",
        {keyParam(keyHash)});
    const classapi::Grades grades{int(s.integer(0, 9)), int(s.integer(0, 10)),
                                  int(s.integer(0, 11))};
    const int records = int(s.integer(0, 3));
    const double now = s.number(0, 15);
    json::object sitting;
    sitting["name"] = s.text(0, 0);
    sitting["bank"] = s.text(0, 1);
    sitting["version"] = s.integer(0, 2);
    sitting["records"] = records;
    sitting["seconds"] = s.integer(0, 4);
    sitting["grace"] = s.integer(0, 5);
    sitting["opensAt"] = s.number(0, 6);
    sitting["closesAt"] = epochOrNull(s, 0, 7);
    sitting["closedAt"] = epochOrNull(s, 0, 8);
    sitting["open"] =
        s.isNull(0, 8) && now >= s.number(0, 6) && (s.isNull(0, 7) || now < s.number(0, 7));
    sitting["grades"] = json::array{grades.five, grades.four, grades.three};
    sitting["showGrade"] = s.flag(0, 12);
    sitting["ownOrder"] = s.flag(0, 13);
    sitting["hideAnswers"] = s.flag(0, 14);

    const PgRows r =
        db.exec("SELECT list_position, trainee, host, rehost_allowed, started, ended, finished, "
                "answered, right_answers, used_seconds, silent_seconds, lost "
                "FROM kviront_api.teacher_rows($1)",
                {keyParam(keyHash)});
    json::array rows;
    for (int i = 0; i < r.rows(); ++i) {
        json::object row;
        const bool started = r.flag(i, 4), ended = r.flag(i, 5), finished = r.flag(i, 6);
        const int answered = int(r.integer(i, 7)), right = int(r.integer(i, 8));
        row["position"] = r.integer(i, 0);
        row["trainee"] = r.isNull(i, 1) ? json::value(nullptr) : json::value(r.text(i, 1));
        row["host"] = r.isNull(i, 2) ? json::value(nullptr) : json::value(r.text(i, 2));
        row["rehostAllowed"] = r.flag(i, 3);
        row["started"] = started;
        row["ended"] = ended;
        row["state"] = !started        ? "none"
                       : ended         ? (finished ? "finished" : "abandoned")
                       : r.flag(i, 11) ? "lost"
                                       : "answering";
        row["question"] = std::min(answered + 1, records);
        row["answered"] = answered;
        row["right"] = right;
        row["seconds"] = epochOrNull(r, i, 9);
        row["silentSeconds"] = epochOrNull(r, i, 10);
        row["grade"] = finished ? classapi::gradeOf(right, records, grades) : 0;
        rows.push_back(std::move(row));
    }
    json::object out;
    out["sitting"] = std::move(sitting);
    out["now"] = now;
    out["rows"] = std::move(rows);
    return jsonReply(out);
}

Reply closeSitting(PgLink& db, const std::string& keyHash) {
    const PgRows r = db.exec("SELECT kviront_api.teacher_close($1)", {keyParam(keyHash)});
    return jsonReply({{"closed", r.flag(0, 0)}});
}

Reply allowRehost(PgLink& db, const std::string& keyHash, int position) {
    const PgRows r = db.exec("SELECT kviront_api.teacher_rehost($1, $2)",
                             {keyParam(keyHash), {std::to_string(position)}});
    return jsonReply({{"allowed", true}, {"changed", r.flag(0, 0)}});
}

Reply sheetPage(PgLink& db, const std::string& keyHash, int position,
                const std::string& styleHref) {
    const std::vector<PgParam> params{keyParam(keyHash), {std::to_string(position)}};
    const PgRows h = db.exec((std::string("SELECT ") + answersheet::headColumns +
                              " FROM kviront_api.teacher_sheet_head($1, $2)")
                                 .c_str(),
                             params);
    answersheet::Sheet s = answersheet::headOf(
        h, [&](int column) { return std::string(h.text(0, column)); },
        [&](int column) {
            return h.isNull(0, column) ? std::string() : localTime(h.number(0, column));
        });
    s.madeAt = localTime(double(std::time(nullptr)));
    const PgRows l = db.exec((std::string("SELECT ") + answersheet::lineColumns +
                              " FROM kviront_api.teacher_sheet_lines($1, $2)")
                                 .c_str(),
                             params);
    for (int i = 0; i < l.rows(); ++i)
        s.lines.push_back(answersheet::lineOf(
            l, i, s.answersHidden, [&](int column) { return std::string(l.text(i, column)); }));
    return replyWith(200, answersheet::html(s, styleHref), "text/html; charset=utf-8");
}

} // namespace kvserver
