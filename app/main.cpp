#include "commandline.h"
#include "error.h"
#include "formats.h"
#include "guard.h"
#include "kviront.h"
#include "startup.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>

namespace {
// Without a display Qt would abort with a backtrace; say plainly what is missing instead.
bool displayAvailable() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform)
        return true;
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (wayland && *wayland);
}

// Runs a step once, after the first paint of a window has been done, or after a moment.
class AfterFirstPaint : public QObject {
public:
    AfterFirstPaint(QWidget* window, std::function<void()> step) : m_step(std::move(step)) {
        window->installEventFilter(this);
        QTimer::singleShot(500, this, [this] { run(); });
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, this, [this] { run(); }); // after the paint has been shown
        }
        return false;
    }

private:
    void run() {
        if (const std::function<void()> step = std::exchange(m_step, nullptr))
            step();
    }
    std::function<void()> m_step;
};

const char* const help =
    "Использование:\n"
    "  kviront            открыть программу\n"
    "  kviront --help     эта справка\n"
    "  kviront --version  версия программы\n"
    "\n"
    "Квиронт проверяет уровень подготовки учащегося: тест по банку вопросов, редактор\n"
    "вопросов и редактор отчётов. Программа работает в своей текущей папке: туда\n"
    "записываются протоколы, там открываются её окна выбора файла. Других параметров\n"
    "у неё нет. Банки делает kviront-bank, отчёт по классу составляет kviront-results;\n"
    "подробнее: man kviront.\n"
    "\n"
    "Коды завершения: 0 — главное окно закрыто, 1 — программа не запустилась,\n"
    "2 — неверная командная строка.\n";

// The program's own answer to its command line, before any window or display is needed; -1
// when there is none and the windows are to start. In Russian whatever the locale, as the
// windows are.
int answerCommandLine(int argc, char** argv) {
    if (argc < 2)
        return -1;
    const std::string first = argv[1];
    if (argc == 2 && first == "--help") {
        std::fputs(help, stdout);
        return 0;
    }
    if (argc == 2 && first == "--version") {
        std::fputs(cli::version(cli::Tool{QStringLiteral("kviront"), {}, {}}).toUtf8().constData(),
                   stdout);
        return 0;
    }
    const std::string wrong = first == "--help" || first == "--version" ? argv[2] : first;
    std::fprintf(stderr,
                 "kviront: %s «%s»: программа принимает только --help и --version\n"
                 "Справка: kviront --help\n",
                 wrong.rfind('-', 0) == 0 ? "неизвестный параметр" : "лишний аргумент",
                 wrong.c_str());
    return 2;
}
} // namespace

int main(int argc, char** argv) {
    if (const int answered = answerCommandLine(argc, argv); answered >= 0)
        return answered;
    if (!displayAvailable()) {
        std::fputs("kviront: нет экрана (не заданы DISPLAY и WAYLAND_DISPLAY).\n"
                   "Запустите программу в сеансе рабочего стола или дайте ей виртуальный "
                   "экран, например:\n"
                   "  xvfb-run -a kviront                           (затем снимок экрана)\n"
                   "  QT_QPA_PLATFORM=vnc:size=1024x768 kviront     (затем VNC-клиент на порт "
                   "5900)\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    prepareApplication();
    formats::resetFromHostLocale();
    // A failure to start is told in the box of its kind and ends the program with 1.
    auto startStep = [](void (*step)()) {
        try {
            step();
            return true;
        } catch (const DatabaseError& e) {
            showStartupFailure(QStringLiteral("EDatabaseError"), e.message());
        } catch (const Error& e) {
            showStartupFailure(QStringLiteral("Exception"), e.message());
        }
        return false;
    };
    if (!startStep(createMainForm))
        return 1;
    // The windows no one sees until a menu opens them are made once the main window has been
    // painted (or after a moment, should it never be), not before it appears.
    AfterFirstPaint later(Form1, [startStep] {
        if (!startStep(createOtherForms))
            QApplication::exit(1);
    });
    Form1->show();
    const int code = QApplication::exec();
    destroyForms();
    return code;
}
