// qt_toolbox_impl.hpp - the Qt backend's private state, shared by its source files.
#pragma once

#include <QEventLoop>
#include <QFileDialog>
#include <QObject>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "item_dialog.hpp"
#include "main_window.hpp"
#include "vantorelle/toolbox/qt_toolbox.hpp"

namespace vantorelle::toolbox {

// Turns key presses with the command modifier in the main window into key-down records.
class CommandKeyFilter : public QObject {
 public:
  CommandKeyFilter(QWidget* window, std::function<void(const EventRecord&)> post)
      : window_(window), post_(std::move(post)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* window_;
  std::function<void(const EventRecord&)> post_;
};

struct QtToolbox::Impl {
  std::unique_ptr<MenuWindow> window;
  std::unique_ptr<CommandKeyFilter> key_filter;
  std::map<std::uint32_t, std::unique_ptr<ItemDialog>> dialogs;
  std::uint32_t next_serial = 1;
  DialogRef port;
  QEventLoop* waiting = nullptr;  // the loop of a WaitNextEvent in progress
  bool menu_bar_drawn = false;
  // When each dialog was last painted by a flush, and last given idle time.
  using Times = std::map<std::uint32_t, std::chrono::steady_clock::time_point>;
  Times flushed;
  Times idled;
  bool window_shown = false;
  QFileDialog* chooser = nullptr;  // the file or folder chooser while it is open

  ItemDialog* Find(DialogRef dialog) const {
    auto it = dialogs.find(dialog.serial);
    return it == dialogs.end() ? nullptr : it->second.get();
  }
  // True, and the time noted, when `interval` has passed since the last
  // time noted for `dialog` in `times` (or none was).
  static bool Due(Times& times, DialogRef dialog, std::chrono::milliseconds interval) {
    const auto now = std::chrono::steady_clock::now();
    auto [last, first] = times.try_emplace(dialog.serial, now);
    if (!first && now - last->second < interval) return false;
    last->second = now;
    return true;
  }
  void WakeUp() {
    if (waiting) waiting->quit();
  }
};

}  // namespace vantorelle::toolbox
