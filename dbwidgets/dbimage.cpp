// The data-aware picture box.
#include "bitmap.h"
#include "dbcontrols.h"
#include "error.h"
#include "guard.h"

#include <QPainter>
#include <utility>

using namespace dbcontrols;

// --- DBImage

DBImage::DBImage(const QString& name, const QString& field, QWidget* parent)
    : QWidget(parent), m_field(field) {
    setObjectName(name);
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(false);
}

void DBImage::loadFromRecord(const Dataset* dataset) {
    m_modified = false;
    if (!m_picture.isNull())
        m_picture = QImage();
    m_bytes.clear();
    m_unread = false;
    update();
    if (!dataset)
        return;
    // Checked now, so a refused picture fails the move; its pixels are made when it is shown.
    const qint64 size = dataset->fieldSize(m_field);
    if (size == 0)
        return; // no picture
    QByteArray head = dataset->fieldHead(m_field, bitmap::headBytes);
    if (head.size() >= size) {
        bitmap::checkGraph(head);
        m_bytes = head;
    } else if (bitmap::checkGraphHead(head, size)) {
        m_unread = true; // read from the record when wanted
    } else {
        QByteArray bytes = dataset->fieldBytes(m_field);
        bitmap::checkGraph(bytes);
        m_bytes = bytes;
    }
}

const QImage& DBImage::picture() const {
    if (m_unread) {
        m_unread = false;
        try {
            const Dataset* dataset = activeDataset();
            m_bytes = dataset ? dataset->fieldBytes(m_field) : QByteArray();
        } catch (const Error&) {
            m_bytes.clear(); // the bank went away under us: show nothing rather than fail a paint
        }
    }
    if (!m_bytes.isEmpty()) {
        const QByteArray bytes = std::exchange(m_bytes, QByteArray());
        try {
            m_picture = decodeGraph(bytes);
        } catch (const Error&) {
            m_picture = QImage(); // checked already; only memory can run out here
        }
    }
    return m_picture;
}

bool DBImage::setPicture(const QImage& picture) {
    if (m_readOnly)
        return false;
    if (!picture.isNull())
        bitmap::checkLimits(picture.size()); // refused before the record starts editing
    if (!beginEditing(this, activeDataset()))
        return false;
    m_picture = picture;
    m_bytes.clear();
    m_unread = false;
    m_modified = true;
    update();
    return true;
}

void DBImage::updateRecord(Dataset* dataset) {
    if (!m_modified || !dataset)
        return;
    const QImage& shown = picture();
    dataset->setFieldBytes(m_field, shown.isNull() ? QByteArray() : encodeBitmap(shown));
    m_modified = false;
}

void DBImage::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().base());
    const QImage& shown = picture();
    if (!shown.isNull()) {
        // Centred at its own size; the painter clips what does not fit.
        const QPoint at((width() - shown.width()) / 2, (height() - shown.height()) / 2);
        painter.drawImage(at, shown);
    }
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void DBImage::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    if (m_modified)
        guard([this] { updateRecord(activeDataset()); });
}
