// Shows questions whose texts are a million characters without a blank, and prints how long
// the first question and the next, short one take to appear (opening the bank included), in
// the test window and then in the question editor.
// Run: QT_QPA_PLATFORM=offscreen ./bench_long_texts
#include "dbnavigator.h"
#include "modal_watcher.h"
#include "run_fixture.h"
#include "startup.h"
#include "ui_seams.h"
#include "uoz_kontrol_redaktor.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QToolButton>
#include <cstdio>
#include <ctime>

using namespace fx;

namespace {
// What a person sees: the window drawn with every pending text laid out.
void drawWindow(QWidget* window = uozKontrol) {
    QCoreApplication::processEvents();
    window->grab();
}

// Processor time of the process: on a busy machine the wall clock says more about the others.
qint64 cpuMs() {
    return qint64(std::clock()) * 1000 / CLOCKS_PER_SEC;
}
} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    startProgram();
    qint64 firstMs = 0, nextMs = 0, againMs = 0, firstCpuMs = 0, editorFirstMs = 0,
           editorNextMs = 0;
    {
        WorkFolder folder;
        resetAll(QDateTime(QDate(2026, 12, 7), QTime(9, 5, 3)));
        const int length = 1000000;
        QList<Question> qs{question(1, 1), question(2, 2), question(3, 3)};
        for (int record : {0, 2}) {
            qs[record].vopros = QString(length, QLatin1Char('W'));
            for (int k = 0; k < 4; ++k)
                qs[record].otvet[k] = QString(length, QChar(u'Ж'));
        }
        const QString bank = makeBank(folder.filePath(QStringLiteral("long.mdb")), qs);
        signIn(QStringLiteral("Иванов"));
        drawWindow();

        QElapsedTimer timer;
        timer.start();
        const qint64 cpuStart = cpuMs();
        dialogs::queueFileAnswer(bank);
        uozKontrol->N8->trigger();
        drawWindow();
        firstMs = timer.elapsed();
        firstCpuMs = cpuMs() - cpuStart;

        ModalWatcher watcher;
        for (qint64* figure : {&nextMs, &againMs}) {
            timer.restart();
            QTest::mouseClick(option(1)->viewport(), Qt::LeftButton);
            drawWindow();
            *figure = timer.elapsed();
        }
        if (uozKontrol->DBMemo1->document()->characterCount() != length + 1)
            std::fprintf(stderr, "the third question was not shown\n");
        closeTestWindow();

        // The question editor: the long first record, then the short second one.
        TuozKontrol_redaktor* editor = uozKontrol_redaktor;
        editor->show();
        drawWindow(editor);
        timer.restart();
        dialogs::queueFileAnswer(bank);
        editor->N6->trigger();
        drawWindow(editor);
        editorFirstMs = timer.elapsed();
        timer.restart();
        QTest::mouseClick(editor->DBNavigator1->button(DBNavigator::Next), Qt::LeftButton);
        drawWindow(editor);
        editorNextMs = timer.elapsed();
        if (editor->DBMemo1->document()->characterCount() == length + 1)
            std::fprintf(stderr, "the editor did not move to the second question\n");
        editor->close();
    }
    destroyForms();
    std::printf("first_question_ms=%lld first_question_cpu_ms=%lld next_short_question_ms=%lld "
                "long_again_ms=%lld editor_long_first_ms=%lld editor_next_ms=%lld\n",
                firstMs, firstCpuMs, nextMs, againMs, editorFirstMs, editorNextMs);
    return 0;
}
