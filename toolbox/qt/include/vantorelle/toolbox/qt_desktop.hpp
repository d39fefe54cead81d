// qt_desktop.hpp - the Linux desktop around the Qt toolbox: one instance per user, quit on signals, the icon.
//
// A launch with files while an instance of the application runs hands the
// files to that instance and ends: the running one receives them as an
// open-documents event, as if they had been dropped on its window. The
// handover goes over a local socket, one per user and display: in
// $XDG_RUNTIME_DIR when that is set, else in the temporary folder under the
// user's ID, named with the display ($WAYLAND_DISPLAY on Wayland, else
// $DISPLAY); both ends check that the other belongs to the same user. A lock
// file beside the socket makes "is there an instance? then I am it" one
// step, so launches at the same moment still make one instance.
#pragma once

#include <memory>
#include <string>
#include <vector>

class QIcon;
class QLocalServer;
class QSocketNotifier;

namespace vantorelle::toolbox {

class QtToolbox;

// The socket path for this user and display.
std::string LaunchSocketPath();

// The lock of the launch channel: held by a launch from asking for a running
// instance until it listens itself, and by the instance while it stops
// listening, so that no launch hands its files to an instance that is
// leaving. Its file is the socket path followed by ".lock".
class LaunchLock {
 public:
  LaunchLock();
  ~LaunchLock();
  LaunchLock(const LaunchLock&) = delete;
  LaunchLock& operator=(const LaunchLock&) = delete;

  // Waits for the lock, letting Qt's events through, for up to 15 s. False
  // when it cannot be had (the launch then goes on unlocked).
  bool Acquire();
  void Release();

 private:
  int fd_ = -1;
  bool held_ = false;
};

enum class Handover {
  kNoInstance,  // nobody listens: this launch is the instance
  kTaken,       // the running instance has the files
  kNoAnswer,    // an instance listens but did not confirm in time
};

// Offers `paths` (absolute) to the running instance; an empty list asks it to
// come to the front. Needs a QCoreApplication.
Handover HandOverToRunningInstance(const std::vector<std::string>& paths, int timeout_ms = 10000);

// Notes that this launch has `paths` (absolute) and tells whether a launch
// on this display had the same set of files, in any order, in the last 5 s:
// one launch made twice (a double click, two launchers at once) is one run.
// Call it under the LaunchLock. False for no paths, and when the note file
// beside the socket cannot be used.
bool LaunchedLately(const std::vector<std::string>& paths);

// Listens for later launches while it lives and turns each handover into an
// open-documents event (or raises the main window for an empty one).
class LaunchServer {
 public:
  explicit LaunchServer(QtToolbox& toolbox);
  ~LaunchServer();
  LaunchServer(const LaunchServer&) = delete;
  LaunchServer& operator=(const LaunchServer&) = delete;

  // False when another instance already listens or the socket cannot be made.
  bool listening() const;

 private:
  std::unique_ptr<QLocalServer> server_;
};

// While it lives, SIGTERM and SIGINT send the quit event, so the application
// ends in its own time and writes its preferences. A second signal of the
// same kind ends the process at once, as without this.
class QuitSignals {
 public:
  explicit QuitSignals(QtToolbox& toolbox);
  ~QuitSignals();
  QuitSignals(const QuitSignals&) = delete;
  QuitSignals& operator=(const QuitSignals&) = delete;

 private:
  std::unique_ptr<QSocketNotifier> notifier_;
};

// The application's icon, drawn from its scalable picture at the usual sizes.
QIcon ApplicationIcon();

}  // namespace vantorelle::toolbox
