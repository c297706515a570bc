#pragma once

#include "datasource.h"

#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QWidget>

// Data-aware controls bound to a field of a data source's current record by field name
// (setDataSource() from DataControl). Read-only in the test window; the question editor
// makes them editable: any change of an editable control's text (typing, a paste or cut from
// a key or the context menu, a drop, undo) starts editing the record, and the change reaches
// the record when the record is posted (updateRecord) or the focus leaves.

// What DBMemo and DBEdit share. Laying out a text costs far more than reading a record, and
// a walk through the table moves thousands of times within one handler: the record's text
// is kept here and goes into the control once the event loop runs (or the user acts on the
// control). And editing starts from the change of the text itself, whatever made it; when
// the record cannot be edited (a read-only bank, no bank) the text is put back, with a beep.
class DataTextControl : public DataControl {
public:
    QString controlName() const override { return m_widget->objectName(); }
    QString dataField() const override { return m_field; }
    void loadFromRecord(const Dataset* dataset) override;
    void updateRecord(Dataset* dataset) override;
    void fieldChanged(const Dataset* dataset) override;
    // A change made in the control and not yet handed to the record. (Not isModified(), which
    // QLineEdit has already.)
    bool hasPendingChange() const { return m_modified; }
    // The text shown, including a record's text not yet put into the control.
    QString shownText() const { return m_pending ? pendingText() : widgetText(); }

protected:
    DataTextControl(QWidget* widget, const QString& field);
    virtual QString widgetText() const = 0;
    virtual void setWidgetText(const QString& text) = 0;
    virtual bool widgetReadOnly() const = 0;
    // A field's text as the control shows it.
    virtual QString displayed(const QString& stored) const { return stored; }

    // For event(): true (handled) for the posted request to show the record's text.
    bool takeShowTextEvent(QEvent* event);
    void showPendingText();
    // The control's text changed; connected to its textChanged signal.
    void textChangedInWidget();
    // Esc: the control shows the record's value again.
    void revertToRecord();

private:
    const QString& pendingText() const;

    QWidget* m_widget;
    QString m_field;
    mutable QString m_text; // the record's text, waiting to go into the control
    // Or its text still to be made: while one record waits to be shown, those that replace
    // it are not made into characters unless they are shown.
    mutable FieldText m_later;
    mutable bool m_textLater = false;
    QString m_shown;        // what the control holds while nothing in it changed
    bool m_pending = false; // m_text is still to be shown
    bool m_posted = false;  // a request to show it is on its way
    bool m_modified = false;
    bool m_loading = false; // the control's text is being set from the record
};

// A memo picks its wrap mode from the text it is about to show: a text with a run of more than
// a thousand characters without a blank wraps anywhere, any other at word boundaries (see
// textwrap.h: laid out at word boundaries such a run takes minutes).
class DBMemo : public QPlainTextEdit, public DataTextControl {
    Q_OBJECT
public:
    DBMemo(const QString& name, const QString& field, QWidget* parent);

signals:
    void clicked(); // a mouse click on the memo (answer fields of the test window)

protected:
    QString widgetText() const override { return QPlainTextEdit::toPlainText(); }
    void setWidgetText(const QString& text) override;
    bool widgetReadOnly() const override { return isReadOnly(); }
    QString displayed(const QString& stored) const override;

    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
};

class DBEdit : public QLineEdit, public DataTextControl {
    Q_OBJECT
public:
    DBEdit(const QString& name, const QString& field, QWidget* parent);

protected:
    QString widgetText() const override { return QLineEdit::text(); }
    void setWidgetText(const QString& text) override { setText(text); }
    bool widgetReadOnly() const override { return isReadOnly(); }

    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
};

// Shows the picture at its own size, centred and clipped, never scaled.
class DBImage : public QWidget, public DataControl {
    Q_OBJECT
public:
    DBImage(const QString& name, const QString& field, QWidget* parent);
    QString controlName() const override { return objectName(); }
    QString dataField() const override { return m_field; }
    void loadFromRecord(const Dataset* dataset) override; // throws "Bitmap image is not valid"
    void updateRecord(Dataset* dataset) override;
    // The picture shown (null when none). The field is checked when its record becomes
    // current, but the pixels are made only when the picture is first wanted, so walking
    // the table does not build a picture for every record. The reference is invalidated when
    // another record becomes current or a picture is put in: copy it to keep it.
    const QImage& picture() const;
    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }
    bool isReadOnly() const { return m_readOnly; }

    // A new picture (a null image empties the box) put in by the user: starts editing the
    // record; the picture reaches the field with updateRecord(). False when the box is
    // read-only or the record cannot be edited. A picture beyond the limits of bitmap.h
    // throws Error("Рисунок слишком велик: …") and changes nothing. Errors of the dataset
    // propagate.
    bool setPicture(const QImage& picture);
    bool isModified() const { return m_modified; }

    // The clipboard keys (dbimage_clipboard.cpp). Paste takes any picture the clipboard
    // offers as an image and starts editing; text and other formats are left alone. Copy
    // puts the shown picture there; cut copies it and empties the box. False when nothing
    // happened. Restoring shows again the picture the record's field holds.
    bool pasteFromClipboard();
    bool copyToClipboard() const;
    bool cutToClipboard();
    void restoreFromRecord();

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString m_field;
    mutable QImage m_picture;
    mutable QByteArray m_bytes;    // the field's value, not yet made into m_picture
    mutable bool m_unread = false; // the value is still in the record, not yet read
    bool m_readOnly = false;
    bool m_modified = false;
};

namespace dbcontrols {
// Line breaks of a stored text as a text control holds them (LF); stored CR LF and CR read
// as one line break each.
QString displayText(const QString& stored);
// Starts editing the current record of `control`'s dataset; false when nothing is open or
// the bank cannot be changed.
bool beginEditing(DataControl* control, Dataset* dataset);
} // namespace dbcontrols
