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

#include <QWindow>

namespace {
// Secondary windows stay in front of the main window and have no taskbar entry of their
// own; a QWidget parent would disable them together with the main window, so only the
// window system's transient hint ties them to it.
void tieToMainWindow(Form* form) {
    form->winId();
    if (form->windowHandle() && Form1->windowHandle())
        form->windowHandle()->setTransientParent(Form1->windowHandle());
}
} // namespace

void createForms() {
    Form1 = new TForm1;
    Form1->winId();
    About = new TAbout;
    uozKontrol = new TuozKontrol;
    uozKontrol_otchet = new TuozKontrol_otchet;
    uozKontrol_redaktor = new TuozKontrol_redaktor;
    uozKontrol_Time = new TuozKontrol_Time;
    FormReg = new TFormReg;
    DataModule1 = new TDataModule1;
    uozKontrol->bindDataSource(DataModule1->DataSourceControl);
    uozKontrol_redaktor->bindDataSource(DataModule1->DataSourceControl);
    vivsoobsh = new Tvivsoobsh;
    for (Form* form :
         std::initializer_list<Form*>{About, uozKontrol, uozKontrol_otchet, uozKontrol_redaktor,
                                      uozKontrol_Time, FormReg, vivsoobsh})
        tieToMainWindow(form);
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
