// Whole files written and read under bad conditions: a disk that fills up, a file size limit,
// FIFOs, devices, links and names of the full length.
#include "core_seams.h"
#include "error.h"
#include "full_disk.h"
#include "textfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

// The message of the Error that `action` throws, or "(no error)".
template <class Action> QString errorOf(Action action) {
    try {
        action();
    } catch (const Error& e) {
        return e.message();
    }
    return QStringLiteral("(no error)");
}
} // namespace

class TestTextFile : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    QString path(const QString& name) const { return m_dir->filePath(name); }
    QStringList entries() const {
        return QDir(m_dir->path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }
    void cleanup() {
        textfile::setWriteCall(nullptr);
        m_dir.reset();
    }

    void fullDiskLeavesTheOldFileAndGivesTheReason_data() {
        QTest::addColumn<qint64>("free");
        QTest::newRow("no byte free") << qint64(0);
        QTest::newRow("4 KB free of 10 KB") << qint64(4096);
    }
    void fullDiskLeavesTheOldFileAndGivesTheReason() {
        QFETCH(qint64, free);
        const QString old = path(QStringLiteral("old.usr"));
        textfile::writeFileAtomically(old, "old protocol\r\n");
        const QByteArray protocol(10 * 1024, 'x');
        textfile::setWriteCall(disk::full);
        for (const QString& target : {old, path(QStringLiteral("new.usr"))}) {
            disk::room = free;
            const QString error = errorOf([&] { textfile::writeFileAtomically(target, protocol); });
            QCOMPARE(error, QStringLiteral("Не удалось записать файл «%1»: %2")
                                .arg(target, textfile::systemReason(ENOSPC)));
        }
        QCOMPARE(fileBytes(old), QByteArray("old protocol\r\n"));
        QCOMPARE(entries(), QStringList{QStringLiteral("old.usr")}); // nothing half-written
        textfile::setWriteCall(nullptr);
        textfile::writeFileAtomically(old, protocol);
        QCOMPARE(fileBytes(old), protocol);
    }

    void fileSizeLimitOfTheSystemLeavesTheOldFile() {
        // The system's own refusal, in a child process so the limit stays there.
        const QString old = path(QStringLiteral("old.usr"));
        textfile::writeFileAtomically(old, "old");
        const pid_t child = ::fork();
        if (child == 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{4096, 4096};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            const QString error =
                errorOf([&] { textfile::writeFileAtomically(old, QByteArray(10 * 1024, 'x')); });
            ::_exit(error.endsWith(textfile::systemReason(EFBIG)) ? 0 : 1);
        }
        QVERIFY(child > 0);
        int status = -1;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
        QCOMPARE(fileBytes(old), QByteArray("old"));
        QCOMPARE(entries(), QStringList{QStringLiteral("old.usr")});
    }

    void reasonIsInTheUsersLanguage() {
        const QByteArray saved = std::setlocale(LC_MESSAGES, nullptr);
        if (!std::setlocale(LC_MESSAGES, "ru_RU.UTF-8"))
            QSKIP("no ru_RU.UTF-8 locale");
        const QString reason = textfile::systemReason(ENOSPC);
        std::setlocale(LC_MESSAGES, saved.constData());
        QVERIFY2(reason.contains(QStringLiteral("устройств")), qPrintable(reason));
    }

    void fifosAndDevicesAreRefusedWithoutBlocking() {
        const QString fifo = path(QStringLiteral("pipe.usr"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const QString zero = path(QStringLiteral("zero.usr"));
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), zero));
        QCOMPARE(errorOf([&] { textfile::readFile(fifo, 100); }),
                 QStringLiteral("Не удалось открыть файл «%1»: это канал (FIFO), а не обычный файл")
                     .arg(fifo));
        QCOMPARE(errorOf([&] { textfile::readFile(zero, 100); }),
                 QStringLiteral("Не удалось открыть файл «%1»: это устройство, а не обычный файл")
                     .arg(zero));
        QCOMPARE(errorOf([&] { textfile::readFile(m_dir->path(), 100); }),
                 QStringLiteral("Не удалось открыть файл «%1»: это папка, а не обычный файл")
                     .arg(m_dir->path()));
        // A device behind a link is not replaced by a file either.
        const QString null = path(QStringLiteral("null.usr"));
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), null));
        QCOMPARE(errorOf([&] { textfile::writeFileAtomically(null, "x"); }),
                 QStringLiteral("Не удалось записать файл «%1»: это устройство, а не обычный файл")
                     .arg(null));
        QCOMPARE(QFileInfo(null).symLinkTarget(), QStringLiteral("/dev/null"));
    }

    void linkedFileIsReplacedAndKeepsItsPermissions() {
        const QString real = path(QStringLiteral("real.usr"));
        const QString link = path(QStringLiteral("link.usr"));
        textfile::writeFileAtomically(real, "first");
        QVERIFY(
            QFile::setPermissions(real, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        const QFile::Permissions permissions = QFileInfo(real).permissions();
        QVERIFY(QFile::link(real, link));
        textfile::writeFileAtomically(link, "second");
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(fileBytes(real), QByteArray("second"));
        QCOMPARE(QFileInfo(real).permissions(), permissions);
    }

    void nameOfTheFullLengthIsWritten() {
        const QString name = QString(251, QLatin1Char('n')) + QStringLiteral(".usr");
        textfile::writeFileAtomically(path(name), "full");
        QCOMPARE(textfile::readFile(path(name), 100), QByteArray("full"));
        QCOMPARE(entries(), QStringList{name});
    }

    void fileGrowingPastTheLimitIsRefused() {
        // A size the system reports as 0 is no licence to read without end.
        const QString error =
            errorOf([] { textfile::readFile(QStringLiteral("/proc/self/maps"), 10); });
        QVERIFY2(error.contains(QStringLiteral("слишком велик")), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(TestTextFile)
#include "test_textfile.moc"
