#include "system.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace kvserver {
namespace {

constexpr std::size_t maxOutput = 64 * 1024;

// Reads the pipe until it closes or the time is up; then waits for the child.
int collect(pid_t child, int fd, std::string& output, int seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            ::kill(child, SIGKILL);
            break;
        }
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, int(left.count())) <= 0)
            continue;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        if (output.size() < maxOutput)
            output.append(buffer, std::size_t(n));
    }
    ::close(fd);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

ProgramResult runProgram(const std::vector<std::string>& argv) {
    ProgramResult result;
    int pipefd[2];
    if (argv.empty() || ::pipe2(pipefd, O_CLOEXEC) != 0)
        return result;
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(pipefd[0]);
        ::close(pipefd[1]);
        return result;
    }
    if (child == 0) {
        ::dup2(pipefd[1], STDOUT_FILENO);
        ::dup2(pipefd[1], STDERR_FILENO);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    ::close(pipefd[1]);
    result.code = collect(child, pipefd[0], result.output, 120);
    return result;
}

bool accountOf(const std::string& user, unsigned* uid, unsigned* gid) {
    const passwd* pw = ::getpwnam(user.c_str());
    if (!pw)
        return false;
    if (uid)
        *uid = pw->pw_uid;
    if (gid)
        *gid = pw->pw_gid;
    return true;
}

int asUser(const std::string& user, const std::function<int(std::string&)>& work,
           std::string& output) {
    unsigned uid = 0, gid = 0;
    int pipefd[2];
    if (!accountOf(user, &uid, &gid) || ::pipe2(pipefd, O_CLOEXEC) != 0)
        return -1;
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(pipefd[0]);
        ::close(pipefd[1]);
        return -1;
    }
    if (child == 0) {
        ::close(pipefd[0]);
        if (::initgroups(user.c_str(), gid_t(gid)) != 0 || ::setgid(gid_t(gid)) != 0 ||
            ::setuid(uid_t(uid)) != 0 || ::chdir("/") != 0)
            ::_exit(126);
        std::string said;
        const int code = work(said);
        for (std::size_t done = 0; done < said.size();) {
            const ssize_t n = ::write(pipefd[1], said.data() + done, said.size() - done);
            if (n <= 0)
                break;
            done += std::size_t(n);
        }
        ::_exit(code);
    }
    ::close(pipefd[1]);
    return collect(child, pipefd[0], output, 300);
}

void writeFileWhole(const std::string& path, const std::string& content, unsigned mode,
                    const std::string& groupName) {
    const struct group* g = ::getgrnam(groupName.c_str());
    const std::string temporary = path + ".new";
    const int fd =
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    bool ok = fd >= 0;
    for (std::size_t done = 0; ok && done < content.size();) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        ok = n > 0;
        done += ok ? std::size_t(n) : 0;
    }
    ok = ok && ::fchown(fd, 0, g ? g->gr_gid : 0) == 0 && ::fchmod(fd, mode_t(mode)) == 0 &&
         ::fsync(fd) == 0;
    const int error = errno;
    if (fd >= 0)
        ::close(fd);
    if (!ok || ::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        throw std::runtime_error("Не удалось записать " + path + ": " +
                                 std::strerror(ok ? errno : error));
    }
}

bool readWholeFile(const std::string& path, std::string* content, std::size_t limit) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    content->clear();
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0 && content->size() <= limit)
        content->append(buffer, std::size_t(n));
    ::close(fd);
    return n == 0;
}

std::vector<std::string> machineNames() {
    std::vector<std::string> names;
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) == 0 && host[0] && std::strcmp(host, "localhost"))
        names.emplace_back(host);
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) == 0) {
        for (const ifaddrs* a = list; a; a = a->ifa_next) {
            if (!a->ifa_addr || (a->ifa_flags & IFF_LOOPBACK))
                continue;
            char text[INET6_ADDRSTRLEN] = {};
            if (a->ifa_addr->sa_family == AF_INET)
                ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr, text,
                            sizeof text);
            else
                continue; // IPv6 link-local addresses change with the interface: not in a
                          // certificate
            names.emplace_back(text);
        }
        ::freeifaddrs(list);
    }
    return names;
}

bool systemdRunning() {
    struct stat s {};
    return ::lstat("/run/systemd/system", &s) == 0 && S_ISDIR(s.st_mode);
}

} // namespace kvserver
