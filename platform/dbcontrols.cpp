#include "dbcontrols.h"

#include "formats.h"
#include "guard.h"

#include <QApplication>
#include <QCoreApplication>
#include <QKeyEvent>

namespace dbcontrols {

QString displayText(const QString& stored) {
    if (!stored.contains(QLatin1Char('\r')))
        return stored;
    QString text = stored;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

bool isEditingKey(const QKeyEvent* event) {
    if (event->matches(QKeySequence::Paste) || event->matches(QKeySequence::Cut) ||
        event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo))
        return true;
    switch (event->key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return true;
    default:
        break;
    }
    const QString text = event->text();
    return !text.isEmpty() && (text.at(0).isPrint() || text.at(0) == QLatin1Char('\t'));
}

bool beginEditing(DataControl* /*control*/, Dataset* dataset) {
    if (!dataset || !dataset->canModify())
        return false;
    dataset->ensureEditing();
    return true;
}

} // namespace dbcontrols

using namespace dbcontrols;

namespace {
// Runs the start of an edit inside guard(): key handlers are event handlers too.
bool startEditing(DataControl* control, Dataset* dataset) {
    bool ok = false;
    guard([&] { ok = beginEditing(control, dataset); });
    return ok;
}

bool acceptsInNumber(QChar c) {
    return c.isDigit() || c == QLatin1Char('+') || c == QLatin1Char('-') || c == QLatin1Char('e') ||
           c == QLatin1Char('E') || c == formats::settings().decimalSeparator;
}
} // namespace

// --- DBMemo

DBMemo::DBMemo(const QString& name, const QString& field, QWidget* parent)
    : QPlainTextEdit(parent), m_field(field) {
    setObjectName(name);
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_loading)
            m_modified = true;
    });
}

namespace {
const QEvent::Type showTextEvent = QEvent::Type(QEvent::registerEventType());
}

void DBMemo::loadFromRecord(const Dataset* dataset) {
    const QString text = dataset ? displayText(dataset->fieldText(m_field)) : QString();
    if (m_modified || m_pending || text != m_shown) {
        m_text = text;
        m_pending = true;
        if (!m_posted) {
            m_posted = true;
            QCoreApplication::postEvent(this, new QEvent(showTextEvent));
        }
    }
    m_modified = false;
}

void DBMemo::showPendingText() {
    if (!m_pending)
        return;
    m_pending = false;
    m_loading = true;
    setPlainText(m_text);
    m_loading = false;
    m_shown = m_text;
}

QString DBMemo::toPlainText() const {
    return m_pending ? m_text : QPlainTextEdit::toPlainText();
}

bool DBMemo::event(QEvent* event) {
    if (event->type() == showTextEvent) {
        m_posted = false;
        showPendingText();
        return true;
    }
    return QPlainTextEdit::event(event);
}

void DBMemo::showEvent(QShowEvent* event) {
    showPendingText();
    QPlainTextEdit::showEvent(event);
}

void DBMemo::fieldChanged(const Dataset* dataset) {
    if (!m_modified)
        loadFromRecord(dataset);
}

void DBMemo::updateRecord(Dataset* dataset) {
    if (!m_modified || !dataset)
        return;
    const QString text = toPlainText();
    dataset->setFieldText(m_field, text);
    m_shown = text; // what the document holds now is the field's value
    m_modified = false;
}

void DBMemo::mouseReleaseEvent(QMouseEvent* event) {
    showPendingText();
    QPlainTextEdit::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton)
        emit clicked();
}

void DBMemo::keyPressEvent(QKeyEvent* event) {
    showPendingText();
    if (!isReadOnly()) {
        if (event->key() == Qt::Key_Escape) {
            guard([this] { loadFromRecord(activeDataset()); });
            return;
        }
        if (isEditingKey(event) && !startEditing(this, activeDataset())) {
            QApplication::beep();
            return;
        }
    }
    QPlainTextEdit::keyPressEvent(event);
}

void DBMemo::focusOutEvent(QFocusEvent* event) {
    QPlainTextEdit::focusOutEvent(event);
    if (m_modified)
        guard([this] { updateRecord(activeDataset()); });
}

void DBMemo::insertFromMimeData(const QMimeData* source) {
    showPendingText();
    if (startEditing(this, activeDataset()))
        QPlainTextEdit::insertFromMimeData(source);
}

// --- DBEdit

DBEdit::DBEdit(const QString& name, const QString& field, QWidget* parent)
    : QLineEdit(parent), m_field(field) {
    setObjectName(name);
    connect(this, &QLineEdit::textEdited, this, [this] { m_modified = true; });
}

void DBEdit::loadFromRecord(const Dataset* dataset) {
    const QString value = dataset ? dataset->fieldText(m_field) : QString();
    if (m_modified || m_pending || value != QLineEdit::text()) {
        m_text = value;
        m_pending = true;
        if (!m_posted) {
            m_posted = true;
            QCoreApplication::postEvent(this, new QEvent(showTextEvent));
        }
    }
    m_modified = false;
}

void DBEdit::showPendingText() {
    if (!m_pending)
        return;
    m_pending = false;
    setText(m_text);
}

bool DBEdit::event(QEvent* event) {
    if (event->type() == showTextEvent) {
        m_posted = false;
        showPendingText();
        return true;
    }
    return QLineEdit::event(event);
}

void DBEdit::showEvent(QShowEvent* event) {
    showPendingText();
    QLineEdit::showEvent(event);
}

void DBEdit::fieldChanged(const Dataset* dataset) {
    if (!m_modified)
        loadFromRecord(dataset);
}

void DBEdit::updateRecord(Dataset* dataset) {
    if (!m_modified || !dataset)
        return;
    dataset->setFieldText(m_field, text());
    m_modified = false;
}

void DBEdit::keyPressEvent(QKeyEvent* event) {
    showPendingText();
    if (!isReadOnly()) {
        if (event->key() == Qt::Key_Escape) {
            guard([this] { loadFromRecord(activeDataset()); });
            return;
        }
        if (isEditingKey(event)) {
            Dataset* dataset = activeDataset();
            const QString typed = event->text();
            const bool refused = dataset && dataset->fieldIsNumeric(m_field) && !typed.isEmpty() &&
                                 typed.at(0).isPrint() && !acceptsInNumber(typed.at(0));
            if (refused || !startEditing(this, dataset)) {
                QApplication::beep();
                return;
            }
        }
    }
    QLineEdit::keyPressEvent(event);
}

void DBEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    if (m_modified)
        guard([this] { updateRecord(activeDataset()); });
}
