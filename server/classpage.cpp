#include "classpage.h"

#include "answersheet.h"
#include "classapi.h"
#include "classdata.h"
#include "operations.h"
#include "pageassets.h"

#include <boost/json.hpp>

namespace kvserver {
namespace http = boost::beast::http;

namespace {

constexpr std::string_view cookieName = "kviront_teacher";
constexpr int cookieSeconds = 12 * 3600; // a school day: the key is typed once
constexpr std::string_view sheetPrefix = "/class/sheet/";
const char* html = "text/html; charset=utf-8";

// Nothing from elsewhere, no inline script or style, no framing by another site.
const char* policy = "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
                     "connect-src 'self'; form-action 'self'; frame-ancestors 'none'; "
                     "base-uri 'none'";

struct Asset {
    std::string_view path, file, type;
};
const Asset assets[] = {
    {"/class/class.js", "class.js", "text/javascript; charset=utf-8"},
    {"/class/class.css", "class.css", "text/css; charset=utf-8"},
};

} // namespace

Reply ClassPage::secured(Reply r) {
    if (r.contentType.empty())
        r.contentType = "application/json; charset=utf-8";
    r.headers.emplace_back("Content-Security-Policy", policy);
    r.headers.emplace_back("X-Frame-Options", "DENY");
    r.headers.emplace_back("Referrer-Policy", "same-origin"); // "no-referrer" makes Origin "null"
    return r;
}

namespace {

Reply fileReply(std::string_view name, std::string_view type) {
    return replyWith(200, std::string(pageassets::find(name).value_or("")), std::string(type));
}

std::string cookie(std::string_view value, int seconds) {
    return std::string(cookieName) + "=" + std::string(value) +
           "; Path=/class; Max-Age=" + std::to_string(seconds) +
           "; Secure; HttpOnly; SameSite=Strict";
}

// The login page, with a message of the server's own words (never anything the client sent).
Reply loginPage(int status, std::string_view error, const std::string& message) {
    std::string page(pageassets::find("login.html").value_or(""));
    const std::string mark = "<!--message-->";
    const std::size_t at = page.find(mark);
    if (at != std::string::npos && !message.empty())
        page.replace(at, mark.size(),
                     "<p class=\"message\" role=\"alert\">" + answersheet::escaped(message) +
                         "</p>");
    Reply r = replyWith(status, std::move(page), html);
    r.error = error;
    return r;
}

Reply redirect(std::string_view to) {
    Reply r = replyWith(303, "<!DOCTYPE html><title>→</title>", html);
    r.headers.emplace_back("Location", std::string(to));
    return r;
}

Refusal otherSite() {
    return {403, classapi::error::otherSite,
            "Запрос пришёл не со страницы класса этого сервера: он не выполнен."};
}

Refusal noKey() {
    return {401, classapi::error::teacherKey,
            "Нужен ключ учителя: войдите на страницу класса ещё раз."};
}

Refusal badPosition() {
    return badRequest("Сервер класса не принял запрос: нужен номер ученика в списке.");
}

// The key the cookie holds, normalised; none when there is no such cookie or it is no key.
std::optional<std::string> cookieKey(const http::request<http::string_body>& request) {
    std::string_view header = request[http::field::cookie];
    while (!header.empty()) {
        const std::size_t end = header.find(';');
        std::string_view pair = header.substr(0, end);
        header = end == std::string_view::npos ? std::string_view() : header.substr(end + 1);
        while (!pair.empty() && pair.front() == ' ')
            pair.remove_prefix(1);
        if (pair.substr(0, cookieName.size() + 1) == std::string(cookieName) + "=")
            return classapi::normaliseCode(pair.substr(cookieName.size() + 1),
                                           classapi::teacherKeyLength);
    }
    return std::nullopt;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The value of `name` in a form's body (application/x-www-form-urlencoded), decoded.
std::string formValue(std::string_view body, std::string_view name) {
    while (!body.empty()) {
        const std::size_t end = body.find('&');
        const std::string_view pair = body.substr(0, end);
        body = end == std::string_view::npos ? std::string_view() : body.substr(end + 1);
        if (pair.substr(0, name.size() + 1) != std::string(name) + "=")
            continue;
        std::string value;
        const std::string_view coded = pair.substr(name.size() + 1);
        for (std::size_t i = 0; i < coded.size(); ++i) {
            if (coded[i] == '+') {
                value += ' ';
            } else if (coded[i] == '%' && i + 2 < coded.size() && hexDigit(coded[i + 1]) >= 0 &&
                       hexDigit(coded[i + 2]) >= 0) {
                value += char(hexDigit(coded[i + 1]) * 16 + hexDigit(coded[i + 2]));
                i += 2;
            } else {
                value += coded[i];
            }
        }
        return value;
    }
    return {};
}

// The browser says where a request comes from: only this server's own pages may change
// anything (a request with neither header comes from no browser page at all).
bool fromOwnPage(const http::request<http::string_body>& request) {
    const std::string_view origin = request[http::field::origin];
    if (!origin.empty() && origin != "https://" + std::string(request[http::field::host]))
        return false;
    const std::string_view site = request["Sec-Fetch-Site"];
    return site.empty() || site == "same-origin";
}

// The position of {"position": N}, 0 when the body is not that.
int positionOf(std::string_view body) {
    boost::system::error_code ec;
    const boost::json::value v = boost::json::parse(body, ec);
    if (ec || !v.is_object() || v.as_object().size() != 1 || !v.as_object().contains("position"))
        return 0;
    const boost::json::value& p = v.at("position");
    return p.is_int64() && p.as_int64() > 0 && p.as_int64() <= 100000 ? int(p.as_int64()) : 0;
}

int sheetPosition(std::string_view target) {
    if (target.substr(0, sheetPrefix.size()) != sheetPrefix)
        return 0;
    const std::string_view digits = target.substr(sheetPrefix.size());
    int n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9' || n > 100000)
            return 0;
        n = n * 10 + (c - '0');
    }
    return digits.size() <= 6 ? n : 0;
}

} // namespace

ClassPage::ClassPage(Database& database)
    : m_database(database), m_wrongKeys(20, 10.0 / 60), m_keys(60, 10) {}

bool ClassPage::owns(std::string_view target) {
    return target == "/class" || target.substr(0, 7) == "/class/";
}

std::string_view ClassPage::methodsOf(std::string_view target) {
    if (target == "/class/login")
        return "GET, POST";
    if (target == "/class/logout" || target == "/class/close" || target == "/class/rehost")
        return "POST";
    bool get = target == "/class" || target == "/class/" || target == "/class/state" ||
               target == "/class/sheet.css" || sheetPosition(target) > 0;
    for (const Asset& a : assets)
        get = get || target == a.path;
    return get ? "GET" : "";
}

std::optional<Refusal> ClassPage::checkTarget(http::verb method, std::string_view target) const {
    const std::string_view methods = methodsOf(target);
    if (methods.empty())
        return noSuchPath();
    const bool allowed = (method == http::verb::get && methods.find("GET") != methods.npos) ||
                         (method == http::verb::post && methods.find("POST") != methods.npos);
    return allowed ? std::nullopt : std::optional(methodNotAllowed());
}

void ClassPage::handle(const Request& request, const std::string& client, Done done) {
    const std::string_view target = request.target();
    Done reply = [done = std::move(done)](Reply r) { done(secured(std::move(r))); };
    for (const Asset& a : assets)
        if (target == a.path)
            return reply(fileReply(a.file, a.type));
    if (target == "/class/sheet.css")
        return reply(replyWith(200, answersheet::style(), "text/css; charset=utf-8"));
    if (target == "/class/login")
        return request.method() == http::verb::get ? reply(loginPage(200, {}, {}))
                                                   : login(request, client, std::move(reply));
    if (target == "/class/logout") {
        if (!fromOwnPage(request))
            return reply(replyOf(otherSite()));
        Reply out = redirect("/class/login");
        out.headers.emplace_back("Set-Cookie", cookie("", 0));
        return reply(std::move(out));
    }
    if (target == "/class" || target == "/class/")
        return withKey(
            request, client, true,
            [](PgLink& db, const std::string& key) {
                requireSitting(db, key);
                return fileReply("class.html", html);
            },
            std::move(reply));
    if (target == "/class/state")
        return withKey(request, client, false, classState, std::move(reply));
    if (const int position = sheetPosition(target))
        return withKey(
            request, client, true,
            [position](PgLink& db, const std::string& key) {
                return sheetPage(db, key, position, "/class/sheet.css");
            },
            std::move(reply));
    // What changes something: only from the page's own script.
    if (!fromOwnPage(request) || request["X-Kviront-Page"] != "1")
        return reply(replyOf(otherSite()));
    if (target == "/class/close")
        return withKey(request, client, false, closeSitting, std::move(reply));
    const int position = positionOf(request.body());
    if (position == 0)
        return reply(replyOf(badPosition()));
    withKey(
        request, client, false,
        [position](PgLink& db, const std::string& key) { return allowRehost(db, key, position); },
        std::move(reply));
}

void ClassPage::login(const Request& request, const std::string& client, Done done) {
    if (!fromOwnPage(request))
        return done(loginPage(403, classapi::error::otherSite,
                              "Ключ принимается только со страницы входа этого сервера."));
    if (const int wait = m_wrongKeys.wait(client))
        return done(loginPage(429, classapi::error::tooMany,
                              "С этого компьютера было слишком много неверных ключей: подождите " +
                                  std::to_string(wait) + " с и попробуйте снова."));
    const std::optional<std::string> key =
        classapi::normaliseCode(formValue(request.body(), "key"), classapi::teacherKeyLength);
    const std::string wrong = "Ключ не подходит. Ключ учителя — 20 букв и цифр (без 0, O, 1, I "
                              "и L), его напечатала команда «sitting open».";
    if (!key) {
        m_wrongKeys.take(client);
        return done(loginPage(401, classapi::error::teacherKey, wrong));
    }
    m_database.run(
        [hash = codeHash(*key), key = *key](PgLink& db) {
            requireSitting(db, hash);
            Reply r = redirect("/class/");
            r.headers.emplace_back("Set-Cookie", cookie(key, cookieSeconds));
            return r;
        },
        [this, client, wrong, done = std::move(done)](Reply r) {
            if (r.status == 401) {
                m_wrongKeys.take(client);
                r = loginPage(401, classapi::error::teacherKey, wrong);
            }
            done(std::move(r));
        });
}

void ClassPage::withKey(const Request& request, const std::string& client, bool page,
                        std::function<Reply(PgLink&, const std::string&)> work, Done done) {
    const auto refused = [page](const Refusal& refusal) {
        return page ? loginPage(refusal.status, refusal.error, refusal.message) : replyOf(refusal);
    };
    if (const int wait = m_wrongKeys.wait(client))
        return done(refused(tooMany(wait)));
    const std::optional<std::string> key = cookieKey(request);
    if (!key)
        return done(refused(noKey()));
    const std::string hash = codeHash(*key);
    if (const int wait = m_keys.take(hash))
        return done(refused(tooMany(wait)));
    m_database.run([hash, work = std::move(work)](PgLink& db) { return work(db, hash); },
                   [this, client, refused, done = std::move(done)](Reply r) {
                       if (r.status == 401) { // a key that opens nothing is forgotten
                           m_wrongKeys.take(client);
                           r = refused(noKey());
                           r.headers.emplace_back("Set-Cookie", cookie("", 0));
                       }
                       done(std::move(r));
                   });
}

} // namespace kvserver
