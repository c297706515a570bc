// Times the question editor's operations on a 10,000-question bank with a picture in every
// tenth question, each through the navigator's button as a user presses it and until the
// controls show the result (the event loop has run). Prints the median of many operations.
// Last line: first_ms= last_ms= next_ms= post_ms= insert_post_ms= delete_ms= refresh_ms=
// peak_mb= (peak: the highest resident memory once the bank file was made).
#include "bench_bank_data.h"
#include "bench_measure.h"
#include "dataModule.h"
#include "dbcontrols.h"
#include "dbnavigator.h"
#include "dialogs.h"
#include "ui_seams.h"
#include "uoz_kontrol_redaktor.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <unistd.h>

namespace {

using namespace bench;

constexpr int questions = 10000;

// What one forced write to the bank's disk costs there: a write of a record waits for a few
// of them (the bank stays sound through a power cut), so it bounds post, insert and delete.
double syncMs(const QString& folder) {
    QFile probe(folder + QStringLiteral("/sync-probe"));
    if (!probe.open(QIODevice::WriteOnly))
        return -1;
    std::vector<double> times;
    for (int i = 0; i < 15; ++i) {
        probe.write(QByteArray(4096, 'x'));
        probe.flush();
        QElapsedTimer timer;
        timer.start();
        ::fsync(probe.handle());
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    probe.remove();
    return median(times);
}

// One operation, timed until the event loop has shown its result.
double timed(const std::function<void()>& operation) {
    QElapsedTimer timer;
    timer.start();
    operation();
    QApplication::processEvents();
    return double(timer.nsecsElapsed()) / 1e6;
}

void typeInto(QWidget* widget, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &press);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The bank's folder: the system's temporary folder, or the one given (to compare disks).
    const QStringList args = QApplication::arguments();
    QTemporaryDir dir(args.size() > 1 ? args[1] + QStringLiteral("/bench_editor-XXXXXX")
                                      : QString());
    const QString path = dir.filePath(QStringLiteral("bench.mdb"));
    makeBank(path, questions);
    std::printf("bank: %d questions, %lld bytes, in %s (fsync there: %.2f ms)\n", questions,
                QFile(path).size(), qPrintable(dir.path()), syncMs(dir.path()));

    resetPeak(); // the peak from here on

    uozKontrol_redaktor = new TuozKontrol_redaktor;
    DataModule1 = new TDataModule1;
    TuozKontrol_redaktor* w = uozKontrol_redaktor;
    w->bindDataSource(DataModule1->DataSourceControl);
    w->show();
    dialogs::queueFileAnswer(path);
    w->N6->trigger();
    QApplication::processEvents();
    DBNavigator* nav = w->DBNavigator1;
    auto press = [nav](DBNavigator::Button b) { return [nav, b] { nav->press(b); }; };

    std::vector<double> first, last, next, post, insertPost, remove, refresh;
    for (int i = 0; i < 100; ++i) {
        last.push_back(timed(press(DBNavigator::Last)));
        first.push_back(timed(press(DBNavigator::First)));
    }
    for (int i = 0; i < 2000; ++i) // 200 of them land on a picture
        next.push_back(timed(press(DBNavigator::Next)));
    for (int i = 0; i < 200; ++i) {
        post.push_back(timed([&] {
            typeInto(w->DBMemo1, QStringLiteral("ы"));
            nav->press(DBNavigator::Post);
        }));
        nav->press(DBNavigator::Next);
    }
    for (int i = 0; i < 200; ++i)
        insertPost.push_back(timed([&] {
            nav->press(DBNavigator::Insert);
            typeInto(w->DBMemo1, QStringLiteral("Новый вопрос"));
            typeInto(w->DBEdit_Otvet_prav, QStringLiteral("2"));
            nav->press(DBNavigator::Post);
        }));
    nav->press(DBNavigator::First);
    for (int i = 0; i < 200; ++i) {
        dialogs::queueConfirm(true);
        remove.push_back(timed(press(DBNavigator::Delete)));
    }
    for (int i = 0; i < 50; ++i)
        refresh.push_back(timed(press(DBNavigator::Refresh)));
    std::printf("records now: %d, state %d\n", DataModule1->ADOTableControl->recordCount(),
                int(DataModule1->ADOTableControl->state()));

    w->N8->trigger();
    const double peak = peakMb();
    delete DataModule1;
    delete w;
    std::printf("first_ms=%.2f last_ms=%.2f next_ms=%.2f post_ms=%.2f insert_post_ms=%.2f "
                "delete_ms=%.2f refresh_ms=%.2f peak_mb=%.1f\n",
                median(first), median(last), median(next), median(post), median(insertPost),
                median(remove), median(refresh), peak);
    return 0;
}
