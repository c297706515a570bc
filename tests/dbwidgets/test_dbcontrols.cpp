#include "adoconnection.h"
#include "adotable.h"
#include "bankfile.h"
#include "bitmap.h"
#include "dbcontrols.h"
#include "error.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {
QImage gradient(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb(x * 4 % 256, y * 4 % 256, 100));
    return image;
}

bankfile::Question question(const QString& text, const QByteArray& graph = QByteArray()) {
    bankfile::Question q;
    q.name = 1;
    q.vopros = text;
    q.prOtvet = 2;
    q.graph = graph;
    return q;
}
} // namespace

// The data-aware controls on a real bank: what they show, and how typing reaches the record.
class TestDBControls : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    int m_serial = 0;
    ADOConnection m_connection;
    ADOTable m_table{&m_connection};
    DataSource m_source;
    QWidget m_host;

    void openBank(const QVector<bankfile::Question>& questions, bool readOnly = false) {
        m_connection.close();
        const QString path = m_dir.filePath(QStringLiteral("c%1.mdb").arg(++m_serial));
        bankfile::Writer writer(path);
        for (const auto& q : questions)
            writer.add(q);
        writer.commit();
        if (readOnly)
            QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadUser);
        m_connection.setConnectionString(path);
        m_connection.open();
        m_table.open();
    }

private slots:
    void initTestCase() {
        m_source.setDataset(&m_table);
        m_host.resize(400, 300);
        m_host.show();
    }
    void cleanup() {
        m_connection.close();
        qDeleteAll(m_host.findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
    }

    void pictureIsCentredAndClippedNeverScaled() {
        auto* image = new DBImage(QStringLiteral("DBImage1"), QStringLiteral("Graph"), &m_host);
        image->setGeometry(0, 0, 40, 30);
        image->setDataSource(&m_source);
        const QImage small = gradient(20, 10), large = gradient(60, 50);
        openBank({question("a", encodeBitmap(small)), question("b", encodeBitmap(large))});
        QImage shown = image->grab().toImage();
        QCOMPARE(shown.pixel(10, 10), small.pixel(0, 0)); // centred: (40-20)/2, (30-10)/2
        QCOMPARE(shown.pixel(29, 19), small.pixel(19, 9));
        QVERIFY(shown.pixel(5, 5) != small.pixel(0, 0));
        m_table.next();
        shown = image->grab().toImage();
        QCOMPARE(shown.pixel(1, 1), large.pixel(11, 11)); // clipped: offset (60-40)/2, (50-30)/2
        QCOMPARE(shown.pixel(20, 15), large.pixel(30, 25));
        QCOMPARE(image->picture().size(), QSize(60, 50));
        m_table.close();
        QVERIFY(image->picture().isNull());
    }

    void memosShowTheRecordAtOnceAndClick() {
        auto* memo = new DBMemo(QStringLiteral("DBMemo1"), QStringLiteral("Vopros"), &m_host);
        memo->setGeometry(0, 0, 200, 80);
        memo->setDataSource(&m_source);
        auto* edit = new DBEdit(QStringLiteral("PrOtvet"), QStringLiteral("PrOtvet"), &m_host);
        edit->setDataSource(&m_source);
        openBank({question("первая\r\nвторая"), question("ещё"), question("третья\r\nстрока")});
        QCOMPARE(memo->shownText(), QStringLiteral("первая\nвторая"));
        QCOMPARE(edit->shownText(), QStringLiteral("2"));
        m_table.next();
        QCOMPARE(memo->shownText(), QStringLiteral("ещё")); // before the display caught up
        QCoreApplication::processEvents();
        QCOMPARE(static_cast<QPlainTextEdit*>(memo)->toPlainText(), QStringLiteral("ещё"));
        QCOMPARE(static_cast<QLineEdit*>(edit)->text(), QStringLiteral("2"));

        QSignalSpy clicks(memo, &DBMemo::clicked);
        QTest::mouseClick(memo->viewport(), Qt::LeftButton);
        QCOMPARE(clicks.count(), 1);
        memo->setEnabled(false);
        QTest::mouseClick(memo->viewport(), Qt::LeftButton);
        QCOMPARE(clicks.count(), 1);

        // Moves within one handler: the memo shows the last record, its line breaks as LF.
        m_table.next();
        m_table.prior();
        m_table.next();
        QCOMPARE(memo->shownText(), QStringLiteral("третья\nстрока"));
        QCoreApplication::processEvents();
        QCOMPARE(static_cast<QPlainTextEdit*>(memo)->toPlainText(),
                 QStringLiteral("третья\nстрока"));
    }

    void typingEditsTheRecordAndEscapeRestores() {
        auto* memo = new DBMemo(QStringLiteral("DBMemo1"), QStringLiteral("Vopros"), &m_host);
        auto* other = new DBMemo(QStringLiteral("DBMemo9"), QStringLiteral("Vopros"), &m_host);
        auto* number = new DBEdit(QStringLiteral("DBEdit1"), QStringLiteral("PrOtvet"), &m_host);
        for (DataControl* c : std::initializer_list<DataControl*>{memo, other, number})
            c->setDataSource(&m_source);
        openBank({question("было"), question("второй")});
        QCoreApplication::processEvents();
        memo->setFocus();
        memo->moveCursor(QTextCursor::End);
        QTest::keyClicks(memo, QStringLiteral(" new"));
        QCOMPARE(m_table.state(), Dataset::State::Edit);
        QTest::keyClick(number, Qt::Key_End);
        QTest::keyClicks(number, QStringLiteral("x")); // a letter in a number field
        QCOMPARE(number->shownText(), QStringLiteral("2"));
        QTest::keyClicks(number, QStringLiteral("5"));
        m_table.next(); // hands the changes over and writes them
        m_table.prior();
        QCOMPARE(m_table.fieldText(QStringLiteral("Vopros")), QStringLiteral("было new"));
        QCOMPARE(m_table.fieldText(QStringLiteral("PrOtvet")), QStringLiteral("25"));
        QCOMPARE(other->shownText(), QStringLiteral("было new"));

        QTest::keyClicks(memo, QStringLiteral("!"));
        QTest::keyClick(memo, Qt::Key_Escape);
        QCOMPARE(memo->shownText(), QStringLiteral("было new"));
        m_table.cancel();
        QCOMPARE(m_table.state(), Dataset::State::Browse);
        memo->setReadOnly(true); // as in the test window: typing changes nothing
        QTest::keyClicks(memo, QStringLiteral("z"));
        QCOMPARE(m_table.state(), Dataset::State::Browse);
    }

    // Whatever changes the text starts editing, not only typed keys: the context menu's cut,
    // paste and undo; where the record cannot be edited the text goes back.
    void untypedEditsReachTheRecord() {
        auto* memo = new DBMemo(QStringLiteral("DBMemo1"), QStringLiteral("Vopros"), &m_host);
        auto* number = new DBEdit(QStringLiteral("DBEdit1"), QStringLiteral("PrOtvet"), &m_host);
        memo->setDataSource(&m_source);
        number->setDataSource(&m_source);
        auto written = [&](const QString& field) {
            m_table.next(); // writes a changed record, as the navigator does
            m_table.prior();
            return m_table.fieldText(field);
        };
        openBank({question("первый"), question("второй")});
        QCoreApplication::processEvents(); // the record's texts are shown: no editing starts
        QCOMPARE(m_table.state(), Dataset::State::Browse);

        memo->selectAll();
        memo->cut();
        QCOMPARE(m_table.state(), Dataset::State::Edit);
        m_table.post();
        QCOMPARE(m_table.fieldText(QStringLiteral("Vopros")), QString());
        memo->undo(); // brings the cut text back after the post: a change of its own
        QCOMPARE(m_table.state(), Dataset::State::Edit);
        QCOMPARE(written(QStringLiteral("Vopros")), QStringLiteral("первый"));

        QGuiApplication::clipboard()->setText(QStringLiteral("4"));
        QCoreApplication::processEvents();
        number->selectAll();
        number->paste();
        QCOMPARE(written(QStringLiteral("PrOtvet")), QStringLiteral("4"));
        QCoreApplication::processEvents();

        openBank({question("только чтение")}, true);
        QCoreApplication::processEvents();
        QGuiApplication::clipboard()->setText(QStringLiteral("вставка"));
        memo->paste();
        memo->selectAll();
        memo->cut();
        QCOMPARE(memo->shownText(), QStringLiteral("только чтение")); // put back
        number->selectAll();
        number->paste();
        QCOMPARE(number->shownText(), QStringLiteral("2"));
        QCOMPARE(m_table.state(), Dataset::State::Browse);
        QVERIFY(!memo->hasPendingChange());
    }

    void pictureEditsReachTheField() {
        auto* image = new DBImage(QStringLiteral("DBImage1"), QStringLiteral("Graph"), &m_host);
        image->setDataSource(&m_source);
        openBank({question("a")});
        QVERIFY(image->picture().isNull());
        const QImage picture = gradient(5, 4);
        QVERIFY(image->setPicture(picture));
        QCOMPARE(m_table.state(), Dataset::State::Edit);
        m_table.post();
        QCOMPARE(m_table.fieldBytes(QStringLiteral("Graph")), encodeBitmap(picture));
        QCOMPARE(image->picture().pixel(4, 3), picture.pixel(4, 3));
        QVERIFY(image->setPicture(QImage())); // emptied: the field is cleared
        m_table.post();
        QVERIFY(m_table.fieldBytes(QStringLiteral("Graph")).isEmpty());
        QVERIFY(image->setPicture(picture));
        m_table.post();
        try { // a phone photo: refused before the record starts editing, the picture kept
            image->setPicture(QImage(8000, 6000, QImage::Format_Mono));
            QFAIL("a picture beyond the limits was taken");
        } catch (const Error& e) {
            QVERIFY(e.message().startsWith(QStringLiteral("Рисунок слишком велик: 8000 × 6000")));
        }
        QCOMPARE(m_table.state(), Dataset::State::Browse);
        QVERIFY(!image->isModified());
        QCOMPARE(image->picture().size(), picture.size());
        image->setReadOnly(true);
        QVERIFY(!image->setPicture(picture));
        m_table.close();
        image->setReadOnly(false);
        QVERIFY(!image->setPicture(picture)); // no bank open
    }
};

QTEST_MAIN(TestDBControls)
#include "test_dbcontrols.moc"
