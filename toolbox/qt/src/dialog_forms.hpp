// dialog_forms.hpp - builds a dialog's widgets from its compiled form, by resource ID.
#pragma once

#include "vantorelle/toolbox/types.hpp"

class QDialog;

namespace vantorelle::toolbox {

// Fills `dialog` with the widgets of the form of dialog `id`; false when there
// is no such form.
bool BuildDialogForm(ResID id, QDialog& dialog);

}  // namespace vantorelle::toolbox
