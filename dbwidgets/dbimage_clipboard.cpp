// The picture box's clipboard keys: the only way a picture gets into a question.
#include "bitmap.h"
#include "dbcontrols.h"
#include "guard.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QImageReader>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>

namespace {
// A picture with transparency is stored as it looks on a white page: bitmaps of question
// records have no alpha channel.
QImage opaque(const QImage& image) {
    if (!image.hasAlphaChannel())
        return image;
    QImage flat(image.size(), QImage::Format_RGB32);
    flat.fill(Qt::white);
    QPainter painter(&flat);
    painter.drawImage(0, 0, image);
    return flat;
}

// A picture offered as file bytes ("image/png", "image/bmp" …). Qt's reader drops a picture
// above its own allocation limit without a word, so the size in the file's header is checked
// against ours first, and ours is the only limit the reading then has.
QImage readOffered(QByteArray bytes) {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (size.isValid())
        bitmap::checkLimits(size);
    constexpr qint64 widestPixel = 8; // 16 bits for each of four channels
    reader.setAllocationLimit(int(bitmap::maxPixels * widestPixel / (1024 * 1024)) + 1);
    return reader.read();
}

bool isPaste(const QKeyEvent* e) {
    return (e->key() == Qt::Key_V && e->modifiers() == Qt::ControlModifier) ||
           (e->key() == Qt::Key_Insert && e->modifiers() == Qt::ShiftModifier);
}
bool isCopy(const QKeyEvent* e) {
    return (e->key() == Qt::Key_C || e->key() == Qt::Key_Insert) &&
           e->modifiers() == Qt::ControlModifier;
}
bool isCut(const QKeyEvent* e) {
    return (e->key() == Qt::Key_X && e->modifiers() == Qt::ControlModifier) ||
           (e->key() == Qt::Key_Delete && e->modifiers() == Qt::ShiftModifier);
}
} // namespace

bool DBImage::pasteFromClipboard() {
    // Any image the clipboard offers counts (a screenshot arrives as PNG, for instance).
    const QMimeData* data = QApplication::clipboard()->mimeData();
    if (!data)
        return false;
    QImage image;
    for (const QString& format : data->formats()) {
        if (format.startsWith(QLatin1String("image/")))
            image = readOffered(data->data(format));
        if (!image.isNull())
            break;
    }
    if (image.isNull() && data->hasImage()) // a picture of this program's own
        image = qvariant_cast<QImage>(data->imageData());
    if (image.isNull())
        return false;
    bitmap::checkLimits(image.size()); // before a copy of it is made
    return setPicture(opaque(image));
}

bool DBImage::copyToClipboard() const {
    const QImage& shown = picture();
    if (shown.isNull())
        return false;
    QApplication::clipboard()->setImage(shown);
    return true;
}

bool DBImage::cutToClipboard() {
    const Dataset* dataset = activeDataset();
    if (picture().isNull() || m_readOnly || !dataset || !dataset->canModify())
        return false;
    copyToClipboard();
    return setPicture(QImage());
}

void DBImage::restoreFromRecord() {
    loadFromRecord(activeDataset());
}

void DBImage::keyPressEvent(QKeyEvent* event) {
    if (m_readOnly) { // the test window's box: its picture may be copied, nothing more
        if (isCopy(event))
            copyToClipboard();
        else
            QWidget::keyPressEvent(event);
        return;
    }
    if (isPaste(event)) {
        bool done = false;
        guard([&] { done = pasteFromClipboard(); });
        if (!done && activeDataset() && !activeDataset()->canModify())
            QApplication::beep(); // a bank that cannot be changed takes no picture
    } else if (isCopy(event)) {
        copyToClipboard();
    } else if (isCut(event)) {
        guard([this] { cutToClipboard(); });
    } else if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        guard([this] { restoreFromRecord(); });
    } else {
        QWidget::keyPressEvent(event);
    }
}
