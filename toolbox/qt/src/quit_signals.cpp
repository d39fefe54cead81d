// quit_signals.cpp - SIGTERM and SIGINT become the quit event, through a pipe the event loop watches.
#include <QSocketNotifier>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <stdexcept>

#include "vantorelle/toolbox/qt_desktop.hpp"
#include "vantorelle/toolbox/qt_toolbox.hpp"

namespace vantorelle::toolbox {
namespace {

constexpr std::array<int, 2> kQuitSignals{SIGTERM, SIGINT};

// The handler may only write to this descriptor: everything else waits for
// the event loop. -1 when no QuitSignals lives.
volatile std::sig_atomic_t g_write_end = -1;
int g_read_end = -1;
std::array<struct sigaction, kQuitSignals.size()> g_previous{};

extern "C" void OnQuitSignal(int signal_number) {
  const int saved_errno = errno;
  const unsigned char byte = static_cast<unsigned char>(signal_number);
  if (g_write_end >= 0) {
    [[maybe_unused]] const ssize_t written = ::write(g_write_end, &byte, 1);
  }
  errno = saved_errno;
}

void DrainQuitPipe() {
  unsigned char bytes[64];
  while (::read(g_read_end, bytes, sizeof bytes) > 0) {
  }
}

}  // namespace

QuitSignals::QuitSignals(QtToolbox& toolbox) {
  if (g_read_end >= 0) throw std::logic_error("only one QuitSignals at a time");
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, ends) != 0)
    throw std::runtime_error("no pipe for the quit signals");
  g_read_end = ends[0];
  g_write_end = ends[1];

  notifier_ = std::make_unique<QSocketNotifier>(g_read_end, QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [&toolbox] {
    DrainQuitPipe();
    toolbox.DeliverAppleEvent({kCoreEventClass, kAEQuitApplication, {}});
  });

  struct sigaction action {};
  action.sa_handler = OnQuitSignal;
  sigemptyset(&action.sa_mask);
  // The first signal asks politely; the handler then steps aside, so a
  // second one of the same kind ends a program that does not get round to it.
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  for (std::size_t i = 0; i < kQuitSignals.size(); ++i) ::sigaction(kQuitSignals[i], &action, &g_previous[i]);
}

QuitSignals::~QuitSignals() {
  for (std::size_t i = 0; i < kQuitSignals.size(); ++i) ::sigaction(kQuitSignals[i], &g_previous[i], nullptr);
  notifier_.reset();
  const int write_end = g_write_end;
  g_write_end = -1;
  ::close(write_end);
  ::close(g_read_end);
  g_read_end = -1;
}

}  // namespace vantorelle::toolbox
