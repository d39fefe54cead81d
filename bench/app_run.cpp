// app_run.cpp - one decode run of the desktop application over the given files, offscreen, timed.
//
// Usage: vantorelle_app_run FILE...
// Drops the FILEs on the application once its main window is up (no key
// held, errors listed in the progress window), as on a running application,
// and prints, on one line: the run's wall seconds, the
// longest time in milliseconds between two paints of the progress window, and
// the number of paints. The preference file is neither read nor written.
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QEvent>
#include <QMainWindow>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "document_intake.hpp"
#include "preferences.hpp"
#include "vantorelle/toolbox/qt_toolbox.hpp"

namespace {

// Notes when the progress window is painted; the longest quiet time between paints.
class PaintClock : public QObject {
 public:
  explicit PaintClock(const QElapsedTimer& clock) : clock_(clock) {}
  qint64 longest_gap_ns() const { return longest_; }
  int paints() const { return paints_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && watched->isWidgetType() &&
        qobject_cast<QDialog*>(static_cast<QWidget*>(watched)->window())) {
      const qint64 now = clock_.nsecsElapsed();
      if (paints_ > 0) longest_ = std::max(longest_, now - last_);
      last_ = now;
      ++paints_;
    }
    return false;
  }

 private:
  const QElapsedTimer& clock_;
  qint64 last_ = 0;
  qint64 longest_ = 0;
  int paints_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication qt(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE...\n", argv[0]);
    return 2;
  }
  vantorelle::toolbox::QtToolbox tb;
  vantorelle::app::prefs.errors_to_progress = 1;
  vantorelle::toolbox::AppleEvent drop{vantorelle::toolbox::kCoreEventClass,
                                       vantorelle::toolbox::kAEOpenDocuments, {}};
  for (int i = 1; i < argc; ++i) drop.direct_object.push_back({std::filesystem::absolute(argv[i]).string()});

  // The window is up and painted, its fonts loaded, before the drop.
  tb.RaiseMainWindow();
  QApplication::processEvents();
  tb.MainWindow()->repaint();

  QElapsedTimer clock;
  PaintClock paints(clock);
  qt.installEventFilter(&paints);
  clock.start();
  vantorelle::toolbox::AppleEvent reply;
  vantorelle::app::AEOpenDoc(tb, drop, reply, 0);
  const qint64 wall = clock.nsecsElapsed();
  std::printf("%.6f %.1f %d\n", static_cast<double>(wall) / 1e9, static_cast<double>(paints.longest_gap_ns()) / 1e6,
              paints.paints());
  return 0;
}
