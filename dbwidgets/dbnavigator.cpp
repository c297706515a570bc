#include "dbnavigator.h"

#include "datasource.h"
#include "dialogs.h"
#include "guard.h"

#include <QKeyEvent>
#include <QPainter>
#include <QToolButton>

namespace {
// The dotted frame that shows the keyboard is on the navigator (arrows, Home, End move).
class FocusFrame : public QWidget {
public:
    explicit FocusFrame(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        hide();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(2, 2, -3, -3));
    }
};

const char* const buttonNames[DBNavigator::buttonCount] = {
    "nbFirst",  "nbPrior", "nbNext", "nbLast",   "nbInsert",
    "nbDelete", "nbEdit",  "nbPost", "nbCancel", "nbRefresh"};
} // namespace

DBNavigator::DBNavigator(const QString& name, QWidget* parent) : QWidget(parent) {
    setObjectName(name);
    setFocusPolicy(Qt::TabFocus);
    for (int i = 0; i < buttonCount; ++i) {
        const auto which = Button(i);
        auto* button = new QToolButton(this);
        button->setObjectName(QLatin1String(buttonNames[i]));
        button->setFocusPolicy(Qt::NoFocus); // the navigator takes the focus as one control
        button->setIcon(QIcon(dbnavigator::glyph(which, 16)));
        button->setIconSize(QSize(16, 16));
        button->setToolTip(hint(which));
        button->setEnabled(false);
        connect(button, &QToolButton::clicked, this, [this, which] { press(which); });
        m_buttons[size_t(i)] = button;
    }
    m_focusFrame = new FocusFrame(this);
}

QString DBNavigator::hint(Button which) {
    switch (which) {
    case First:
        return QStringLiteral("Первая запись");
    case Prior:
        return QStringLiteral("Предыдущая запись");
    case Next:
        return QStringLiteral("Следующая запись");
    case Last:
        return QStringLiteral("Последняя запись");
    case Insert:
        return QStringLiteral("Вставить запись");
    case Delete:
        return QStringLiteral("Удалить запись");
    case Edit:
        return QStringLiteral("Редактировать");
    case Post:
        return QStringLiteral("Записать");
    case Cancel:
        return QStringLiteral("Отменить изменения");
    case Refresh:
        return QStringLiteral("Восстановить данные");
    }
    return QString();
}

void DBNavigator::setDataSource(DataSource* source) {
    if (m_source)
        disconnect(m_source, nullptr, this, nullptr);
    m_source = source;
    if (m_source)
        connect(m_source, &DataSource::changed, this, &DBNavigator::updateButtons);
    updateButtons();
}

Dataset* DBNavigator::activeDataset() const {
    return m_source && m_source->active() ? m_source->dataset() : nullptr;
}

std::array<bool, DBNavigator::buttonCount> DBNavigator::enabledButtons(const Dataset* dataset) {
    std::array<bool, buttonCount> on{};
    if (!dataset || !dataset->active())
        return on;
    const bool editing =
        dataset->state() == Dataset::State::Edit || dataset->state() == Dataset::State::Insert;
    const bool canModify = dataset->canModify();
    // At the last record the end is reached already: a further "next" would change nothing.
    const bool atStart = dataset->bof();
    const bool atEnd = dataset->eof() || dataset->recNo() >= dataset->recordCount();
    on[First] = on[Prior] = !atStart;
    on[Next] = on[Last] = !atEnd;
    on[Insert] = on[Refresh] = canModify;
    on[Edit] = canModify && !editing;
    on[Post] = on[Cancel] = editing;
    on[Delete] = canModify && !dataset->isEmpty();
    return on;
}

void DBNavigator::updateButtons() {
    const auto on = enabledButtons(activeDataset());
    for (int i = 0; i < buttonCount; ++i)
        m_buttons[size_t(i)]->setEnabled(on[size_t(i)]);
}

void DBNavigator::press(Button which) {
    if (!button(which)->isEnabled())
        return;
    guard([this, which] { act(which); });
    updateButtons(); // a refused write or a failed move may have told nobody
}

void DBNavigator::act(Button which) {
    Dataset* dataset = activeDataset();
    if (!dataset)
        return;
    switch (which) {
    case First:
        dataset->first();
        break;
    case Prior:
        dataset->prior();
        break;
    case Next:
        dataset->next();
        break;
    case Last:
        dataset->last();
        break;
    case Insert:
        dataset->insert();
        break;
    case Delete:
        if (dialogs::confirm(window(), applicationTitle(), QStringLiteral("Удалить запись?")))
            dataset->remove();
        break;
    case Edit:
        dataset->edit();
        break;
    case Post:
        dataset->post();
        break;
    case Cancel:
        dataset->cancel();
        break;
    case Refresh:
        dataset->refresh();
        break;
    }
}

void DBNavigator::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Left:
        press(Prior);
        break;
    case Qt::Key_Right:
        press(Next);
        break;
    case Qt::Key_Home:
        press(First);
        break;
    case Qt::Key_End:
        press(Last);
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

void DBNavigator::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The buttons share the width; the last takes what division leaves.
    const int w = width() / buttonCount;
    for (int i = 0; i < buttonCount; ++i) {
        const int left = i * w;
        const int right = i + 1 == buttonCount ? width() : left + w;
        m_buttons[size_t(i)]->setGeometry(left, 0, right - left, height());
    }
    m_focusFrame->setGeometry(rect());
    m_focusFrame->raise();
}

void DBNavigator::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    m_focusFrame->show();
}

void DBNavigator::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    m_focusFrame->hide();
}
