// The editor's picture box and the clipboard: paste, copy, cut, Esc, and what reaches Graph.
#include "editor_fixture.h"

#include <QBuffer>
#include <QClipboard>
#include <QMimeData>
#include <QTemporaryDir>

using namespace ed;

namespace {
QImage gradient(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb(x * 7 % 256, y * 5 % 256, (x + y) % 256));
    return image;
}

// As a screenshot arrives on Linux: PNG bytes and nothing else.
void offerAsPng(const QImage& image) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    auto* data = new QMimeData;
    data->setData(QStringLiteral("image/png"), png);
    QApplication::clipboard()->setMimeData(data);
}

bool samePixels(const QImage& a, const QImage& b) {
    return a.size() == b.size() &&
           a.convertToFormat(QImage::Format_RGB32) == b.convertToFormat(QImage::Format_RGB32);
}
} // namespace

class TestEditorPicture : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
    const QImage m_first = fixture::picture(20, 10, qRgb(0, 0, 200));

    DBImage* box() const { return w()->DBImage1; }

private slots:
    void initTestCase() { startProgram(); }
    void cleanupTestCase() { destroyForms(); }
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_path =
            fixture::makeBank(*m_dir, QStringLiteral("p.mdb"),
                              {fixture::question(1, encodeBitmap(m_first)), fixture::question(2)});
        showEditor();
        openBank(m_path);
        box()->setFocus();
    }
    void cleanup() {
        closeEditor();
        QApplication::clipboard()->clear();
        m_dir.reset();
    }

    void pastingTextLeavesThePicture() {
        QApplication::clipboard()->setText(QStringLiteral("не картинка"));
        key(box(), Qt::Key_V, Qt::ControlModifier);
        key(box(), Qt::Key_Insert, Qt::ShiftModifier);
        QCOMPARE(table()->state(), Dataset::State::Browse);
        QVERIFY(samePixels(box()->picture(), m_first));
    }

    void pastedPictureIsStoredAsBitmap_data() {
        QTest::addColumn<bool>("asPng");
        QTest::addColumn<bool>("shiftInsert");
        QTest::newRow("image, Ctrl+V") << false << false;
        QTest::newRow("PNG only, Shift+Ins") << true << true;
    }
    void pastedPictureIsStoredAsBitmap() {
        QFETCH(bool, asPng);
        QFETCH(bool, shiftInsert);
        const QImage image = gradient(37, 23); // odd width: rows are padded in the file
        if (asPng) {
            offerAsPng(image);
        } else {
            QApplication::clipboard()->setImage(image);
        }
        click(DBNavigator::Next);
        box()->setFocus();
        if (shiftInsert)
            key(box(), Qt::Key_Insert, Qt::ShiftModifier);
        else
            key(box(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(table()->state(), Dataset::State::Edit);
        QVERIFY(samePixels(box()->picture(), image));
        click(DBNavigator::Post);
        const QByteArray stored = storedBytes(m_path, 1, QStringLiteral("Graph"));
        QVERIFY(stored.startsWith("BM")); // a .bmp file image, no prefix
        QVERIFY(!bitmap::hasGraphPrefix(stored));
        QVERIFY(samePixels(decodeGraph(stored), image));
    }

    void pictureBeyondTheLimitsIsRefused_data() {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("asPng");
        QTest::newRow("image") << QSize(bitmap::maxSide + 1, 1) << false;
        // Beyond Qt's own reading limit too, which would drop it without a word.
        QTest::newRow("PNG bytes") << QSize(9000, 9000) << true;
    }
    void pictureBeyondTheLimitsIsRefused() {
        QFETCH(QSize, size);
        QFETCH(bool, asPng);
        QImage large(size, asPng ? QImage::Format_Mono : QImage::Format_RGB32);
        large.fill(0);
        if (asPng) {
            offerAsPng(large);
        } else {
            QApplication::clipboard()->setImage(large);
        }
        large = QImage();
        ModalWatcher watcher;
        key(box(), Qt::Key_V, Qt::ControlModifier);
        QTRY_COMPARE(watcher.errors.size(), 1);
        QVERIFY2(watcher.errors[0].startsWith(QStringLiteral("Рисунок слишком велик")),
                 qPrintable(watcher.errors[0]));
        QCOMPARE(table()->state(), Dataset::State::Browse);
        QVERIFY(samePixels(box()->picture(), m_first));
    }

    void cutAndPostLeavesGraphEmpty() {
        key(box(), Qt::Key_Delete, Qt::ShiftModifier);
        QVERIFY(box()->picture().isNull());
        QVERIFY(samePixels(QApplication::clipboard()->image(), m_first));
        click(DBNavigator::Post);
        QCOMPARE(stored(m_path, QStringLiteral("Graph")).value(0), QStringLiteral("<null>"));
        QVERIFY(box()->picture().isNull());
    }

    void copyPutsThePictureOnTheClipboard() {
        QApplication::clipboard()->clear();
        key(box(), Qt::Key_Insert, Qt::ControlModifier);
        QVERIFY(samePixels(QApplication::clipboard()->image(), m_first));
        QCOMPARE(table()->state(), Dataset::State::Browse);
        click(DBNavigator::Next); // no picture: copy leaves the clipboard alone
        box()->setFocus();
        key(box(), Qt::Key_C, Qt::ControlModifier);
        QVERIFY(samePixels(QApplication::clipboard()->image(), m_first));
        key(box(), Qt::Key_X, Qt::ControlModifier); // nothing to cut: no editing
        QCOMPARE(table()->state(), Dataset::State::Browse);
    }

    void escRestoresTheRecordsPicture() {
        QApplication::clipboard()->setImage(gradient(8, 8));
        key(box(), Qt::Key_V, Qt::ControlModifier);
        QVERIFY(!samePixels(box()->picture(), m_first));
        key(box(), Qt::Key_Escape);
        QVERIFY(samePixels(box()->picture(), m_first));
        key(box(), Qt::Key_X, Qt::ControlModifier);
        QVERIFY(box()->picture().isNull());
        key(box(), Qt::Key_Escape);
        QVERIFY(samePixels(box()->picture(), m_first));
        click(DBNavigator::Post);
        QCOMPARE(storedBytes(m_path, 0, QStringLiteral("Graph")), encodeBitmap(m_first));
    }

    void pictureReachesTheRecordWhenTheFocusLeaves() {
        const QImage image = gradient(5, 4);
        QApplication::clipboard()->setImage(image);
        key(box(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(QApplication::focusWidget(), box());
        w()->DBMemo2->setFocus();
        QCOMPARE(QApplication::focusWidget(), w()->DBMemo2);
        QVERIFY(samePixels(decodeGraph(table()->fieldBytes(QStringLiteral("Graph"))), image));
        key(w()->DBMemo2, Qt::Key_Escape); // Esc elsewhere keeps what the record holds
        QVERIFY(samePixels(box()->picture(), image));
    }

    void readOnlyBankTakesNoPicture() {
        w()->N8->trigger();
        QFile::setPermissions(m_path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        openBank(m_path);
        box()->setFocus();
        QApplication::clipboard()->setImage(gradient(8, 8));
        key(box(), Qt::Key_V, Qt::ControlModifier);
        key(box(), Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(table()->state(), Dataset::State::Browse);
        QVERIFY(samePixels(box()->picture(), m_first));
    }
};

QTEST_MAIN(TestEditorPicture)
#include "test_editor_picture.moc"
