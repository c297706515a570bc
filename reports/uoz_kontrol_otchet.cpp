#include "uoz_kontrol_otchet.h"

#include "colorlist.h"
#include "dialogs.h"
#include "error.h"
#include "fontlist.h"
#include "guard.h"
#include "reportfile.h"
#include "reportprinter.h"
#include "richedit.h"

#include <QAction>
#include <QComboBox>
#include <QFontDatabase>
#include <QTextCharFormat>

TuozKontrol_otchet* uozKontrol_otchet = nullptr;

double OtchetOpened = 0.0;
double OtchetCreated = 0.0;
QString OtchetFileName;

namespace {
const QString reportFilter = QStringLiteral("Файлы отчётов теста|*.usr");
} // namespace

TuozKontrol_otchet::TuozKontrol_otchet(QWidget* parent) : Form(parent) {
    setObjectName(QStringLiteral("uozKontrol_otchet"));
    setWindowTitle(QStringLiteral("Редактор отчётов"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    buildMenu();
    buildToolBar();
    buildClientArea();
    connectHandlers();
    FormCreate();
}

// Tearing the window down takes the focus from the editable font box, which then reports
// "activated" while this object is already half destroyed: cut the boxes off first.
TuozKontrol_otchet::~TuozKontrol_otchet() {
    ComboBoxEx1->disconnect(this);
    ColorBox1->disconnect(this);
}

void ShowOtchet(TuozKontrol_otchet* form) {
    form->RichEdit1->show();
}

void ClearOtchet(TuozKontrol_otchet* form) {
    form->RichEdit1->clearText();
    form->RichEdit1->hide();
    OtchetCreated = 0.0;
    OtchetOpened = 0.0;
}

void SaveOtchetIfModified(TuozKontrol_otchet* form) {
    RichEdit* text = form->RichEdit1;
    if (!text->modified() || text->isHidden())
        return;
    if (OtchetOpened == 1.0) {
        OtchetFileName = form->OpenDialog1.fileName;
        text->saveToFile(OtchetFileName);
        return;
    }
    form->SaveDialog1.filter = reportFilter;
    // Asked for by another command ("Открыть", "Печать", closing): the caption says why.
    if (!form->SaveDialog1.execute(form, QStringLiteral("Сохранить изменения текущего текста")))
        return;
    text->saveToFile(reportfile::saveTarget(form->SaveDialog1.fileName));
    OtchetFileName = form->SaveDialog1.fileName;
}

void TuozKontrol_otchet::N20Click() {
    if (OtchetCreated == 1.0)
        SaveOtchetIfModified(this);
    ShowOtchet(this);
    OtchetCreated = 1.0;
}

void TuozKontrol_otchet::N2Click() {
    const QString boundFile = OpenDialog1.fileName;
    OpenDialog1.filter = reportFilter;
    if (!OpenDialog1.execute(this))
        return;
    const QString chosen = OpenDialog1.fileName;
    // Until the chosen file has loaded, the shown text stays bound to the file it came from:
    // its unsaved changes are saved there first, and a failed load must not send later saves
    // of this text into the file that could not be opened.
    OpenDialog1.fileName = boundFile;
    SaveOtchetIfModified(this);
    RichEdit1->loadFromFile(chosen);
    OpenDialog1.fileName = chosen;
    ShowOtchet(this);
    OtchetOpened = 1.0;
}

void TuozKontrol_otchet::N3Click() {
    SaveOtchetIfModified(this);
    ClearOtchet(this);
}

void TuozKontrol_otchet::N6Click() {
    SaveOtchetIfModified(this);
}

void TuozKontrol_otchet::N7Click() {
    if (RichEdit1->isHidden())
        return;
    SaveDialog1.filter = reportFilter;
    if (!SaveDialog1.execute(this))
        return;
    RichEdit1->saveToFile(reportfile::saveTarget(SaveDialog1.fileName));
}

void TuozKontrol_otchet::N18Click() {
    SaveOtchetIfModified(this);
    reportprint::printOnDefaultPrinter(*RichEdit1->document(), OtchetFileName);
}

void TuozKontrol_otchet::N5Click() {
    closeForm(); // saves and clears, as any closing does
}

// A save that fails (a full disk) would keep the window, and with it the whole program, from
// ever closing: the user is asked whether to close without saving, knowing why it failed.
bool TuozKontrol_otchet::FormCloseQuery() {
    try {
        SaveOtchetIfModified(this);
        return true;
    } catch (const Error& e) {
        return dialogs::confirm(
            this, applicationTitle(),
            errorBoxText(e.message()) +
                QStringLiteral("\n\nЗакрыть редактор отчётов без сохранения? Изменения текста "
                               "будут потеряны."));
    }
}

void TuozKontrol_otchet::FormClose() {
    ClearOtchet(this);
}

void TuozKontrol_otchet::N10Click() {
    RichEdit1->undo();
}
void TuozKontrol_otchet::N12Click() {
    RichEdit1->cut();
}
void TuozKontrol_otchet::N13Click() {
    RichEdit1->copy();
}
void TuozKontrol_otchet::N15Click() {
    RichEdit1->selectAll();
}

void TuozKontrol_otchet::N17Click() {
    const bool editable = RichEdit1->isReadOnly();
    N17->setChecked(editable);
    RichEdit1->setReadOnlyText(!editable);
}

void TuozKontrol_otchet::ColorBox1Change() {
    const int index = ColorBox1->currentIndex();
    if (RichEdit1->isHidden() || index < 0)
        return;
    QTextCharFormat format;
    format.setForeground(textBrush(colorChoices().at(index), RichEdit1->palette()));
    RichEdit1->mergeCurrentCharFormat(format);
    RichEdit1->setFocus();
}

void TuozKontrol_otchet::FormCreate() {
    const QStringList entries = fontEntries(QFontDatabase::families());
    ComboBoxEx1->clear();
    ComboBoxEx1->addItems(entries);
    ComboBoxEx1->setCurrentIndex(fontEntryIndex(entries, RichEdit1->font().family()));
}

void TuozKontrol_otchet::ComboBoxEx1Click() {
    const int index = ComboBoxEx1->currentIndex();
    if (RichEdit1->isHidden() || index < 0)
        return;
    QTextCharFormat format;
    format.setFontFamilies(QStringList{ComboBoxEx1->itemText(index)});
    RichEdit1->mergeCurrentCharFormat(format);
    RichEdit1->setFocus();
}
