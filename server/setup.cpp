#include "setup.h"

#include "certificate.h"
#include "config.h"
#include "dbsetup.h"
#include "system.h"

#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

namespace kvserver {
namespace {

const char* unit = "kviront-server.service";

// The certificate and key the server will present, as they are to be written.
struct Identity {
    KeyAndCertificate files;
    bool changed = false;
};

bool fitsCertificate(const std::string& name) {
    try {
        makeSelfSigned({name}, 1);
        return true;
    } catch (const CertificateError&) {
        return false;
    }
}

std::vector<std::string> sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

Identity identity(const SetupOptions& o, const Config& c, std::ostream& out) {
    Identity id;
    if (!o.certificate.empty()) {
        if (!readWholeFile(o.certificate, &id.files.certificatePem) ||
            !readWholeFile(o.key, &id.files.keyPem))
            throw std::runtime_error("Не читается " + o.certificate + " или " + o.key);
        checkKeyFits(id.files.keyPem, id.files.certificatePem);
        std::string current;
        id.changed = !readWholeFile(c.certificate, &current) || current != id.files.certificatePem;
        out << "Сертификат школы: " << o.certificate << ".\n";
        return id;
    }
    std::vector<std::string> wanted = o.hosts;
    const bool have = readWholeFile(c.certificate, &id.files.certificatePem) &&
                      readWholeFile(c.key, &id.files.keyPem);
    if (have) {
        try {
            checkKeyFits(id.files.keyPem, id.files.certificatePem);
            if (wanted.empty() ||
                sorted(wanted) == sorted(certificateNames(id.files.certificatePem))) {
                out << "Ключ и сертификат сервера уже есть (" << c.certificate << ").\n";
                return id;
            }
        } catch (const CertificateError&) {
        }
    }
    if (wanted.empty())
        for (const std::string& name : machineNames())
            if (fitsCertificate(name))
                wanted.push_back(name);
    if (wanted.empty())
        throw std::runtime_error("У машины не нашлось ни имени, ни адреса: задайте --host");
    id.files = makeSelfSigned(wanted);
    id.changed = true;
    out << "Сделаны ключ и самоподписанный сертификат сервера для:";
    for (const std::string& name : wanted)
        out << " " << name;
    out << ".\n";
    return id;
}

// The address trainees reach the server by: the first name asked for, else the certificate's
// first IPv4 address (a classroom often has no name service), else its first name.
std::string urlFor(const SetupOptions& o, const Identity& id, int port) {
    const std::vector<std::string> names = certificateNames(id.files.certificatePem);
    std::string host = o.hosts.empty() ? std::string() : o.hosts.front();
    for (const std::string& n : names)
        if (host.empty() && isIpAddress(n) && n.find(':') == std::string::npos)
            host = n;
    if (host.empty() && !names.empty())
        host = names.front();
    if (host.empty())
        throw std::runtime_error("В сертификате нет имени сервера (subjectAltName): задайте "
                                 "--host");
    if (host.find(':') != std::string::npos)
        host = "[" + host + "]";
    return "https://" + host + (port == 443 ? "" : ":" + std::to_string(port));
}

void ensureAccount(std::ostream& out) {
    if (accountOf("kviront", nullptr, nullptr))
        return;
    const ProgramResult r =
        runProgram({"useradd", "--system", "--user-group", "--no-create-home", "--home-dir",
                    "/var/lib/kviront", "--shell", "/usr/sbin/nologin", "kviront"});
    if (r.code != 0)
        throw std::runtime_error("Не удалось создать системного пользователя kviront: " + r.output);
    out << "Создан системный пользователь kviront.\n";
}

// Starts (or restarts, when something changed) the service; without systemd says how to run
// the server by hand.
bool startService(bool changed, const std::string& configPath, std::ostream& out,
                  std::ostream& err) {
    if (!systemdRunning()) {
        out << "systemd на этой машине не запущен: служба " << unit
            << " не включена. Запустите сервер сами:\n  runuser -u kviront -- kviront-server "
               "--config "
            << configPath << "\n";
        return true;
    }
    if (runProgram({"systemctl", "cat", unit}).code != 0) {
        err << "kviront-server: нет службы " << unit
            << " — установите пакет kviront-server (он ставит службу).\n";
        return false;
    }
    runProgram({"systemctl", "daemon-reload"});
    const bool active = runProgram({"systemctl", "is-active", "--quiet", unit}).code == 0;
    const ProgramResult enabled = runProgram({"systemctl", "enable", unit});
    const ProgramResult started =
        runProgram({"systemctl", changed || !active ? "restart" : "start", unit});
    if (enabled.code != 0 || started.code != 0) {
        err << "kviront-server: служба не запустилась: " << enabled.output << started.output
            << "Подробности: journalctl -u " << unit << "\n";
        return false;
    }
    out << (changed || !active ? "Служба " + std::string(unit) + " включена и запущена.\n"
                               : "Служба " + std::string(unit) + " уже работает.\n");
    return true;
}

void nextSteps(const std::string& url, int port, std::ostream& out) {
    std::string host = url.substr(8);
    host = host.substr(0, host.rfind(':') == std::string::npos || host.back() == ']'
                              ? host.size()
                              : host.rfind(':'));
    out << "\nСервер класса готов: " << url
        << "\n\nДальше (учитель):\n"
           "  1. Пароль учителя, один раз:\n"
           "       sudo -u postgres psql kviront -c \"\\password kviront_teacher\"\n"
           "  2. Вход учителя со своего компьютера: в postgresql.conf — listen_addresses, в\n"
           "     pg_hba.conf — строка вида\n"
           "       host kviront kviront_teacher 192.168.10.0/24 scram-sha-256\n"
           "  3. Опубликуйте банк:\n"
           "       kviront-bank publish БАНК.mdb \"host="
        << host
        << " dbname=kviront user=kviront_teacher\" --name \"Физика 9\"\n"
           "  4. Откройте тестирование — команда напечатает коды учеников, запишет листки с\n"
           "     кодами и файл тестирования для учеников:\n"
           "       kviront-bank sitting open \"Физика 9\" \"host="
        << host
        << " dbname=kviront user=kviront_teacher\" --seconds 45 --list класс.txt\n"
           "  5. Раздайте файл тестирования и листки; откройте ученикам порт "
        << port << " этой машины.\n";
}

} // namespace

int runSetup(const SetupOptions& o, std::ostream& out, std::ostream& err) {
    if (::geteuid() != 0) {
        err << "kviront-server: setup выполняется от root: sudo kviront-server setup\n";
        return 1;
    }
    try {
        Config config;
        bool configChanged = true;
        std::string oldText;
        if (readWholeFile(o.configPath, &oldText)) {
            config = parseConfig(oldText, o.configPath); // a broken file is left for a person
            out << "Файл настроек " << o.configPath << " уже есть: его значения сохранены.\n";
        }
        if (o.port != 0)
            config.port = o.port;
        ensureAccount(out);
        ::mkdir("/etc/kviront", 0755);
        const Identity id = identity(o, config, out);
        if (id.changed) {
            writeFileWhole(config.key, id.files.keyPem, 0640, "kviront");
            writeFileWhole(config.certificate, id.files.certificatePem, 0644);
        }
        const std::string url = urlFor(o, id, config.port);
        std::string said;
        const int database = asUser(
            "postgres",
            [&](std::string& s) { return prepareDatabase(url, id.files.certificatePem, s); }, said);
        out << said;
        if (database != 0) {
            err << "kviront-server: база не готова. Установлен ли postgresql-15 и запущен ли "
                   "кластер (pg_lsclusters, pg_ctlcluster 15 main start)?\n";
            return 1;
        }
        const std::string text = renderConfig(config);
        configChanged = text != oldText;
        if (configChanged) {
            writeFileWhole(o.configPath, text, 0640, "kviront");
            out << "Записан файл настроек " << o.configPath << ".\n";
        }
        said.clear();
        const int login = asUser(
            "kviront", [](std::string& s) { return checkDaemonLogin(s); }, said);
        out << said;
        if (login != 0) {
            err << "kviront-server: добавьте в pg_hba.conf (перед прочими строками) строку\n"
                   "  local kviront kviront peer\n"
                   "и перечитайте настройки PostgreSQL: systemctl reload postgresql\n";
            return 1;
        }
        if (!startService(id.changed || configChanged, o.configPath, out, err))
            return 1;
        nextSteps(url, config.port, out);
        return 0;
    } catch (const std::exception& e) {
        err << "kviront-server: " << e.what() << "\n";
        return 1;
    }
}

} // namespace kvserver
