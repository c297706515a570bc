// The open procedure on old-format (Jet) banks, with data-aware controls bound as the
// windows bind theirs: records and pictures shown, nothing changeable, the Part's failures.
#include "jetbank.h"
#include "jetfixture.h"
#include "open_fixture.h"
#include "ui_seams.h"

#include <QTest>

using namespace jetfixture;

class TestJetOpen : public QObject, private OpenFixture {
    Q_OBJECT

private slots:
    void initTestCase() { makeDataModule(); }
    void cleanupTestCase() { dropDataModule(); }
    void cleanup() { QCOMPARE(dialogs::pendingAnswers(), 0); }

    void opensReadOnlyAndShowsRecordsAndPictures() {
        const QString file = path(QStringLiteral("bank5_jet4.mdb"));
        const QByteArray before = bytes(file);
        QCOMPARE(openPath(file), QString());
        QVERIFY(table()->legacyFormat());
        QVERIFY(table()->isReadOnly());
        QCOMPARE(m_question->shownText(), QStringLiteral("Какой город является столицей России?"));
        QCOMPARE(m_name->shownText(), QStringLiteral("1"));
        QVERIFY(m_image->picture().isNull());
        table()->next();
        QCOMPARE(m_question->shownText(), QStringLiteral("Сколько будет 12 × 12?\nВыберите "
                                                         "один правильный ответ."));
        QCOMPARE(table()->fieldText(QStringLiteral("Vopros")).count(QStringLiteral("\r\n")), 1);
        table()->next(); // a bare 24-bit bitmap: four coloured quarters
        QCOMPARE(m_image->picture().size(), QSize(40, 30));
        QCOMPARE(m_image->picture().pixel(0, 0), qRgb(255, 0, 0));
        QCOMPARE(m_image->picture().pixel(39, 29), qRgb(255, 255, 0));
        table()->next(); // an 8-bit bitmap behind the prefix: bands from the top
        QCOMPARE(m_image->picture().size(), QSize(30, 20));
        QCOMPARE(m_image->picture().pixel(0, 0), qRgb(255, 0, 255));
        QCOMPARE(m_image->picture().pixel(0, 19), qRgb(255, 255, 255));
        table()->last();
        QCOMPARE(m_right->shownText(), QStringLiteral("01"));

        // Nothing can be changed: typing into a bound edit starts no editing.
        m_right->setFocus();
        QTest::keyClicks(m_right, QStringLiteral("4"));
        QCOMPARE(table()->state(), Dataset::State::Browse);
        QVERIFY_THROWS_EXCEPTION(DatabaseError, table()->remove());
        QCOMPARE(table()->recordCount(), 5);
        table()->close();
        DataModule1->ADOConnectionControl->close();
        QCOMPARE(bytes(file), before);
        QVERIFY(jetbank::legacyNotice(file).contains(QStringLiteral("kviront-bank convert")));
    }

    void bankWithoutTableKontrolStaysConnected() {
        const QString file = path(QStringLiteral("nokontrol_jet4.mdb"));
        QCOMPARE(openPath(file),
                 QStringLiteral("В банке вопросов «%1» нет таблицы kontrol").arg(file));
        QVERIFY(DataModule1->ADOConnectionControl->connected());
        QVERIFY(!table()->active());
    }

    void missingFieldNamesTheControl() {
        QCOMPARE(openPath(path(QStringLiteral("missingfield_jet4.mdb"))),
                 QStringLiteral("PrOtvet: Field 'PrOtvet' not found"));
        QVERIFY(DataModule1->ADOConnectionControl->connected());
        QVERIFY(!table()->active());
    }

    void emptyBankIsAtItsEndAtOnce() {
        QCOMPARE(openPath(path(QStringLiteral("empty_jet4.mdb"))), QString());
        QVERIFY(table()->eof());
        QCOMPARE(table()->recNo(), 0);
        QCOMPARE(m_question->shownText(), QString());
    }
};

QTEST_MAIN(TestJetOpen)
#include "test_jet_open.moc"
