#include "requests.h"

#include "classapi.h"
#include "refusal.h"

#include <boost/json.hpp>
#include <cmath>
#include <initializer_list>

namespace kvserver {
namespace json = boost::json;
namespace key = classapi::key;

namespace {

[[noreturn]] void refuse(const std::string& what) {
    throw Refused(badRequest("Сервер класса не принял запрос: " + what + "."));
}

// A member's name for a message: only a short plain one is repeated back.
std::string shownName(std::string_view name) {
    if (name.empty() || name.size() > 32)
        return "лишнее поле";
    for (char c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '_'))
            return "лишнее поле";
    return "лишнее поле «" + std::string(name) + "»";
}

json::object parseObject(std::string_view body, std::initializer_list<std::string_view> required,
                         std::initializer_list<std::string_view> optional = {}) {
    json::parse_options options;
    options.max_depth = 4; // an object of scalars needs 2
    json::storage_ptr storage = json::make_shared_resource<json::monotonic_resource>();
    boost::system::error_code ec;
    json::value value = json::parse(body, ec, storage, options);
    if (ec)
        refuse("тело запроса не JSON");
    if (!value.is_object())
        refuse("тело запроса не объект JSON");
    json::object object = value.as_object();
    for (const auto& member : object) {
        bool known = false;
        for (std::string_view k : required)
            known = known || member.key() == k;
        for (std::string_view k : optional)
            known = known || member.key() == k;
        if (!known)
            refuse(shownName(member.key()));
    }
    for (std::string_view k : required)
        if (!object.contains(k))
            refuse("нет поля «" + std::string(k) + "»");
    return object;
}

bool hasControl(std::string_view text) {
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7f)
            return true;
    return false;
}

std::string text(const json::object& o, std::string_view k, std::size_t maxChars,
                 bool allowEmpty = false) {
    const json::value& v = o.at(k);
    if (!v.is_string())
        refuse("поле «" + std::string(k) + "» не строка");
    const std::string_view s = v.as_string();
    if (!allowEmpty && s.empty())
        refuse("поле «" + std::string(k) + "» пусто");
    if (characters(s) > maxChars)
        refuse("поле «" + std::string(k) + "» длиннее " + std::to_string(maxChars) + " знаков");
    if (hasControl(s))
        refuse("в поле «" + std::string(k) + "» управляющие символы");
    return std::string(s);
}

int integer(const json::object& o, std::string_view k, int low, int high) {
    const json::value& v = o.at(k);
    std::int64_t n = 0;
    if (v.is_int64())
        n = v.as_int64();
    else if (v.is_uint64())
        n = v.as_uint64() > std::uint64_t(high) ? std::int64_t(high) + 1 : 0;
    else
        refuse("поле «" + std::string(k) + "» не целое число");
    if (n < low || n > high)
        refuse("поле «" + std::string(k) + "» вне допустимых значений (" + std::to_string(low) +
               " … " + std::to_string(high) + ")");
    return int(n);
}

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

std::string token(const json::object& o) {
    const json::value& v = o.at(key::token);
    if (!v.is_string())
        refuse("поле «token» не строка");
    std::string t(v.as_string());
    bool ok = t.size() == 36;
    for (std::size_t i = 0; ok && i < t.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23)
            ok = t[i] == '-';
        else if ((ok = isHex(t[i])) && t[i] >= 'A' && t[i] <= 'F')
            t[i] = char(t[i] - 'A' + 'a');
    }
    if (!ok)
        refuse("поле «token» не номер теста");
    return t;
}

} // namespace

std::size_t characters(std::string_view utf8) {
    std::size_t n = 0;
    for (unsigned char c : utf8)
        n += (c & 0xC0) != 0x80;
    return n;
}

StartRequest parseStart(std::string_view body) {
    const json::object o = parseObject(body, {key::sitting, key::code, key::host}, {key::trainee});
    StartRequest r;
    r.sitting = text(o, key::sitting, classapi::maxSittingChars);
    const std::string typed = text(o, key::code, classapi::maxCodeInputChars, true);
    const std::optional<std::string> code = classapi::normaliseCode(typed);
    if (!code)
        refuse("код не читается (в коде " + std::to_string(classapi::codeLength) +
               " букв и цифр, без 0, O, 1, I и L)");
    r.code = *code;
    r.host = text(o, key::host, classapi::maxHostChars);
    if (o.contains(key::trainee)) {
        r.trainee = text(o, key::trainee, classapi::maxTraineeChars, true);
        if (r.trainee->find_first_not_of(' ') == std::string::npos)
            r.trainee.reset(); // no name typed: the class list's name or a refusal
    }
    return r;
}

RecordRequest parseRecord(std::string_view body) {
    const json::object o = parseObject(body, {key::token, key::record});
    return {token(o), integer(o, key::record, 1, classapi::maxRecords)};
}

AnswerRequest parseAnswer(std::string_view body) {
    const json::object o = parseObject(body, {key::token, key::record, key::option, key::seconds});
    AnswerRequest r;
    r.token = token(o);
    r.record = integer(o, key::record, 1, classapi::maxRecords);
    r.option = integer(o, key::option, 0, 4);
    const json::value& s = o.at(key::seconds);
    if (!s.is_number())
        refuse("поле «seconds» не число");
    r.seconds = s.to_number<double>();
    if (!std::isfinite(r.seconds) || r.seconds < 0 || r.seconds > classapi::maxSeconds)
        refuse("поле «seconds» вне допустимых значений (0 … 86400)");
    return r;
}

FinishRequest parseFinish(std::string_view body) {
    const json::object o = parseObject(body, {key::token, key::completed});
    FinishRequest r;
    r.token = token(o);
    const json::value& c = o.at(key::completed);
    if (!c.is_bool())
        refuse("поле «completed» не true или false");
    r.completed = c.as_bool();
    return r;
}

} // namespace kvserver
