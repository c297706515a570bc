#include "dbcontrols.h"

#include "formats.h"
#include "guard.h"
#include "textwrap.h"

#include <QApplication>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QSignalBlocker>

namespace dbcontrols {

QString displayText(const QString& stored) {
    if (!stored.contains(QLatin1Char('\r')))
        return stored;
    QString text = stored;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
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
// Runs the start of an edit inside guard(): it starts from within the control's own event
// handling, which no error may leave.
bool startEditing(DataControl* control, Dataset* dataset) {
    bool ok = false;
    guard([&] { ok = beginEditing(control, dataset); });
    return ok;
}

bool acceptsInNumber(QChar c) {
    return c.isDigit() || c == QLatin1Char('+') || c == QLatin1Char('-') || c == QLatin1Char('e') ||
           c == QLatin1Char('E') || c == formats::settings().decimalSeparator;
}

QTextOption::WrapMode wrapModeFor(const QString& text) {
    return textwrap::needsWrapAnywhere(text) ? QTextOption::WrapAnywhere
                                             : QTextOption::WrapAtWordBoundaryOrAnywhere;
}

const QEvent::Type showTextEvent = QEvent::Type(QEvent::registerEventType());
} // namespace

// --- DataTextControl

DataTextControl::DataTextControl(QWidget* widget, const QString& field)
    : m_widget(widget), m_field(field) {}

void DataTextControl::loadFromRecord(const Dataset* dataset) {
    if (m_modified || m_pending) {
        m_later = dataset ? dataset->fieldTextLater(m_field) : FieldText();
        m_textLater = true;
    } else {
        const QString text = dataset ? displayed(dataset->fieldText(m_field)) : QString();
        if (text == m_shown)
            return;
        m_text = text;
        m_textLater = false;
    }
    m_modified = false;
    m_pending = true;
    if (!m_posted) {
        m_posted = true;
        QCoreApplication::postEvent(m_widget, new QEvent(showTextEvent));
    }
}

const QString& DataTextControl::pendingText() const {
    if (m_textLater) {
        m_text = displayed(m_later.toString());
        m_later = FieldText();
        m_textLater = false;
    }
    return m_text;
}

bool DataTextControl::takeShowTextEvent(QEvent* event) {
    if (event->type() != showTextEvent)
        return false;
    m_posted = false;
    showPendingText();
    return true;
}

void DataTextControl::showPendingText() {
    if (!m_pending)
        return;
    const QString text = pendingText();
    m_pending = false;
    m_loading = true;
    setWidgetText(text);
    m_loading = false;
    m_shown = text;
}

void DataTextControl::textChangedInWidget() {
    if (m_loading)
        return;
    if (widgetReadOnly()) { // set by the program, not the user: nothing to hand to the record
        m_shown = widgetText();
        return;
    }
    if (m_modified)
        return; // the record is being edited already
    if (startEditing(this, activeDataset())) {
        m_modified = true; // after the start: an insert it makes reloads the controls
        return;
    }
    // The record cannot take the change: the control shows the record's value again.
    m_loading = true;
    setWidgetText(m_shown);
    m_loading = false;
    QApplication::beep();
}

void DataTextControl::revertToRecord() {
    guard([this] { loadFromRecord(activeDataset()); });
}

void DataTextControl::fieldChanged(const Dataset* dataset) {
    if (!m_modified)
        loadFromRecord(dataset);
}

void DataTextControl::updateRecord(Dataset* dataset) {
    if (!m_modified || !dataset)
        return;
    const QString text = shownText();
    dataset->setFieldText(m_field, text);
    m_shown = text; // what the control holds now is the field's value
    m_modified = false;
}

// --- DBMemo

DBMemo::DBMemo(const QString& name, const QString& field, QWidget* parent)
    : QPlainTextEdit(parent), DataTextControl(this, field) {
    setObjectName(name);
    connect(this, &QPlainTextEdit::textChanged, this, [this] { textChangedInWidget(); });
}

QString DBMemo::displayed(const QString& stored) const {
    return displayText(stored);
}

void DBMemo::setWidgetText(const QString& text) {
    const QTextOption::WrapMode mode = wrapModeFor(text);
    if (wordWrapMode() != mode) {
        // Qt lays the text shown out again as soon as the mode changes: the old text goes
        // first (the new one replaces it anyway), or a long run of it would be laid out at
        // word boundaries. Not an edit: nobody hears of it.
        if (!document()->isEmpty()) {
            const QSignalBlocker quiet(this);
            document()->setPlainText(QString());
        }
        setWordWrapMode(mode);
    }
    setPlainText(text);
}

bool DBMemo::event(QEvent* event) {
    return takeShowTextEvent(event) || QPlainTextEdit::event(event);
}

void DBMemo::showEvent(QShowEvent* event) {
    showPendingText();
    QPlainTextEdit::showEvent(event);
}

void DBMemo::mouseReleaseEvent(QMouseEvent* event) {
    showPendingText();
    QPlainTextEdit::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton)
        emit clicked();
}

void DBMemo::keyPressEvent(QKeyEvent* event) {
    showPendingText();
    if (!isReadOnly() && event->key() == Qt::Key_Escape) {
        revertToRecord();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void DBMemo::focusOutEvent(QFocusEvent* event) {
    QPlainTextEdit::focusOutEvent(event);
    if (hasPendingChange())
        guard([this] { updateRecord(activeDataset()); });
}

void DBMemo::insertFromMimeData(const QMimeData* source) {
    showPendingText(); // a paste or drop goes into the current record's text
    if (source && source->hasText() && wrapModeFor(source->text()) == QTextOption::WrapAnywhere)
        setWordWrapMode(QTextOption::WrapAnywhere); // before the long run is laid out
    QPlainTextEdit::insertFromMimeData(source);
}

// --- DBEdit

DBEdit::DBEdit(const QString& name, const QString& field, QWidget* parent)
    : QLineEdit(parent), DataTextControl(this, field) {
    setObjectName(name);
    connect(this, &QLineEdit::textChanged, this, [this] { textChangedInWidget(); });
}

bool DBEdit::event(QEvent* event) {
    return takeShowTextEvent(event) || QLineEdit::event(event);
}

void DBEdit::showEvent(QShowEvent* event) {
    showPendingText();
    QLineEdit::showEvent(event);
}

void DBEdit::keyPressEvent(QKeyEvent* event) {
    showPendingText();
    if (!isReadOnly()) {
        if (event->key() == Qt::Key_Escape) {
            revertToRecord();
            return;
        }
        // A character the field's type does not take is refused before it reaches the text.
        Dataset* dataset = activeDataset();
        const QString typed = event->text();
        if (dataset && dataset->fieldIsNumeric(dataField()) && !typed.isEmpty() &&
            typed.at(0).isPrint() && !acceptsInNumber(typed.at(0))) {
            QApplication::beep();
            return;
        }
    }
    QLineEdit::keyPressEvent(event);
}

void DBEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    if (hasPendingChange())
        guard([this] { updateRecord(activeDataset()); });
}
