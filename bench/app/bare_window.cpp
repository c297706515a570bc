// The start-up floor: a bare Qt program whose one window has the main window's title, menu
// and size, shown at once. bench_startup times it against the program itself.
#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Квиронт"));
    QMenuBar* menu = window.menuBar();
    menu->setNativeMenuBar(false);
    menu->addMenu(QStringLiteral("Файл"))->menuAction()->setVisible(false);
    QMenu* learn = menu->addMenu(QStringLiteral("Обучение"));
    learn->addAction(QStringLiteral("Просмотр учебного курса"));
    learn->addAction(QStringLiteral("Редактирование"));
    learn->menuAction()->setVisible(false);
    QMenu* control = menu->addMenu(QStringLiteral("Контроль"));
    for (const char* item : {"Тест", "Редактор", "Файлы отчета"})
        control->addAction(QString::fromUtf8(item));
    menu->addAction(QStringLiteral("О программе"));
    auto* client = new QWidget(&window);
    client->setFixedSize(632, 453);
    window.setCentralWidget(client);
    window.setFixedSize(632, 453 + menu->sizeHint().height());
    window.show();
    return QApplication::exec();
}
