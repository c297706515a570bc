#include "datasource.h"

#include "error.h"

#include <exception>

DataSource::DataSource(QObject* parent) : QObject(parent) {}

DataSource::~DataSource() {
    setDataset(nullptr);
    for (DataControl* control : m_controls)
        control->m_source = nullptr;
}

void DataSource::setDataset(Dataset* dataset) {
    if (m_dataset)
        m_dataset->detach(this);
    m_dataset = dataset;
    if (m_dataset)
        m_dataset->attach(this);
}

void DataSource::bind(DataControl* control) {
    if (!control || m_controls.contains(control))
        return;
    m_controls.append(control);
    control->m_source = this;
    if (active()) {
        control->checkField(*m_dataset);
        control->loadFromRecord(m_dataset);
    }
}

void DataSource::unbind(DataControl* control) {
    if (m_controls.removeAll(control) > 0)
        control->m_source = nullptr;
}

// Every control is told even when one of them fails, so none keeps showing the previous
// record; the first error then goes on to whoever made the move.
template <class Call> void DataSource::forEachControl(Call call) {
    std::exception_ptr first;
    const QVector<DataControl*> controls = m_controls; // a call may bind or unbind
    for (DataControl* control : controls) {
        try {
            call(control);
        } catch (...) {
            if (!first)
                first = std::current_exception();
        }
    }
    emit changed();
    if (first)
        std::rethrow_exception(first);
}

void DataSource::datasetOpened() {
    // Every bound field is looked up before anything is shown; the first missing one fails.
    for (DataControl* control : m_controls)
        control->checkField(*m_dataset);
}

void DataSource::datasetClosed() {
    forEachControl([](DataControl* c) { c->loadFromRecord(nullptr); });
}

void DataSource::recordChanged() {
    forEachControl([this](DataControl* c) { c->loadFromRecord(m_dataset); });
}

void DataSource::stateChanged() {
    forEachControl([this](DataControl* c) { c->stateChanged(m_dataset); });
}

void DataSource::updateRecord() {
    // A refused value stops the post at once: the record stays as it is being edited.
    for (DataControl* control : m_controls)
        control->updateRecord(m_dataset);
}

void DataSource::fieldChanged(const QString& name) {
    forEachControl([this, &name](DataControl* c) {
        if (c->dataField().compare(name, Qt::CaseInsensitive) == 0)
            c->fieldChanged(m_dataset);
    });
}

DataControl::~DataControl() {
    if (m_source)
        m_source->unbind(this);
}

void DataControl::checkField(const Dataset& dataset) const {
    if (!dataset.hasField(dataField()))
        throw DatabaseError(
            QStringLiteral("%1: Field '%2' not found").arg(controlName(), dataField()));
}

void DataControl::setDataSource(DataSource* source) {
    if (source == m_source)
        return;
    if (m_source)
        m_source->unbind(this);
    if (source)
        source->bind(this);
    else
        loadFromRecord(nullptr);
}

Dataset* DataControl::activeDataset() const {
    if (!m_source || !m_source->active())
        return nullptr;
    return m_source->dataset();
}
