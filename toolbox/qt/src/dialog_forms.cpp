// dialog_forms.cpp - the table from dialog resource ID to its Qt Designer form.
#include "dialog_forms.hpp"

#include <QDialog>

#include "ui_dialog_128.h"
#include "ui_dialog_130.h"
#include "ui_dialog_131.h"
#include "ui_dialog_135.h"
#include "ui_dialog_140.h"
#include "ui_dialog_141.h"
#include "ui_dialog_142.h"

namespace vantorelle::toolbox {
namespace {

// The generated Ui object only holds pointers to widgets that `dialog` owns.
template <class Form>
void Build(QDialog& dialog) {
  Form form;
  form.setupUi(&dialog);
}

struct FormEntry {
  ResID id;
  void (*build)(QDialog&);
};

constexpr FormEntry kForms[] = {
    {128, &Build<Ui::Dialog128>}, {130, &Build<Ui::Dialog130>}, {131, &Build<Ui::Dialog131>},
    {135, &Build<Ui::Dialog135>}, {140, &Build<Ui::Dialog140>}, {141, &Build<Ui::Dialog141>},
    {142, &Build<Ui::Dialog142>},
};

}  // namespace

bool BuildDialogForm(ResID id, QDialog& dialog) {
  for (const FormEntry& form : kForms) {
    if (form.id == id) {
      form.build(dialog);
      return true;
    }
  }
  return false;
}

}  // namespace vantorelle::toolbox
