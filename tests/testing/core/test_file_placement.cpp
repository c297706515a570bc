// Where a file ends up when others share the folder (a link or folder swapped in mid-write, a
// sticky folder, the protocol's fallback folder), run as an ordinary user.
#include "core_seams.h"
#include "error_of.h"
#include "file_bytes.h"
#include "ordinary_user.h"
#include "protocol_store.h"
#include "results_sample.h"
#include "stagedfile.h"
#include "textfile.h"
#include "tool_run.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <sys/stat.h>

namespace {

enum Scenario { LinkPlanted, FolderSwapped, StickyForeign, FallbackMade, FallbackInUsersFolder };

// Whatever the test plants runs once, while the file's bytes are being written.
std::function<void()> g_plant;
qint64 plantingWrite(int fd, const char* data, qint64 size) {
    if (g_plant)
        std::exchange(g_plant, nullptr)();
    return ::write(fd, data, size_t(size));
}

int modeOf(const QString& path) {
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

bool setMode(const QString& path, mode_t mode) {
    return ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}

// Made by root for the ordinary user's run: a folder with the sticky bit holding root's file
// that anyone may write, and a copy of the results tool where that user can run it.
const char* const fixturesVariable = "KV_FILE_FIXTURES";

} // namespace

Q_DECLARE_METATYPE(Scenario)

class TestFilePlacement : public QObject {
    Q_OBJECT
    QString m_start;
    QByteArray m_home;

    static QString fixtures() { return qEnvironmentVariable(fixturesVariable); }
    static QString resultsTool() {
        return fixtures().isEmpty() ? QStringLiteral(KV_RESULTS_TOOL)
                                    : fixtures() + QStringLiteral("/kviront-results");
    }

    void prepareAsRoot() {
        if (!ordinaryuser::privileged() || !fixtures().isEmpty())
            return;
        char pattern[] = "/tmp/kv-files-XXXXXX";
        QVERIFY(::mkdtemp(pattern) && ::chmod(pattern, 0755) == 0);
        const QString root = QString::fromLatin1(pattern);
        QVERIFY(QDir().mkdir(root + "/shared") && setMode(root + "/shared", 01777));
        writeFile(root + "/shared/theirs.usr", "theirs");
        QVERIFY(setMode(root + "/shared/theirs.usr", 0666));
        QVERIFY(QFile::copy(QStringLiteral(KV_RESULTS_TOOL),
                            root + QStringLiteral("/kviront-results")));
        qputenv(fixturesVariable, QFile::encodeName(root));
    }

private slots:
    void initTestCase() {
        m_start = QDir::currentPath();
        m_home = qgetenv("HOME");
    }
    void cleanupTestCase() {
        if (ordinaryuser::privileged() && !fixtures().isEmpty())
            QDir(fixtures()).removeRecursively();
    }
    void cleanup() {
        g_plant = nullptr;
        textfile::setWriteCall(nullptr);
        QDir::setCurrent(m_start);
        qputenv("HOME", m_home);
    }

    void filesLandOnlyWhereTheyBelong_data() {
        QTest::addColumn<Scenario>("scenario");
        QTest::newRow("link planted under the name while writing") << LinkPlanted;
        QTest::newRow("folder swapped for a link while writing") << FolderSwapped;
        QTest::newRow("another user's file in a sticky folder") << StickyForeign;
        QTest::newRow("fallback folder made for the user alone") << FallbackMade;
        QTest::newRow("fallback folder in the user's own folder") << FallbackInUsersFolder;
    }
    void filesLandOnlyWhereTheyBelong() {
        QFETCH(Scenario, scenario);
        prepareAsRoot();
        KV_AS_ORDINARY_USER();
        QTemporaryDir dir;
        const QString work = dir.filePath("work"), victim = dir.filePath("victim");
        const QString victims = victim + "/protocol.usr";
        QVERIFY(QDir().mkdir(work) && QDir().mkdir(victim));
        writeFile(victims, "victim");
        const QString target = work + QStringLiteral("/protocol.usr");
        textfile::setWriteCall(plantingWrite);
        const auto write = [](const QString& path) {
            return errorOf<FileError>(
                [&] { textfile::writeFileAtomically(path, "mine", textfile::Links::Refuse); });
        };
        switch (scenario) {
        case LinkPlanted: {
            writeFile(target, "old");
            g_plant = [&] {
                QFile::remove(target);
                QFile::link(victims, target);
            };
            const QString error = write(target);
            QVERIFY2(error.contains("под этим именем стоит символическая ссылка"),
                     qPrintable(error));
            QVERIFY(QFileInfo(target).isSymLink());
            QCOMPARE(QDir(work).entryList(QDir::Files | QDir::Hidden | QDir::System),
                     QStringList{"protocol.usr"});
            break;
        }
        case FolderSwapped: {
            g_plant = [&] {
                QDir().rename(work, work + QStringLiteral(".old"));
                QFile::link(victim, work);
            };
            QCOMPARE(write(target), QString());
            QCOMPARE(fileBytes(work + QStringLiteral(".old/protocol.usr")), QByteArray("mine"));
            QCOMPARE(QDir(victim).entryList(QDir::Files | QDir::Hidden),
                     QStringList{"protocol.usr"});
            break;
        }
        case StickyForeign: {
            if (fixtures().isEmpty())
                QSKIP("needs root to make another user's file");
            const QString theirs = fixtures() + QStringLiteral("/shared/theirs.usr");
            QCOMPARE(write(theirs),
                     QStringLiteral("Не удалось записать файл «%1»: файл принадлежит другому "
                                    "пользователю, а в этой общей папке (с битом sticky) чужой "
                                    "файл может заменить только его владелец")
                         .arg(theirs));
            QCOMPARE(fileBytes(theirs), QByteArray("theirs"));
            break;
        }
        case FallbackMade:
        case FallbackInUsersFolder: {
            const QString home = dir.filePath("home"), own = home + "/Квиронт";
            QVERIFY(QDir().mkpath(home));
            qputenv("HOME", QFile::encodeName(home));
            if (scenario == FallbackInUsersFolder)
                QVERIFY(QDir().mkdir(own) && setMode(own, 0755));
            QVERIFY(QDir::setCurrent(work) && setMode(work, 0500)); // it takes no files
            const QString name = QStringLiteral("Иванов Иван  7-12-2026  9-05-03.usr");
            const protocolstore::Saved saved = protocolstore::save(
                [&](int) { return name; }, sample::cp1251(sample::protocolText(
                                               QStringLiteral("Иванов Иван"), {{1, 2, 5}}, true)));
            setMode(work, 0700);
            const QString fallback = own + QStringLiteral("/Протоколы");
            QCOMPARE(saved.path, fallback + QLatin1Char('/') + name);
            QCOMPARE(modeOf(own), scenario == FallbackMade ? 0700 : 0755);
            QCOMPARE(modeOf(fallback), 0700);
            QVERIFY2(protocolstore::fallbackNotice(saved).endsWith(
                         QStringLiteral("Отчёт по классу эту папку сам не просматривает: назовите "
                                        "её команде kviront-results вместе с рабочей папкой.")),
                     qPrintable(protocolstore::fallbackNotice(saved)));
            // The class report takes the fallback folder as any other.
            const toolrun::Result t =
                toolrun::run(resultsTool(), {fallback, "-o", dir.filePath("class.html")});
            QVERIFY2(t.code == 0, qPrintable(t.err));
            QVERIFY(QFile::exists(dir.filePath("class.html")));
            break;
        }
        }
        QCOMPARE(fileBytes(victims), QByteArray("victim"));
    }
};

QTEST_GUILESS_MAIN(TestFilePlacement)
#include "test_file_placement.moc"
