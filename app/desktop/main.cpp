// main.cpp - the desktop application `vantorelle` on the Qt toolbox.
//
//   vantorelle             opens the main window and stays until told to quit
//   vantorelle FILE...     decodes the FILEs during start-up and ends; while an
//                          instance runs on this display, hands them to it
//                          instead and ends
#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "application.hpp"
#include "input_files.hpp"
#include "standard_streams.hpp"
#include "vantorelle/toolbox/qt_desktop.hpp"
#include "vantorelle/toolbox/qt_toolbox.hpp"
#include "vantorelle/version.hpp"

namespace {

using namespace vantorelle;

constexpr char kAppId[] = "org.vantorelle.Vantorelle";
constexpr int kExitUsage = 2;

void PrintUsage(std::FILE* to) {
  std::fprintf(to,
               "Usage: vantorelle [FILE...]\n"
               "Turn saved Usenet articles (uuencode, yEnc) back into the files they carry.\n"
               "\n"
               "With FILEs, decodes them in one run and ends; while Vantorelle already runs,\n"
               "hands them to it. Without, opens a window to drop article files on.\n"
               "The Options menu chooses where the files go (a folder per subject, folders\n"
               "by file name, one folder that you name); so do Shift, Ctrl and Alt held at\n"
               "a drop. A folder given or dropped gives the files directly in it.\n"
               "\n"
               "  -h, --help     show this help and exit\n"
               "  -V, --version  show the version and exit\n"
               "\n"
               "vantorelle-decode(1) decodes on the command line without a window.\n");
}

struct Launch {
  std::vector<std::string> files;  // resolved as the system resolves them, in argument order
  enum { kRun, kHelp, kVersion, kUsageError } what = kRun;
  std::string bad_option;
};

// Reads the arguments left after Qt has taken its own (-platform and so on).
Launch ReadArguments(int argc, char** argv) {
  Launch launch;
  bool options_done = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (!options_done && arg.size() > 1 && arg[0] == '-') {
      if (arg == "--") {
        options_done = true;
      } else if (arg == "-h" || arg == "--help") {
        if (launch.what != Launch::kVersion) launch.what = Launch::kHelp;
      } else if (arg == "-V" || arg == "--version") {
        if (launch.what != Launch::kHelp) launch.what = Launch::kVersion;
      } else if (launch.what == Launch::kRun) {
        launch.what = Launch::kUsageError;
        launch.bad_option = arg;
      }
      continue;
    }
    // Resolved here, in the launch's folder: a running instance that takes
    // the files has another. The drop handler's intake does the rest.
    launch.files.push_back(vantorelle::app::ResolveInputPath(std::string(arg)));
  }
  return launch;
}

// Answers what needs no window; nullopt when the application is to run.
std::optional<int> AnswerWithoutWindow(const Launch& launch) {
  switch (launch.what) {
    case Launch::kHelp:
      PrintUsage(stdout);
      return 0;
    case Launch::kVersion:
      std::printf("vantorelle %s\n", vantorelle::kVersion);
      return 0;
    case Launch::kUsageError:
      std::fprintf(stderr, "vantorelle: unknown option '%s'\nTry 'vantorelle --help' for more information.\n",
                   launch.bad_option.c_str());
      return kExitUsage;
    case Launch::kRun:
      break;
  }
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  // A launcher may start us with a standard stream closed: the first file we
  // open must not become "standard error" and receive our messages.
  if (!vantorelle::app::OpenClosedStandardDescriptors()) return 2;
  // Help and version need no display: answer them before Qt looks for one.
  // Qt's own options (-platform and so on) are still in argv here.
  const Launch early = ReadArguments(argc, argv);
  if (early.what == Launch::kHelp || early.what == Launch::kVersion) return *AnswerWithoutWindow(early);

  QApplication qt(argc, argv);
  QApplication::setApplicationName(QStringLiteral("vantorelle"));
  QApplication::setApplicationDisplayName(QStringLiteral("Vantorelle"));
  QApplication::setApplicationVersion(QLatin1String(vantorelle::kVersion));
  QApplication::setDesktopFileName(QLatin1String(kAppId));
  QApplication::setWindowIcon(toolbox::ApplicationIcon());

  const Launch launch = ReadArguments(argc, argv);
  if (std::optional<int> status = AnswerWithoutWindow(launch)) return *status;

  // Asking for an instance and becoming it are one step under the lock.
  toolbox::LaunchLock lock;
  lock.Acquire();
  if (toolbox::LaunchedLately(launch.files)) return 0;
  switch (toolbox::HandOverToRunningInstance(launch.files)) {
    case toolbox::Handover::kTaken:
      return 0;
    case toolbox::Handover::kNoAnswer:
      std::fprintf(stderr, "vantorelle: the running Vantorelle did not answer; try again when it is idle\n");
      return 1;
    case toolbox::Handover::kNoInstance:
      break;
  }

  toolbox::QtToolbox tb;
  toolbox::QuitSignals quit_signals(tb);
  // A launch with files takes later launches too while it decodes.
  std::optional<toolbox::LaunchServer> later_launches(std::in_place, tb);
  lock.Release();

  toolbox::AppleEvent launch_event{toolbox::kCoreEventClass, toolbox::kAEOpenApplication, {}};
  if (!launch.files.empty()) {
    launch_event.event_id = toolbox::kAEOpenDocuments;
    for (const std::string& file : launch.files) launch_event.direct_object.push_back({file});
  }
  tb.PostAppleEvent(std::move(launch_event));
  const int status = app::RunApplication(tb);
  tb.SaveWindowGeometry();
  // No launch may hand over files once we stop listening; those handed over
  // until then are still decoded.
  lock.Acquire();
  later_launches.reset();
  app::FinishQueuedEvents(tb);
  return status;
}
