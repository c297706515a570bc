#include "vivodsoobsh.h"

#include "designer.h"
#include "guard.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

Tvivsoobsh* vivsoobsh = nullptr;

Tvivsoobsh::Tvivsoobsh(QWidget* parent) : Form(parent) {
    setObjectName(QStringLiteral("vivsoobsh"));
    setWindowTitle(QStringLiteral("vivsoobsh"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    QWidget* client = makeClientArea(QStringLiteral("Tahoma"), 11);

    BitBtn1 =
        new QPushButton(designer::checkMarkIcon(QColor(0, 128, 0)), QStringLiteral("OK"), client);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(166, 221, 75, 25);
    BitBtn1->setFont(designer::font(QStringLiteral("Tahoma"), 16, true));
    BitBtn1->setAutoDefault(false);
    BitBtn1->setDefault(false);
    onEvent(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });

    Panel1 = new QFrame(client);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(1, 1, 399, 216);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setFocusPolicy(Qt::NoFocus);

    Label1 = new QLabel(QStringLiteral("Label1"), Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(6, 5, 389, 206);
    Label1->setFixedSize(389, 206); // never grows: what does not fit is not shown
    Label1->setTextFormat(Qt::PlainText);
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label1->setFont(designer::font(QStringLiteral("Tahoma"), 16));

    setFixedClientSize(402, 250);
    setFocusProxy(BitBtn1);
    BitBtn1->installEventFilter(this);
}

void Tvivsoobsh::BitBtn1Click() {
    closeForm();
}

bool Tvivsoobsh::eventFilter(QObject* watched, QEvent* event) {
    // Enter presses the focused button as Space does; Esc does nothing.
    if (watched == BitBtn1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            BitBtn1->click();
            return true;
        }
        if (key == Qt::Key_Escape)
            return true;
    }
    return Form::eventFilter(watched, event);
}

void raiseNotice(const QString& text) {
    // A notice raised while another is up (a timer handler runs inside the first showing)
    // is shown over it; after its "OK" the one under it is shown again with its own text.
    const bool nested = vivsoobsh->isModalShowing();
    const QString under = vivsoobsh->Label1->text();
    vivsoobsh->Label1->setText(text);
    vivsoobsh->BitBtn1->setFocus();
    vivsoobsh->showModal();
    if (nested) {
        vivsoobsh->Label1->setText(under);
        vivsoobsh->BitBtn1->setFocus();
    }
}
