// The windows as laid out in the design's faces: no text clipped by its control, and Qt's
// own dialogs in Russian.
#include "dialogs.h"
#include "form.h"
#include "startup.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {
// The widest word of a text that wraps, the whole text of one that does not.
int neededWidth(const QLabel* label) {
    const QFontMetrics metrics = label->fontMetrics();
    if (!label->wordWrap())
        return metrics.horizontalAdvance(label->text());
    int widest = 0;
    for (const QString& word : label->text().split(QLatin1Char(' '), Qt::SkipEmptyParts))
        widest = qMax(widest, metrics.horizontalAdvance(word));
    return widest;
}

QList<Form*> shownWindows() {
    QList<Form*> forms;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* form = qobject_cast<Form*>(w); form && form != Form::mainForm())
            forms << form;
    forms << Form::mainForm();
    return forms;
}
} // namespace

class TestLayout : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        prepareApplication();
        createForms();
    }
    void cleanupTestCase() { destroyForms(); }

    void noLabelClipsItsText() {
        if (!QFontDatabase::families().contains(QStringLiteral("Tahoma")) ||
            !QFontDatabase::families().contains(QStringLiteral("MS Sans Serif")))
            QSKIP("the design's faces are not installed (Debian package fonts-wine); the "
                  "windows use wider stand-ins");
        int checked = 0;
        for (Form* form : shownWindows()) {
            for (QLabel* label : form->findChildren<QLabel*>()) {
                if (label->isHidden() || label->text().isEmpty())
                    continue;
                const QString where = form->objectName() + QLatin1Char('.') + label->objectName();
                QVERIFY2(neededWidth(label) <= label->contentsRect().width(), qPrintable(where));
                QVERIFY2(label->parentWidget()->rect().contains(label->geometry()),
                         qPrintable(where));
                // Nor does it run into the controls beside it.
                for (QWidget* sibling :
                     label->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                    const bool control = qobject_cast<QCheckBox*>(sibling) ||
                                         qobject_cast<QLineEdit*>(sibling) ||
                                         qobject_cast<QAbstractButton*>(sibling);
                    if (control && !sibling->isHidden()) {
                        const QRect text(label->pos(), QSize(neededWidth(label), label->height()));
                        QVERIFY2(!text.intersects(sibling->geometry()),
                                 qPrintable(where + QLatin1String(" / ") + sibling->objectName()));
                    }
                }
                ++checked;
            }
        }
        QVERIFY(checked >= 15);
    }

    void fileDialogSpeaksRussian() {
        QStringList buttons;
        QTimer::singleShot(20, [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* dialog = qobject_cast<QFileDialog*>(w); dialog && dialog->isVisible()) {
                    for (QPushButton* button : dialog->findChildren<QPushButton*>())
                        if (button->isVisible())
                            buttons << button->text().remove(QLatin1Char('&'));
                    dialog->reject();
                }
            }
        });
        dialogs::FileDialog dialog(dialogs::FileDialog::Open);
        dialog.filter = QStringLiteral("Файлы отчётов теста|*.usr");
        QVERIFY(!dialog.execute(nullptr));
        QVERIFY2(buttons.contains(QStringLiteral("Открыть")), qPrintable(buttons.join(',')));
        QVERIFY2(buttons.contains(QStringLiteral("Отмена")), qPrintable(buttons.join(',')));
    }
};

QTEST_MAIN(TestLayout)
#include "test_layout.moc"
