// modifiers.hpp - Qt keyboard modifiers as the toolbox's modifier word.
#pragma once

#include <Qt>

#include "vantorelle/toolbox/types.hpp"

namespace vantorelle::toolbox {

// Control is the command key, Shift shift, Alt option, Meta (Super) control.
inline EventModifiers ModifiersFromQt(Qt::KeyboardModifiers qt) {
  EventModifiers word = 0;
  if (qt & Qt::ControlModifier) word |= cmdKey;
  if (qt & Qt::ShiftModifier) word |= shiftKey;
  if (qt & Qt::AltModifier) word |= optionKey;
  if (qt & Qt::MetaModifier) word |= controlKey;
  return word;
}

}  // namespace vantorelle::toolbox
