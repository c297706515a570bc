// kviront-server: the class server. Trainees' programs take their runs through it over HTTPS;
// only it holds a database connection. "kviront-server setup" makes a machine a class server.
#include "config.h"
#include "log.h"
#include "server.h"
#include "setup.h"

#include <csignal>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

const char* defaultConfig = "/etc/kviront/server.conf";

void usage(std::ostream& out) {
    out << "Использование:\n"
           "  kviront-server [--config ФАЙЛ]\n"
           "  kviront-server setup [--host ИМЯ|АДРЕС]… [--certificate ФАЙЛ --key ФАЙЛ] "
           "[--port ПОРТ] [--config ФАЙЛ]\n"
           "\n"
           "Сервер класса Квиронт: ученики проходят тесты через него по HTTPS; только он\n"
           "работает с базой данных.\n"
           "\n"
           "Без команды сервер работает, пока его не остановят (SIGTERM), с настройками из\n"
           "файла (по умолчанию "
        << defaultConfig
        << ").\n"
           "\n"
           "setup (от root) делает эту машину сервером класса: базу kviront и её схему в\n"
           "PostgreSQL 15, роль kviront, ключ и сертификат сервера, файл настроек; включает и\n"
           "запускает службу kviront-server. Повторный запуск ничего лишнего не меняет.\n"
           "\n"
           "Параметры:\n"
           "  --config ФАЙЛ         файл настроек\n"
           "  --host ИМЯ|АДРЕС      имя или адрес, по которому ученики находят сервер\n"
           "                        (можно несколько; первое — в адресе для учеников)\n"
           "  --certificate ФАЙЛ    сертификат школы (PEM) вместо самоподписанного\n"
           "  --key ФАЙЛ            его закрытый ключ (PEM, без пароля)\n"
           "  --port ПОРТ           порт HTTPS (по умолчанию 8443)\n"
           "  --help                эта справка\n"
           "  --version             версия\n"
           "\n"
           "Коды выхода: 0 — готово, 1 — отказ или ошибка, 2 — неверная командная строка.\n"
           "Подробнее: man kviront-server.\n";
}

int usageError(const std::string& message) {
    std::cerr << "kviront-server: " << message << "\nСправка: kviront-server --help\n";
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN); // a client that went away is an error code, not a signal
    std::vector<std::string> args(argv + 1, argv + argc);
    kvserver::SetupOptions setup;
    setup.configPath = defaultConfig;
    bool isSetup = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const auto value = [&](const char* name) -> const std::string* {
            if (i + 1 >= args.size())
                return nullptr;
            (void)name;
            return &args[++i];
        };
        if (a == "--help" || a == "-h") {
            usage(std::cout);
            return 0;
        }
        if (a == "--version") {
            std::cout << "kviront-server (Квиронт) " KV_VERSION "\n";
            return 0;
        }
        if (a == "setup" && i == 0) {
            isSetup = true;
            continue;
        }
        const bool takesValue =
            a == "--config" ||
            (isSetup && (a == "--host" || a == "--port" || a == "--certificate" || a == "--key"));
        if (!takesValue)
            return usageError(a.rfind("-", 0) == 0 ? "неизвестный параметр «" + a + "»"
                                                   : "лишний аргумент «" + a + "»");
        const std::string* v = value(a.c_str());
        if (!v)
            return usageError("у параметра «" + a + "» нет значения");
        if (a == "--config")
            setup.configPath = *v;
        else if (a == "--host")
            setup.hosts.push_back(*v);
        else if (a == "--certificate")
            setup.certificate = *v;
        else if (a == "--key")
            setup.key = *v;
        else {
            try {
                std::size_t end = 0;
                setup.port = std::stoi(*v, &end);
                if (end != v->size() || setup.port < 1 || setup.port > 65535)
                    throw std::invalid_argument(*v);
            } catch (const std::exception&) {
                return usageError("порт должен быть числом от 1 до 65535");
            }
        }
    }
    if (isSetup) {
        if (setup.certificate.empty() != setup.key.empty())
            return usageError("--certificate и --key задаются вместе");
        return kvserver::runSetup(setup, std::cout, std::cerr);
    }
    try {
        kvserver::Server server(kvserver::loadConfig(setup.configPath));
        server.run();
    } catch (const std::exception& e) {
        kvserver::logLine(e.what());
        return 1;
    }
    return 0;
}
