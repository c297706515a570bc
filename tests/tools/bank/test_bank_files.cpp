// The bank tool's files as an ordinary user meets them: temporary names that never touch a
// file already there, a full disk, the umask, and files the user may not read.
#include "bankexchange.h"
#include "bankfile.h"
#include "core_seams.h"
#include "error_of.h"
#include "file_bytes.h"
#include "full_disk.h"
#include "jetbank.h"
#include "jetconvert.h"
#include "ordinary_user.h"
#include "textfile.h"

#include <QDir>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

using namespace bankexchange;

namespace {

const QByteArray gift = "::1:: Самая большая планета? {=Юпитер ~Марс ~Венера ~Земля}\n";

mode_t modeOf(const QString& path) {
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 0777 : 0;
}

} // namespace

class TestBankFiles : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    QString path(const QString& name) const { return m_dir->filePath(name); }
    QStringList entries() const {
        return QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }
    void cleanup() {
        textfile::setWriteCall(nullptr);
        m_dir.reset();
    }

    // A bank is made under a name of its own: neither the source, however it is named, nor
    // an unrelated file is ever removed or replaced.
    void importNeverTouchesAnotherFile() {
        writeFile(path("quiz.mdb.part"), gift);
        writeFile(path("other.mdb.part"), "someone else's");
        Report report;
        QCOMPARE(importBank({path("quiz.mdb.part"), path("quiz.mdb"), Format::Gift, false, false},
                            report),
                 0);
        QCOMPARE(importBank({path("quiz.mdb.part"), path("other.mdb"), Format::Gift, false, false},
                            report),
                 0);
        QCOMPARE(fileBytes(path("quiz.mdb.part")), gift);
        QCOMPARE(fileBytes(path("other.mdb.part")), QByteArray("someone else's"));
        QCOMPARE(entries(),
                 (QStringList{"other.mdb", "other.mdb.part", "quiz.mdb", "quiz.mdb.part"}));
    }

    void exportToAFullDiskNamesTheFileAndTheReason_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<qint64>("free");
        QTest::newRow("xml, disk full") << QStringLiteral("q.xml") << qint64(0);
        QTest::newRow("csv, 100 bytes free") << QStringLiteral("q.csv") << qint64(100);
    }
    void exportToAFullDiskNamesTheFileAndTheReason() {
        QFETCH(QString, target);
        QFETCH(qint64, free);
        writeFile(path("q.gift"), gift.repeated(2000));
        Report report;
        QCOMPARE(importBank({path("q.gift"), path("q.mdb"), Format::Gift, false, false}, report),
                 0);
        disk::room = free;
        textfile::setWriteCall(disk::full);
        QCOMPARE(
            errorOf([&] { exportBank(path("q.mdb"), path(target), Format::Guess, false, report); }),
            QStringLiteral("Не удалось записать файл «%1»: На устройстве не осталось "
                           "свободного места")
                .arg(path(target)));
        QCOMPARE(entries(), (QStringList{"q.gift", "q.mdb"}));
    }

    // New files get what the umask leaves of 0666, as every program's do.
    void newFilesFollowTheUmask_data() {
        QTest::addColumn<int>("mask");
        QTest::newRow("022") << 022;
        QTest::newRow("027") << 027;
        QTest::newRow("002") << 002;
    }
    void newFilesFollowTheUmask() {
        QFETCH(int, mask);
        const mode_t old = ::umask(mode_t(mask));
        const auto restore = qScopeGuard([&] { ::umask(old); });
        writeFile(path("q.gift"), gift);
        Report report;
        QCOMPARE(importBank({path("q.gift"), path("q.mdb"), Format::Gift, false, false}, report),
                 0);
        QCOMPARE(exportBank(path("q.mdb"), path("q.xml"), Format::Guess, false, report), 0);
        QCOMPARE(exportBank(path("q.mdb"), path("q.csv"), Format::Guess, false, report), 0);
        for (const char* made : {"q.mdb", "q.xml", "q.csv"})
            QCOMPARE(modeOf(path(made)), mode_t(0666 & ~mask));
    }

    // A file the user may not read is named with the reason, not taken for something else.
    void unreadableFilesAreNamedWithTheReason() {
        KV_AS_ORDINARY_USER();
        writeFile(path("old.mdb"), QByteArray("\0\1\0\0Standard Jet DB\0\1\0\0\0", 24));
        QVERIFY(jetbank::isJetFile(path("old.mdb")));
        writeFile(path("q.gift"), gift);
        Report report;
        QCOMPARE(importBank({path("q.gift"), path("q.mdb"), Format::Gift, false, false}, report),
                 0);
        for (const char* name : {"old.mdb", "q.gift", "q.mdb"})
            QVERIFY(QFile::setPermissions(path(name), QFile::WriteOwner));
        QCOMPARE(errorOf([&] { jetconvert::convert(path("old.mdb"), path("new.mdb")); }),
                 QStringLiteral("Не удаётся прочитать банк вопросов «%1»: Отказано в доступе")
                     .arg(path("old.mdb")));
        QCOMPARE(
            errorOf([&] {
                importBank({path("q.gift"), path("r.mdb"), Format::Gift, false, false}, report);
            }),
            QStringLiteral("Не удалось открыть файл «%1»: Отказано в доступе").arg(path("q.gift")));
        QCOMPARE(errorOf([&] { checkBank(path("q.mdb"), report); }),
                 QStringLiteral("Не удаётся прочитать файл банка вопросов «%1»: Отказано в доступе")
                     .arg(path("q.mdb")));
        QVERIFY(!QFileInfo::exists(path("new.mdb")) && !QFileInfo::exists(path("r.mdb")));
    }
};

QTEST_GUILESS_MAIN(TestBankFiles)
#include "test_bank_files.moc"
