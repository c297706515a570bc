#include "FormAbout.h"

#include "designer.h"
#include "icons.h"

#include <QLabel>

TAbout* About = nullptr;

namespace {
QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, QRect place,
                  QColor colour) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(place);
    label->setAutoFillBackground(true); // opaque
    label->setFont(designer::font(QStringLiteral("Tahoma"), 13, true));
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, colour);
    label->setPalette(pal);
    return label;
}
} // namespace

TAbout::TAbout(QWidget* parent) : Form(parent) {
    setObjectName(QStringLiteral("About"));
    setWindowTitle(QStringLiteral("О программе"));
    setWindowIcon(programIcon());
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    QWidget* client = makeClientArea(QStringLiteral("Tahoma"), 11);

    Label1 =
        makeLabel(client, "Label1", QStringLiteral("Квиронт"), QRect(106, 6, 165, 32), Qt::black);
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setWordWrap(true);
    Label2 = makeLabel(client, "Label2", QStringLiteral("Version 2.0. Beta"),
                       QRect(133, 58, 111, 16), QColor(0, 128, 0));
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Label3 = makeLabel(client, "Label3", QString(), QRect(133, 80, 111, 16), Qt::black);
    Label3->setVisible(false);
    Image1 = new QLabel(client);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(2, 8, 105, 105);
    Image1->setVisible(false); // the picture is never shown

    setFixedClientSize(342, 123);
}
