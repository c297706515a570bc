#pragma once

// Tests whose outcome depends on a user's rights. Root passes every permission check, and the
// tests run as root in CI; so as root such a test function runs again in a child process as
// user nobody, and passes or fails with it. Under any other user it simply runs.
//
//     void refusesAReadOnlyFile() {
//         KV_AS_ORDINARY_USER();
//         ...
//     }
//
// The child runs a copy of this test program from a temporary folder that nobody can reach
// (the build tree may sit where nobody cannot enter, under /root), with a home, a temporary
// folder and a runtime folder of its own there, and the environment of this process besides.
#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTest>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace ordinaryuser {

inline constexpr uid_t nobody = 65534;
inline constexpr gid_t nogroup = 65534;

inline bool privileged() {
    return ::geteuid() == 0;
}

// A folder that nobody owns, inside `parent`.
inline QByteArray ownedFolder(const QByteArray& parent, const char* name) {
    const QByteArray path = parent + '/' + name;
    if (::mkdir(path.constData(), 0700) != 0 || ::chown(path.constData(), nobody, nogroup) != 0)
        return {};
    return path;
}

// Runs `test` ("function" or "function:tag") of this program as nobody; the exit status.
inline int rerun(const QByteArray& test) {
    char pattern[] = "/tmp/kv-ordinary-XXXXXX";
    if (!::mkdtemp(pattern) || ::chmod(pattern, 0755) != 0)
        return -1;
    const QByteArray root(pattern);
    const QByteArray program = root + "/" + QFile::encodeName(QCoreApplication::applicationName());
    const QByteArray self = QFile::encodeName(QCoreApplication::applicationFilePath());
    int status = -1;
    const QByteArray home = ownedFolder(root, "home"), tmp = ownedFolder(root, "tmp"),
                     run = ownedFolder(root, "run");
    if ((::link(self.constData(), program.constData()) == 0 ||
         QFile::copy(QFile::decodeName(self), QFile::decodeName(program))) &&
        ::chmod(program.constData(), 0755) == 0 && !home.isEmpty() && !tmp.isEmpty() &&
        !run.isEmpty()) {
        // Everything the child needs is made before fork: after it, only system calls.
        std::vector<QByteArray> env;
        for (char** e = environ; *e; ++e) {
            const QByteArray entry(*e);
            if (!entry.startsWith("HOME=") && !entry.startsWith("TMPDIR=") &&
                !entry.startsWith("XDG_RUNTIME_DIR="))
                env.push_back(entry);
        }
        env.push_back("HOME=" + home);
        env.push_back("TMPDIR=" + tmp);
        env.push_back("XDG_RUNTIME_DIR=" + run);
        std::vector<char*> envp;
        for (QByteArray& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        QByteArray arg0 = program, arg1 = test;
        char* argv[] = {arg0.data(), arg1.data(), nullptr};
        const pid_t child = ::fork();
        if (child == 0) {
            if (::chdir(tmp.constData()) == 0 && ::setgroups(0, nullptr) == 0 &&
                ::setgid(nogroup) == 0 && ::setuid(nobody) == 0 && ::getuid() == nobody)
                ::execve(argv[0], argv, envp.data());
            ::_exit(127);
        }
        if (child > 0 && ::waitpid(child, &status, 0) == child)
            status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    QDir(QFile::decodeName(root)).removeRecursively();
    return status;
}

inline QByteArray currentTest() {
    QByteArray test = QTest::currentTestFunction();
    if (const char* tag = QTest::currentDataTag())
        test += QByteArray(":") + tag;
    return test;
}

} // namespace ordinaryuser

#define KV_AS_ORDINARY_USER()                                                                      \
    do {                                                                                           \
        if (ordinaryuser::privileged()) {                                                          \
            QCOMPARE(ordinaryuser::rerun(ordinaryuser::currentTest()), 0);                         \
            return;                                                                                \
        }                                                                                          \
    } while (0)
