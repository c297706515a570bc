// The command lines of kviront-bank and kviront-results, run as a user runs them: options
// before, between and after the arguments, "--", unknown options, missing arguments and
// values, --help, --version and the exit codes; and their manual pages against their tables.
// The program's own: --help and --version without a display, nothing else.
#include "bankcommands.h"
#include "results_sample.h"
#include "results_tool.h"
#include "servercommands.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

bool write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QString manPage(const QString& language, const QString& tool) {
    QFile f(QStringLiteral(KV_MAN_DIR "/%1%2.1").arg(language, tool));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// How a manual page's source spells a command-line word: every "-" escaped.
QString troff(QString text) {
    return text.replace(QLatin1Char('-'), QLatin1String("\\-"));
}

} // namespace

class TestToolArguments : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    // "program": kviront without a display; "program on screen": with the offscreen one, where
    // a window that opened would never end by itself.
    Run run(const QString& tool, const QStringList& args) {
        QProcess p;
        p.setWorkingDirectory(m_dir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"})
            env.remove(QLatin1String(name));
        if (tool == QLatin1String("program"))
            env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        p.setProcessEnvironment(env);
        p.start(tool == QLatin1String("bank")      ? QStringLiteral(KV_BANK_TOOL)
                : tool == QLatin1String("results") ? QStringLiteral(KV_RESULTS_TOOL)
                                                   : QStringLiteral(KV_PROGRAM),
                args);
        if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
            return {};
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        // One question that fits a bank and one that does not (three options).
        const QByteArray gift = "::1:: Самая большая планета? {=Юпитер ~Марс ~Венера ~Земля}\n\n"
                                "::2:: Плохой вопрос? {=да ~нет ~может быть}\n";
        QVERIFY(write(m_dir.filePath(QStringLiteral("quiz.gift")), gift));
        QVERIFY(write(m_dir.filePath(QStringLiteral("-dash.gift")), gift));
        QVERIFY(write(m_dir.filePath(QStringLiteral("bank.gift")), gift.left(gift.indexOf("\n"))));
        const QByteArray protocol = sample::cp1251(
            sample::protocolText(QStringLiteral("Иванов Иван"), {{1, 2, 5}, {2, 1, 9}}, true));
        for (const char* folder : {"class", "-class"}) {
            QVERIFY(QDir(m_dir.path()).mkpath(QLatin1String(folder)));
            QVERIFY(
                write(m_dir.filePath(QLatin1String(folder) + QStringLiteral("/a.usr")), protocol));
        }
        QCOMPARE(run(QStringLiteral("bank"), {"import", "bank.gift", "bank.mdb"}).exitCode, 0);
        QVERIFY(QFile::link(m_dir.path(), m_dir.filePath(QStringLiteral("same"))));
    }

    void commandLine_data() {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out");     // a part of stdout; "" none at all; "*" any
        QTest::addColumn<QString>("err");     // the same for stderr
        QTest::addColumn<QString>("written"); // made when (and only when) the exit code is 0
        const QString any = QStringLiteral("*");
        auto row = [](const char* name, const char* tool, QStringList args, int code,
                      const QString& out, const QString& err, const QString& written = {}) {
            QTest::newRow(name) << QString::fromLatin1(tool) << args << code << out << err
                                << written;
        };
        const QString help = QStringLiteral("Использование:\n");

        // kviront-bank: options anywhere, "--", every usage error named.
        row("option after the arguments", "bank", {"import", "quiz.gift", "a1.mdb", "--skip-bad"},
            0, "банк «a1.mdb» записан", any, "a1.mdb");
        row("option before the arguments", "bank", {"import", "--skip-bad", "quiz.gift", "a2.mdb"},
            0, any, any, "a2.mdb");
        row("option between the arguments", "bank", {"import", "quiz.gift", "--skip-bad", "a3.mdb"},
            0, any, any, "a3.mdb");
        row("option before the command", "bank", {"--skip-bad", "import", "quiz.gift", "a4.mdb"}, 0,
            any, any, "a4.mdb");
        row("value after =", "bank", {"import", "--format=gift", "quiz.gift", "--skip-bad", "a5"},
            0, any, any, "a5");
        row("value as the next argument", "bank",
            {"import", "quiz.gift", "--format", "GIFT", "a6", "--skip-bad"}, 0, any, any, "a6");
        row("refusal without the option", "bank", {"import", "quiz.gift", "a7.mdb"}, 1, "",
            "банк «a7.mdb» не записан", "a7.mdb");
        row("-- ends the options", "bank", {"import", "--skip-bad", "--", "-dash.gift", "a8.mdb"},
            0, any, any, "a8.mdb");
        row("an option after -- is an argument", "bank",
            {"import", "quiz.gift", "a9.mdb", "--", "--skip-bad"}, 2, "",
            "лишний аргумент «--skip-bad»", "a9.mdb");
        row("unknown long option", "bank", {"import", "--frob", "quiz.gift", "b1.mdb"}, 2, "",
            "неизвестный параметр «--frob»", "b1.mdb");
        row("unknown short option", "bank", {"check", "-x", "bank.mdb"}, 2, "",
            "неизвестный параметр «-x»");
        row("missing argument", "bank", {"import", "quiz.gift"}, 2, "", "не указан аргумент ФАЙЛ");
        row("missing value", "bank", {"import", "quiz.gift", "b2.mdb", "--format"}, 2, "",
            "после --format нужно значение ФОРМАТ", "b2.mdb");
        row("value that does not fit", "bank", {"import", "--format", "docx", "quiz.gift", "b3"}, 2,
            "", "недопустимое значение «docx»", "b3");
        row("export has no gift", "bank", {"export", "--format", "gift", "bank.mdb", "b4.txt"}, 2,
            "", "«gift»", "b4.txt");
        row("option of another command", "bank", {"export", "--dry-run", "bank.mdb", "b5.xml"}, 2,
            "", "параметр --dry-run не относится к команде export", "b5.xml");
        row("value given to a flag", "bank", {"import", "--skip-bad=1", "quiz.gift", "b6"}, 2, "",
            "параметр --skip-bad не принимает значения", "b6");
        row("extra argument", "bank", {"check", "bank.mdb", "other.mdb"}, 2, "",
            "лишний аргумент «other.mdb»");
        row("unknown command", "bank", {"nonsense"}, 2, "", "неизвестная команда «nonsense»");
        row("no command", "bank", {}, 2, "", "не указана команда");
        row("command of two words", "bank", {"server", "init"}, 2, "",
            "не указан аргумент СТРОКА_ПОДКЛЮЧЕНИЯ");
        row("publish needs --name", "bank", {"publish", "bank.mdb", "dbname=none"}, 2, "",
            "не указан параметр --name ИМЯ");
        row("publish writes no bank file", "bank",
            {"publish", "--name", "Ф", "bank.mdb", "dbname=none", "--link", "p1.mdb"}, 2, "",
            "параметр --link не относится к команде publish", "p1.mdb");
        row("help", "bank", {"--help"}, 0, help, "");
        row("help wins over errors", "bank", {"import", "--frob", "--help"}, 0, help, "");
        row("version", "bank", {"--version"}, 0,
            QStringLiteral("kviront-bank (Квиронт) " KV_VERSION "\n"), "");
        row("export, option last", "bank", {"export", "bank.mdb", "b7.xml", "--format", "moodle"},
            0, any, "", "b7.xml");
        row("check finds nothing", "bank", {"check", "bank.mdb"}, 0, any, "");
        row("check refuses a missing bank", "bank", {"check", "missing.mdb"}, 1, "", "missing");

        // kviront-results: one command, inputs and options in any order.
        row("results, option after", "results", {"class", "-o", "r1.html"}, 0, "r1.html", "",
            "r1.html");
        row("results, option before", "results", {"-o", "r2.html", "class"}, 0, any, "", "r2.html");
        row("results, short value joined", "results", {"-or3.html", "class"}, 0, any, "",
            "r3.html");
        row("results, long form", "results", {"--output=r4.html", "class", "--csv", "r4"}, 0,
            "r4-class.csv", "", "r4-questions.csv");
        row("results, -- before a folder named -class", "results",
            {"-o", "r5.html", "--", "-class"}, 0, any, "", "r5.html");
        row("results, no input", "results", {"-o", "r6.html"}, 2, "",
            "не указаны протоколы (ПАПКА_ИЛИ_ФАЙЛ) или --server", "r6.html");
        row("results, --bank needs --server", "results", {"class", "--bank", "Физика"}, 2, "",
            "нужен --server");
        row("results, a date that does not read", "results",
            {"--since", "вчера", "--server", "dbname=none"}, 2, "", "вчера");
        row("results, missing value", "results", {"class", "--csv"}, 2, "",
            "после --csv нужно значение ПРЕФИКС");
        row("results, missing short value", "results", {"class", "-o"}, 2, "",
            "после -o нужно значение ОТЧЁТ.html");
        row("results, missing long value", "results", {"class", "--output"}, 2, "",
            "после --output нужно значение ОТЧЁТ.html");
        row("results, unknown option", "results", {"class", "--help-me"}, 2, "",
            "неизвестный параметр «--help-me»");
        row("results, report over a protocol", "results", {"class", "-o", "r7.usr"}, 2, "",
            "r7.usr", "r7.usr");
        row("results, help", "results", {"class", "--help"}, 0, help, "");
        row("results, version", "results", {"--version"}, 0,
            QStringLiteral("kviront-results (Квиронт) " KV_VERSION "\n"), "");
        row("results, report and table alike", "results",
            {"class", "-o", "x-class.csv", "--csv", "x"}, 2, "",
            "-o x-class.csv и --csv x называют один файл: x-class.csv", "x-class.csv");
        row("results, alike through a link", "results",
            {"class", "-o", "same/y-questions.csv", "--csv", "y"}, 2, "",
            "-o same/y-questions.csv и --csv y называют один файл", "y-class.csv");
        row("results, protocols and --server", "results",
            {"class", "--server", "dbname=none", "-o", "r8.html"}, 2, "",
            "протоколы и --server вместе не читаются", "r8.html");

        // kviront: Russian answers without a display, and no window for them.
        row("program, help", "program", {"--help"}, 0, help + "  kviront            открыть", "");
        row("program, version", "program", {"--version"}, 0,
            QStringLiteral("kviront (Квиронт) " KV_VERSION "\n"), "");
        row("program, version opens no window", "program on screen", {"--version"}, 0,
            QStringLiteral("kviront (Квиронт) " KV_VERSION "\n"), "");
        row("program, unknown option", "program on screen", {"--verbose"}, 2, "",
            "kviront: неизвестный параметр «--verbose»: программа принимает только --help и "
            "--version\n");
        row("program, an argument", "program", {"bank.mdb"}, 2, "", "лишний аргумент «bank.mdb»");
        row("program, no display", "program", {}, 1, "", "kviront: нет экрана");
    }

    void commandLine() {
        QFETCH(QString, tool);
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QFETCH(QString, written);
        const Run r = run(tool, args);
        QCOMPARE(r.exitCode, exitCode);
        for (const auto& [text, expected] : {std::pair(r.out, out), std::pair(r.err, err)}) {
            if (expected.isEmpty())
                QVERIFY2(text.isEmpty(), qPrintable(text));
            else if (expected != QLatin1String("*"))
                QVERIFY2(text.contains(expected), qPrintable(text));
            // Every message ends with a line break.
            QVERIFY2(text.isEmpty() || text.endsWith(QLatin1Char('\n')), qPrintable(text));
        }
        if (exitCode == 2) // a usage error says where to look
            QVERIFY2(r.err.endsWith(QStringLiteral("Справка: kviront%1 --help\n")
                                        .arg(tool.startsWith("program") ? "" : "-" + tool)),
                     qPrintable(r.err));
        if (!written.isEmpty())
            QCOMPARE(QFile::exists(m_dir.filePath(written)), exitCode == 0);
    }

    // Every command and option of the tools' tables is described in both manual pages.
    void manualPagesSayEveryOption() {
        cli::Tool bank = banktool::commandLine();
        bank.commands += servercommands::commands();
        for (const cli::Tool& tool : {bank, results::commandLine({})}) {
            for (const QString& language : {QString(), QStringLiteral("ru/")}) {
                const QString page = manPage(language, tool.name);
                QVERIFY2(!page.isEmpty(), qPrintable(language + tool.name));
                QStringList words{QStringLiteral("--help"), QStringLiteral("--version")};
                for (const cli::Command& c : tool.commands) {
                    if (!c.name.isEmpty())
                        words << tool.name + QLatin1Char(' ') + c.name;
                    for (const cli::Option& o : c.options) {
                        words << QStringLiteral("--") + o.name;
                        if (!o.shortName.isNull())
                            words << QStringLiteral("-") + o.shortName;
                        for (const QString& value : o.values)
                            words << value;
                    }
                }
                for (const QString& word : words)
                    QVERIFY2(page.contains(troff(word)),
                             qPrintable(language + tool.name + QStringLiteral(": ") + word));
                for (const char* code : {"\n.B 0\n", "\n.B 1\n", "\n.B 2\n"})
                    QVERIFY2(page.contains(QLatin1String(code)), code);
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestToolArguments)
#include "test_tool_arguments.moc"
