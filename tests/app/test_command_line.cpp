// The program's command line, run as a user runs it: --help and --version answer in Russian on
// stdout without a display (and open no window where there is one), anything else is refused.
#include <QProcess>
#include <QTest>

class TestCommandLine : public QObject {
    Q_OBJECT
private slots:
    void answersWithoutWindows_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("display"); // QT_QPA_PLATFORM; empty: no display at all
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("out"); // how stdout starts
        QTest::addColumn<QString>("err"); // how stderr starts
        QTest::newRow("help, no display") << QStringList{"--help"} << QString() << 0
                                          << "Использование:\n  kviront            открыть "
                                             "программу\n  kviront --help     эта справка\n"
                                          << QString();
        QTest::newRow("version, no display")
            << QStringList{"--version"} << QString() << 0 << "kviront (Квиронт) " KV_VERSION "\n"
            << QString();
        QTest::newRow("version opens no window")
            << QStringList{"--version"} << "offscreen" << 0 << "kviront (Квиронт) " KV_VERSION "\n"
            << QString();
        QTest::newRow("unknown option")
            << QStringList{"--verbose"} << "offscreen" << 2 << QString()
            << "kviront: неизвестный параметр «--verbose»: программа принимает только --help и "
               "--version\nСправка: kviront --help\n";
        QTest::newRow("an argument") << QStringList{"банк.mdb"} << "offscreen" << 2 << QString()
                                     << "kviront: лишний аргумент «банк.mdb»: программа "
                                        "принимает только --help и --version\n";
        QTest::newRow("help and more") << QStringList{"--help", "-x"} << QString() << 2 << QString()
                                       << "kviront: неизвестный параметр «-x»";
        QTest::newRow("a start without a display")
            << QStringList() << QString() << 1 << QString()
            << "kviront: нет экрана (не заданы DISPLAY и WAYLAND_DISPLAY).\n";
    }
    void answersWithoutWindows() {
        QFETCH(QStringList, args);
        QFETCH(QString, display);
        QFETCH(int, code);
        QFETCH(QString, out);
        QFETCH(QString, err);
        // Russian whatever the locale: under C too, as a terminal without a locale has it.
        for (const char* locale : {"C", "ru_RU.UTF-8"}) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "LANGUAGE"})
                env.remove(QLatin1String(name));
            if (!display.isEmpty())
                env.insert(QStringLiteral("QT_QPA_PLATFORM"), display);
            env.insert(QStringLiteral("LC_ALL"), QLatin1String(locale));
            QProcess p;
            p.setProcessEnvironment(env);
            p.start(QStringLiteral(KV_PROGRAM), args);
            // An answer takes a moment; a window left open never ends by itself.
            if (!p.waitForFinished(20000)) {
                p.kill();
                p.waitForFinished();
                QFAIL(qPrintable(QStringLiteral("still running under %1: a window opened?")
                                     .arg(QLatin1String(locale))));
            }
            QCOMPARE(p.exitStatus(), QProcess::NormalExit);
            QCOMPARE(p.exitCode(), code);
            const QString stdoutText = QString::fromUtf8(p.readAllStandardOutput());
            const QString stderrText = QString::fromUtf8(p.readAllStandardError());
            QVERIFY2(stdoutText.startsWith(out) && (!out.isEmpty() || stdoutText.isEmpty()),
                     qPrintable(locale + (": " + stdoutText)));
            QVERIFY2(stderrText.startsWith(err) && (!err.isEmpty() || stderrText.isEmpty()),
                     qPrintable(locale + (": " + stderrText)));
        }
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "test_command_line.moc"
