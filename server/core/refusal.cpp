#include "refusal.h"

#include "classapi.h"

#include <boost/json.hpp>

namespace kvserver {
namespace error = classapi::error;

Refusal badRequest(std::string message) {
    return {400, error::badRequest, std::move(message)};
}

Refusal tooLarge() {
    return {413, error::tooLarge,
            "Запрос слишком велик: сервер класса принимает не больше 16 КиБ."};
}

Refusal headerTooLarge() {
    return {431, error::tooLarge, "Заголовки запроса слишком велики."};
}

Refusal noSuchPath() {
    return {404, error::noSuchPath, "На сервере класса нет такого адреса."};
}

Refusal methodNotAllowed() {
    return {405, error::methodNotAllowed, "Этот адрес не принимает такой метод запроса."};
}

Refusal tooMany(int retryAfter) {
    return {429, error::tooMany,
            "Слишком много запросов: подождите немного, программа повторит запрос сама.",
            retryAfter};
}

Refusal tooManyConnections() {
    return {429, error::tooMany, "Слишком много соединений с этого адреса: подождите немного.", 5};
}

Refusal unavailable(int retryAfter) {
    return {503, error::unavailable,
            "Сервер класса сейчас не может ответить (база данных недоступна или занята): "
            "программа повторит запрос сама.",
            retryAfter};
}

std::optional<Refusal> refusalForSqlState(std::string_view state) {
    struct Row {
        std::string_view state;
        int status;
        std::string_view error;
        const char* message;
    };
    static const Row table[] = {
        {"KV001", 404, error::sittingUnknown,
         "На сервере класса нет такого тестирования: попросите у учителя новый файл "
         "тестирования."},
        {"KV002", 404, error::runUnknown, "Сервер класса не знает этого теста."},
        {"KV003", 409, error::runFinished, "Этот тест уже закончен."},
        {"KV004", 409, error::notHandedOut, "Этот вопрос ещё не был выдан в этом тесте."},
        {"KV005", 404, error::recordUnknown, "В банке нет такого вопроса."},
        {"KV006", 400, error::badRequest, "Сервер класса не принял запрос: недопустимое значение."},
        {"KV010", 404, error::codeUnknown,
         "Такого кода нет в этом тестировании: проверьте код на листке."},
        {"KV011", 409, error::sittingClosed,
         "Тестирование сейчас не идёт: учитель его закрыл или оно ещё не началось."},
        {"KV012", 403, error::codeElsewhere,
         "По этому коду уже идёт тест на другом компьютере. Если тот компьютер сломался, "
         "попросите учителя разрешить продолжить на этом."},
        {"KV013", 409, error::withdrawn, "Учитель снял этот банк: тест на нём не проводится."},
        {"KV014", 409, error::runIncomplete, "Тест не закончен: ответы есть не на все вопросы."},
        {"KV020", 401, error::teacherKey,
         "Ключ учителя не подходит: войдите на страницу класса с ключом, который напечатала "
         "команда «sitting open»."},
        {"KV021", 409, error::noRun, "У этого ученика нет начатого теста."},
    };
    for (const Row& row : table)
        if (row.state == state)
            return Refusal{row.status, row.error, row.message};
    // Passing troubles: the connection (08), the server shutting down or starting (57P0x), a
    // statement or lock timeout, no room (53: connections, disk, memory), a conflict that a
    // repeat resolves (40), an I/O error (58), a standby that cannot write (25006).
    static const std::string_view passing[] = {"08",    "57P01", "57P02", "57P03", "57014",
                                               "55P03", "53",    "40",    "58",    "25006"};
    for (std::string_view prefix : passing)
        if (state.substr(0, prefix.size()) == prefix)
            return unavailable(2);
    return std::nullopt;
}

std::string refusalBody(const Refusal& refusal) {
    boost::json::object body;
    body[classapi::key::error] = refusal.error;
    body[classapi::key::message] = refusal.message;
    return boost::json::serialize(body);
}

} // namespace kvserver
