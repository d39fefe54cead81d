// item_check_box.hpp - a dialog check box that reports its click but leaves its value alone.
//
// The shell flips check boxes itself after ModalDialog returns their number;
// a box that also flipped on its own would end up unchanged.
#pragma once

#include <QCheckBox>

namespace vantorelle::toolbox {

class ItemCheckBox : public QCheckBox {
  Q_OBJECT

 public:
  explicit ItemCheckBox(QWidget* parent = nullptr) : QCheckBox(parent) {}

 protected:
  void nextCheckState() override {}
};

}  // namespace vantorelle::toolbox
