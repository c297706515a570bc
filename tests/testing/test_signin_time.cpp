// The sign-in window and the answer-time window, driven through their own controls.
#include "modal_watcher.h"
#include "run_fixture.h"
#include "startup.h"

#include <QTemporaryDir>

using namespace fx;

class TestSigninTime : public QObject {
    Q_OBJECT
    std::unique_ptr<ProgramScope> m_dir;

private slots:
    void initTestCase() {
        m_dir = std::make_unique<ProgramScope>();
        resetAll(QDateTime(QDate(2027, 3, 1), QTime(9, 5, 7)));
    }
    void cleanupTestCase() { m_dir.reset(); }

    void emptyNameIsRefused() {
        uozKontrol->N4->trigger();
        QVERIFY(FormReg->isVisible());
        QVERIFY(!uozKontrol->isVisible());
        QCOMPARE(FormReg->Edit4->text(), QString());
        ModalWatcher watcher;
        QTest::mouseClick(FormReg->Button1, Qt::LeftButton);
        QCOMPARE(watcher.notices, QStringList{QStringLiteral("Зарегистрируйтесь!")});
        QVERIFY(FormReg->isVisible());
        QVERIFY(!uozKontrol->isVisible());
        QCOMPARE(FormReg->Edit5->text(), QString());
    }

    void nameIsHandedOnAsTyped() {
        QTest::keyClicks(FormReg->Edit1, QStringLiteral(" "));
        QTest::keyClick(FormReg->Edit1, Qt::Key_Return); // Enter does not sign in
        QVERIFY(FormReg->isVisible());
        QTest::mouseClick(FormReg->Button1, Qt::LeftButton);
        QCOMPARE(FormReg->Edit4->text(), QStringLiteral(" "));
        QCOMPARE(FormReg->Edit5->text(), QStringLiteral(" "));
        QCOMPARE(FormReg->Edit1->text(), QString());
        QVERIFY(!FormReg->isVisible());
        QVERIFY(uozKontrol->isVisible());
        QCOMPARE(menuState(), ready);

        uozKontrol->N4->trigger(); // showing the sign-in again clears the hand-over at once
        QCOMPARE(FormReg->Edit4->text(), QString());
        QCOMPARE(FormReg->Edit5->text(), QString());
        typeText(FormReg->Edit1, QStringLiteral("  Иванов  "));
        QTest::mouseClick(FormReg->Button1, Qt::LeftButton);
        QCOMPARE(FormReg->Edit5->text(), QStringLiteral("  Иванов  "));
    }

    void closingTheSignInBringsTheTestWindowBack() {
        uozKontrol->N4->trigger();
        QVERIFY(!uozKontrol->isVisible());
        FormReg->close(); // as a keyboard command would
        QVERIFY(!FormReg->isVisible());
        QVERIFY(uozKontrol->isVisible());
        QCOMPARE(menuState(), idle); // nobody signed in: no bank may be opened
        QVERIFY(!(FormReg->windowFlags() & Qt::WindowCloseButtonHint));
    }

    void closingTheTestWindowClosesTheSignIn() {
        uozKontrol->N4->trigger();
        QTest::keyClicks(FormReg->Edit1, QStringLiteral("half typed"));
        uozKontrol->closeForm();
        QVERIFY(!FormReg->isVisible());
        QVERIFY(!uozKontrol->isVisible()); // the sign-in's own close did not bring it back
        QCOMPARE(FormReg->Edit1->text(), QString());
        uozKontrol->show();
    }

    void signInClockUsesDashesAndLeadingZeros() {
        tick(FormReg->Timer1);
        QCOMPARE(FormReg->Edit2->text(), QStringLiteral("01-03-2027"));
        QCOMPARE(FormReg->Edit3->text(), QStringLiteral("9-05-07"));
        QCOMPARE(formats::settings().dateSeparator, QLatin1Char('-'));
        QCOMPARE(formats::settings().timeSeparator, QLatin1Char('-'));
    }

    void okAtOncePublishes35() {
        uozKontrol->Edit3->setText(QStringLiteral("7"));
        uozKontrol->N3->trigger();
        QVERIFY(uozKontrol_Time->isVisible());
        QCOMPARE(runState().timeSettingsOpenedFlag, 1.0);
        QVERIFY(uozKontrol_Time->CheckBox4->isChecked());
        QTest::mouseClick(uozKontrol_Time->BitBtn1, Qt::LeftButton);
        QCOMPARE(uozKontrol_Time->Edit4->text(), QStringLiteral("35"));
        QCOMPARE(uozKontrol->Edit3->text(), QStringLiteral("35"));
        QVERIFY(!uozKontrol_Time->isVisible());
    }

    void clickChoosesOneBox_data() {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("published");
        QTest::newRow("30") << "CheckBox1"
                            << "30";
        QTest::newRow("45") << "CheckBox2"
                            << "45";
        QTest::newRow("60") << "CheckBox3"
                            << "60";
        QTest::newRow("35") << "CheckBox4"
                            << "35";
    }
    void clickChoosesOneBox() {
        QFETCH(QString, box);
        QFETCH(QString, published);
        uozKontrol->N3->trigger();
        auto* clicked = uozKontrol_Time->findChild<QCheckBox*>(box);
        if (clicked->isChecked())
            QTest::mouseClick(clicked, Qt::LeftButton); // uncheck first
        QTest::mouseClick(clicked, Qt::LeftButton);
        int checked = 0;
        for (auto* b : uozKontrol_Time->findChildren<QCheckBox*>())
            checked += b->isChecked();
        QCOMPARE(checked, 1);
        QVERIFY(clicked->isChecked());
        QCOMPARE(chosenAnswerTime, published.toDouble());
        QTest::mouseClick(uozKontrol_Time->BitBtn1, Qt::LeftButton);
        QCOMPARE(uozKontrol_Time->Edit4->text(), published);
        QCOMPARE(uozKontrol->Edit3->text(), published);
        // Shown again: the same box, the same number.
        uozKontrol->N3->trigger();
        QVERIFY(clicked->isChecked());
        uozKontrol_Time->BitBtn1Click();
        QCOMPARE(uozKontrol_Time->Edit4->text(), published);
    }

    void noBoxChecked() {
        uozKontrol->N3->trigger();
        QTest::mouseClick(uozKontrol_Time->CheckBox1, Qt::LeftButton);
        QTest::mouseClick(uozKontrol_Time->CheckBox1, Qt::LeftButton);
        QVERIFY(!uozKontrol_Time->CheckBox1->isChecked());
        QCOMPARE(chosenAnswerTime, 30.0); // kept while no box is checked
        ModalWatcher watcher;
        QTest::mouseClick(uozKontrol_Time->BitBtn1, Qt::LeftButton);
        const QString notice = QStringLiteral("Выберите один из временных интервалов !");
        QCOMPARE(watcher.notices, QStringList{notice});
        QVERIFY(uozKontrol_Time->isVisible());
        QCOMPARE(uozKontrol_Time->Edit4->text(), QStringLiteral("35"));

        uozKontrol->Edit3->setText(QStringLiteral("8"));
        uozKontrol_Time->close(); // closed otherwise: the notice, and it closes all the same
        QCOMPARE(watcher.notices, (QStringList{notice, notice}));
        QVERIFY(!uozKontrol_Time->isVisible());
        QCOMPARE(uozKontrol_Time->Edit4->text(), QStringLiteral("35"));
        QCOMPARE(uozKontrol->Edit3->text(), QStringLiteral("8"));

        uozKontrol->N3->trigger();
        QTest::mouseClick(uozKontrol_Time->CheckBox2, Qt::LeftButton);
        uozKontrol_Time->close(); // with a time chosen, closing publishes it
        QCOMPARE(uozKontrol_Time->Edit4->text(), QStringLiteral("45"));
        QCOMPARE(uozKontrol->Edit3->text(), QStringLiteral("45"));
        QCOMPARE(watcher.notices.size(), 2);
    }

    void runTakesTheChosenTime() {
        // 30 seconds chosen: the run counts down from 30 and a time-out records 29 of 30.
        uozKontrol->N3->trigger();
        QTest::mouseClick(uozKontrol_Time->CheckBox1, Qt::LeftButton);
        QTest::mouseClick(uozKontrol_Time->BitBtn1, Qt::LeftButton);
        const QString bank =
            makeBank(m_dir->filePath(QStringLiteral("t.mdb")), {question(1, 1), question(2, 2)});
        signIn(QStringLiteral("Т"));
        QCOMPARE(uozKontrol->Edit3->text(), QStringLiteral("30"));
        uozKontrol->N3->trigger(); // still open while the run starts: not the running allowance
        openBank(bank);
        QCOMPARE(uozKontrol->Edit4->text(), QStringLiteral("30"));
        QTest::mouseClick(uozKontrol_Time->CheckBox3, Qt::LeftButton);
        QTest::mouseClick(uozKontrol_Time->BitBtn1, Qt::LeftButton);
        QCOMPARE(uozKontrol->Edit3->text(), QStringLiteral("60"));
        ModalWatcher watcher;
        tick(uozKontrol->Timer3, 30);
        QCOMPARE(watcher.notices, QStringList{QStringLiteral("Вы не успели ответить на вопрос!")});
        QVERIFY(uozKontrol->Memo1->toPlainText().contains(
            QStringLiteral("Вы отвечали на вопрос: 29 сек. из 30")));
        QCOMPARE(runState().countdown, 30.0);
        uozKontrol->N9->trigger();
    }
};

QTEST_MAIN(TestSigninTime)
#include "test_signin_time.moc"
