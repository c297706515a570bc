#include "startup.h"

#include "FormAbout.h"
#include "dataModule.h"
#include "kviront.h"
#include "ouz_reg.h"
#include "uoz_kontrol.h"
#include "uoz_kontrol_otchet.h"
#include "uoz_kontrol_redaktor.h"
#include "uoz_kontrol_time.h"
#include "vivodsoobsh.h"

#include "designer.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

void prepareApplication() {
    static bool prepared = false;
    if (prepared)
        return;
    prepared = true;
    // Qt's own dialogs (file dialogs, message boxes) speak the program's language.
    static QTranslator qtTranslator;
    if (qtTranslator.load(QStringLiteral("qtbase_ru"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);
    // The designer's pixel layout holds in its own faces.
    designer::registerDesignFonts();
    // Desktops find the menu entry, and so the icon, of the program's windows by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.kviront.Kviront"));
}

void createForms() {
    Form1 = new TForm1;
    createOtherForms();
}

void createMainForm() {
    Form1 = new TForm1;
    DataModule1 = new TDataModule1;
}

void createOtherForms() {
    if (About)
        return;
    About = new TAbout;
    uozKontrol = new TuozKontrol;
    uozKontrol_otchet = new TuozKontrol_otchet;
    uozKontrol_redaktor = new TuozKontrol_redaktor;
    uozKontrol_Time = new TuozKontrol_Time;
    FormReg = new TFormReg;
    if (!DataModule1)
        DataModule1 = new TDataModule1;
    uozKontrol->bindDataSource(DataModule1->DataSourceControl);
    uozKontrol_redaktor->bindDataSource(DataModule1->DataSourceControl);
    vivsoobsh = new Tvivsoobsh;
    // Every other window is tied to the main window: in front of it, no taskbar entry.
    Form::setMainForm(Form1);
}

template <class T> static void destroy(T*& p) {
    delete p;
    p = nullptr;
}

void destroyForms() {
    destroy(vivsoobsh);
    destroy(DataModule1);
    destroy(FormReg);
    destroy(uozKontrol_Time);
    destroy(uozKontrol_redaktor);
    destroy(uozKontrol_otchet);
    destroy(uozKontrol);
    destroy(About);
    destroy(Form1);
}
