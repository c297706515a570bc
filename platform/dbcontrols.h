#pragma once

#include "datasource.h"

#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QWidget>

// Data-aware controls bound to a field of a data source's current record by field name
// (setDataSource() from DataControl). Read-only in the test window; the question editor
// makes them editable: typing into a control starts editing the record, and the change
// reaches the record when the record is posted (updateRecord) or the focus leaves.

class DBMemo : public QPlainTextEdit, public DataControl {
    Q_OBJECT
public:
    DBMemo(const QString& name, const QString& field, QWidget* parent);
    QString controlName() const override { return objectName(); }
    QString dataField() const override { return m_field; }
    void loadFromRecord(const Dataset* dataset) override;
    void updateRecord(Dataset* dataset) override;
    void fieldChanged(const Dataset* dataset) override;
    bool isModified() const { return m_modified; }
    // The text shown, including a record's text not yet laid out (see loadFromRecord).
    QString toPlainText() const;

signals:
    void clicked(); // a mouse click on the memo (answer fields of the test window)

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    void showPendingText();

    QString m_field;
    bool m_modified = false;
    bool m_loading = false;
    // Laying out a text costs far more than reading a record, and a walk through the table
    // moves thousands of times within one handler: the record's text is kept here and goes
    // into the document once the event loop runs (or the user acts on the memo).
    QString m_text;
    QString m_shown;
    bool m_pending = false;
    bool m_posted = false;
};

class DBEdit : public QLineEdit, public DataControl {
    Q_OBJECT
public:
    DBEdit(const QString& name, const QString& field, QWidget* parent);
    QString controlName() const override { return objectName(); }
    QString dataField() const override { return m_field; }
    void loadFromRecord(const Dataset* dataset) override;
    void updateRecord(Dataset* dataset) override;
    void fieldChanged(const Dataset* dataset) override;
    bool isModified() const { return m_modified; }
    // The text shown, including a record's text not yet laid out (as in DBMemo).
    QString text() const { return m_pending ? m_text : QLineEdit::text(); }

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void showPendingText();

    QString m_field;
    bool m_modified = false;
    QString m_text;
    bool m_pending = false;
    bool m_posted = false;
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
    // the table does not build a picture for every record.
    const QImage& picture() const;
    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }
    bool isReadOnly() const { return m_readOnly; }

    // A new picture (a null image empties the box) put in by the user: starts editing the
    // record; the picture reaches the field with updateRecord(). False when the box is
    // read-only or the record cannot be edited. Errors of the dataset propagate.
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
// True for a key that changes the text of an edit (typing, deleting, pasting, undo).
bool isEditingKey(const QKeyEvent* event);
// Starts editing the current record of `control`'s dataset; false when nothing is open or
// the bank cannot be changed.
bool beginEditing(DataControl* control, Dataset* dataset);
} // namespace dbcontrols
