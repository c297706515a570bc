// kviront-results among files it must not touch: outputs that lead back to an input by a link,
// a linked folder or a name it skipped, an output folder that refuses one of several files,
// and inputs the user may not read.
#include "file_bytes.h"
#include "ordinary_user.h"
#include "results_sample.h"
#include "results_tool.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Run {
    int code = -1;
    QString out, err;
};

Run run(const QStringList& args) {
    Run r;
    QTextStream out(&r.out), err(&r.err);
    r.code = results::runTool(args, QStringLiteral("8.12.2026 10:00"), out, err);
    return r;
}

} // namespace

class TestResultsFiles : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    QByteArray m_protocol;
    QString path(const QString& name) const { return m_dir->filePath(name); }
    QStringList entries(const QString& folder) const {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir().mkdir(path("prot")));
        m_protocol = sample::cp1251(
            sample::protocolText(QStringLiteral("Иванов Иван"), {{1, 2, 5}, {2, 1, 7}}, true));
        writeFile(path("prot/a.usr"), m_protocol);
        writeFile(path("prot/notes.txt"), "not a protocol");
    }
    void cleanup() { m_dir.reset(); }

    // Each output leads to an input: through a link, through a linked folder, or by naming a
    // file given as an input that proved to be no protocol. Nothing is written.
    void neverWritesOverAnInput_data() {
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("option");
        QTest::newRow("link to a protocol") << QStringLiteral("report.html") << "-o";
        QTest::newRow("linked folder") << QStringLiteral("same/notes.txt") << "-o";
        QTest::newRow("skipped input") << QStringLiteral("prot/notes.txt") << "-o";
        QTest::newRow("skipped input as CSV") << QStringLiteral("prot/notes") << "--csv";
    }
    void neverWritesOverAnInput() {
        QFETCH(QString, output);
        QFETCH(QString, option);
        QVERIFY(QFile::link(path("prot/a.usr"), path("report.html")));
        QVERIFY(QFile::link(path("prot"), path("same")));
        // The CSV prefix "notes" would write notes-class.csv: make that the skipped input.
        writeFile(path("prot/notes-class.csv"), "not a protocol");
        const QStringList inputs{path("prot"), path("prot/notes.txt"),
                                 path("prot/notes-class.csv")};
        QStringList args = inputs + QStringList{option, path(output)};
        if (option == "--csv")
            args << "-o" << path("r.html"); // would be written, but for the CSV file
        const Run r = run(args);
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(QStringLiteral("не перезаписывается")), qPrintable(r.err));
        QCOMPARE(fileBytes(path("prot/a.usr")), m_protocol);
        QCOMPARE(fileBytes(path("prot/notes.txt")), QByteArray("not a protocol"));
        QCOMPARE(fileBytes(path("prot/notes-class.csv")), QByteArray("not a protocol"));
        QVERIFY(!QFileInfo::exists(path("r.html")));
    }

    // A link under the output's name may point anywhere; it is never written through.
    void plantedLinkIsRefused() {
        writeFile(path("teacher.doc"), "keep");
        QVERIFY(QFile::link(path("teacher.doc"), path("results.html")));
        const Run r = run({path("prot"), "-o", path("results.html")});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(path("results.html")) && r.err.contains("символическая ссылка"),
                 qPrintable(r.err));
        QCOMPARE(fileBytes(path("teacher.doc")), QByteArray("keep"));
    }

    // One output that cannot be written stops them all, and the message names it in full.
    void oneRefusedOutputWritesNone() {
        const QString missing = path("no/such/folder/x");
        const Run r = run({path("prot"), "-o", path("r.html"), "--csv", missing});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.startsWith(
                     QStringLiteral("Не удалось записать файл «%1-class.csv»").arg(missing)),
                 qPrintable(r.err));
        QVERIFY(r.err.contains(QStringLiteral("Ни один файл отчёта не записан")));
        QCOMPARE(entries(m_dir->path()), QStringList());
        // Written, every output is named in full.
        QDir::setCurrent(m_dir->path());
        const Run ok = run({path("prot"), "--csv", "k"});
        QCOMPARE(ok.code, 0);
        for (const char* name : {"results.html", "k-class.csv", "k-questions.csv"})
            QVERIFY2(ok.out.contains(QStringLiteral("Записан файл %1\n").arg(path(name))),
                     qPrintable(ok.out));
    }

    // A protocol whose name starts with ':' is read from its folder: QDir::filePath() takes such
    // a name for a path of its own, and the tool read ":b.usr" of the current folder instead.
    void aNameStartingWithAColonIsReadFromItsFolder() {
        QVERIFY(QDir().mkpath(path("cwd")));
        auto protocolOf = [](const QString& name) {
            return sample::cp1251(sample::protocolText(name, {{1, 2, 5}}, true));
        };
        writeFile(path("prot/:b.usr"), protocolOf(QStringLiteral("Петрова Анна")));
        writeFile(path("cwd/:b.usr"), protocolOf(QStringLiteral("Чужой Файл")));
        const QString was = QDir::currentPath();
        const auto back = qScopeGuard([&] { QDir::setCurrent(was); });
        QVERIFY(QDir::setCurrent(path("cwd")));
        const Run r = run({path("prot"), "-o", path("r.html"), "--csv", path("k")});
        QCOMPARE(r.code, 0);
        const QString csv = QString::fromUtf8(fileBytes(path("k-class.csv")));
        QVERIFY2(csv.contains(QStringLiteral("Петрова Анна")), qPrintable(csv));
        QVERIFY2(!csv.contains(QStringLiteral("Чужой")), qPrintable(csv));
    }

    // Nothing readable: no report that passes for a class with no runs, and the real reason.
    void unreadableInputsWriteNothingAndSayWhy() {
        KV_AS_ORDINARY_USER();
        writeFile(path("b.usr"), m_protocol);
        QVERIFY(QFile::setPermissions(path("b.usr"), QFile::WriteOwner));
        QVERIFY(QFile::setPermissions(path("prot"), QFile::WriteOwner));
        const auto restore = qScopeGuard([&] {
            QFile::setPermissions(path("prot"),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        });
        QDir::setCurrent(m_dir->path());
        const Run r = run({path("prot"), path("b.usr")});
        QCOMPARE(r.code, 1);
        QCOMPARE(r.err,
                 QStringLiteral("Пропущен %1: папка не открывается: Отказано в доступе\n"
                                "Пропущен %2: Не удалось открыть файл «%2»: Отказано в доступе\n"
                                "Не прочитано ни одного протокола: отчёт не записан.\n")
                     .arg(path("prot"), path("b.usr")));
        QVERIFY(!QFileInfo::exists(path("results.html")));
    }
};

QTEST_GUILESS_MAIN(TestResultsFiles)
#include "test_results_files.moc"
