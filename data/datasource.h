#pragma once

#include "dataset.h"

#include <QObject>
#include <QVector>

class DataControl;

// Binds data-aware controls to a dataset and passes on what happens to it. The controls are
// told through plain calls, so that an error of one of them (a field not found, an invalid
// picture) ends the move that caused it; observers that cannot fail (a record navigator)
// may use the changed() signal instead.
class DataSource : public QObject, public DataLink {
    Q_OBJECT
public:
    explicit DataSource(QObject* parent = nullptr);
    ~DataSource() override;

    void setDataset(Dataset* dataset);
    Dataset* dataset() const { return m_dataset; }
    bool active() const { return m_dataset && m_dataset->active(); }

    void bind(DataControl* control);
    void unbind(DataControl* control);
    const QVector<DataControl*>& controls() const { return m_controls; }

    // DataLink
    void datasetOpened() override;
    void datasetClosed() override;
    void recordChanged() override;
    void stateChanged() override;
    void updateRecord() override;
    void fieldChanged(const QString& name) override;

signals:
    // After the dataset opened or closed, moved, changed state or took a field value.
    void changed();

private:
    template <class Call> void forEachControl(Call call);

    Dataset* m_dataset = nullptr;
    QVector<DataControl*> m_controls;
};

// A control that shows (and may edit) one field of the current record.
class DataControl {
public:
    virtual ~DataControl();
    virtual QString controlName() const = 0;
    virtual QString dataField() const = 0;

    // The dataset opened: fail with "<control>: Field '<field>' not found" when missing.
    void checkField(const Dataset& dataset) const;
    virtual void loadFromRecord(const Dataset* dataset) = 0; // nullptr: show nothing
    virtual void stateChanged(const Dataset* /*dataset*/) {}
    // Hands a change made in the control to the record (before a post or a move).
    virtual void updateRecord(Dataset* /*dataset*/) {}
    // The bound field got a new value from elsewhere (or from this control).
    virtual void fieldChanged(const Dataset* dataset) { loadFromRecord(dataset); }

    DataSource* dataSource() const { return m_source; }
    // Binds to `source` (nullptr: unbinds); a control is bound to one source at a time.
    void setDataSource(DataSource* source);

protected:
    // The dataset the control may show, or nullptr while there is none or it is closed.
    Dataset* activeDataset() const;

private:
    friend class DataSource;
    DataSource* m_source = nullptr;
};
