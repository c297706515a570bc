#pragma once

#include "datasource.h"

#include <QPointer>
#include <QWidget>
#include <array>

class QToolButton;

// A record navigator: ten buttons that move through, edit, write and re-read the records of
// a data source's dataset. The buttons follow every change of the dataset (open, close,
// move, editing state); each press runs inside the handler guard, so an error of the bank
// ends the press in the error box and leaves the dataset as the error left it.
class DBNavigator : public QWidget {
    Q_OBJECT
public:
    enum Button { First, Prior, Next, Last, Insert, Delete, Edit, Post, Cancel, Refresh };
    static constexpr int buttonCount = 10;

    DBNavigator(const QString& name, QWidget* parent);

    void setDataSource(DataSource* source);
    DataSource* dataSource() const { return m_source; }
    QToolButton* button(Button which) const { return m_buttons[size_t(which)]; }
    // Runs a button's action as its press does (disabled buttons do nothing).
    void press(Button which);

    // Which buttons the rules enable for the dataset (nullptr or closed: none).
    static std::array<bool, buttonCount> enabledButtons(const Dataset* dataset);
    // The hint of each button, shown as its tooltip.
    static QString hint(Button which);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    Dataset* activeDataset() const;
    void act(Button which);
    void updateButtons();

    QPointer<DataSource> m_source;
    std::array<QToolButton*, buttonCount> m_buttons{};
    QWidget* m_focusFrame = nullptr; // drawn over the buttons while the navigator has focus
};

namespace dbnavigator {
// The drawn glyph of a button, black on transparent, at the given size.
QPixmap glyph(DBNavigator::Button which, int size);
} // namespace dbnavigator
