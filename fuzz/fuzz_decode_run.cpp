// fuzz_decode_run.cpp - fuzz target: a whole decode run over the input files, into a fresh folder.
//
// The run flags for subject and name-prefix folders come from the end of the
// input. Each input is cut into up to four article files in an empty run folder that
// also holds links out of it (to a file, to a name that does not exist yet,
// and a hard link to an empty file outside). Whatever the articles say, the run must write only inside the run
// folder, through no link, leave the inputs and everything outside as they
// were, and hand over only inputs it was given.
#include <fuzzer/FuzzedDataProvider.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "decode_run.hpp"
#include "fuzz_support.hpp"
#include "output_placement.hpp"
#include "run_state.hpp"
#include "temp_dir.hpp"

namespace vantorelle::fuzz {
namespace {

namespace fs = std::filesystem;

const std::string kOutsideText = "outside";

// One folder for the whole fuzzing process, removed when it ends.
const fs::path& scratch_root() {
  static const test::TempDir root;
  return root.path();
}

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void spill(const fs::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  check(static_cast<bool>(out), "writing an input file");
}

bool inside(const std::string& path, const std::string& folder) {
  return path.compare(0, folder.size(), folder) == 0 &&
         path.find("/../", folder.size() - 1) == std::string::npos;
}

// Everything below the root other than the run folder must be as it was made.
void check_nothing_outside(const fs::path& root, const fs::path& run, const fs::path& outside) {
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const fs::path& p = entry.path();
    if (p == run || p == outside || p == outside / "keep.bin" || p == outside / "empty.bin") {
      continue;
    }
    check(inside(p.string(), run.string() + "/"), "something was written outside: " + p.string());
  }
  check(slurp(outside / "keep.bin") == kOutsideText, "a file outside was changed");
  check(slurp(outside / "empty.bin").empty(), "a file outside was written through a hard link");
  check(fs::is_symlink(fs::symlink_status(run / "Untitled.Txt")), "a link was replaced");
  check(fs::read_symlink(run / "Untitled.Txt") == outside / "keep.bin", "a link was redirected");
}

}  // namespace
}  // namespace vantorelle::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vantorelle;
  namespace fs = std::filesystem;
  FuzzedDataProvider params(data, size);
  const bool subject_dirs = params.ConsumeBool();
  const bool prefix_dirs = params.ConsumeBool();
  const auto compare_length = params.ConsumeIntegralInRange<std::int16_t>(-2, 40);
  const std::string remaining = params.ConsumeRemainingBytesAsString();
  const std::string_view text(remaining);

  const fs::path root = fuzz::scratch_root();
  const fs::path run = root / "run";
  const fs::path outside = root / "outside";
  fs::remove_all(run);
  fs::remove_all(outside);
  fs::create_directory(run);
  fs::create_directory(outside);
  fuzz::spill(outside / "keep.bin", fuzz::kOutsideText);
  fs::create_symlink(outside / "keep.bin", run / "Untitled.Txt");
  fs::create_symlink(outside / "f.bin", run / "f.bin");
  fuzz::spill(outside / "empty.bin", "");
  fs::create_hard_link(outside / "empty.bin", run / "g.bin");

  std::vector<std::string> argv{"Vantorelle"};
  std::vector<std::string> contents;
  for (std::string_view piece : fuzz::split_files(text, 4)) {
    argv.push_back((run / ("in-" + std::to_string(argv.size()) + ".txt")).string());
    contents.emplace_back(piece);
    fuzz::spill(argv.back(), piece);
  }

  app::RunState& state = app::run_state();
  state = app::RunState{};
  state.path_ = run.string() + "/";
  state.shiftKey_ = subject_dirs;
  state.cmdKey_ = prefix_dirs;
  const std::string folder = state.path_;

  app::RunHooks hooks;
  hooks.message = [](int level, std::string_view message) {
    fuzz::check(message.size() <= kMaxMessageLength, "message longer than 511 bytes");
    fuzz::check(level >= kLevelError && level <= kLevelNote, "message level");
    return 1;
  };
  hooks.directory = [compare_length](const std::string& dest_name, std::string& subject) {
    app::run_state().dir_cmp_len_ = compare_length;
    return app::DirectoryCallback(dest_name, subject);
  };
  hooks.file_name_filter = [](std::string& name) { return app::FNameFilter(name); };
  hooks.post_process = [&folder](const std::string& path) {
    fuzz::check(fuzz::inside(path, folder), "output path outside the run folder: " + path);
    struct stat st;
    fuzz::check(::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode),
                "output is not a regular file: " + path);
    return 0;
  };
  hooks.input_remove = [&argv](const std::string& path) {
    fuzz::check(std::find(argv.begin() + 1, argv.end(), path) != argv.end(),
                "handed over a file that is no input: " + path);
    return 0;
  };
  app::xmain(argv, hooks);
  uuSetMsgCallback({});
  uuSetFNameFilter({});
  uuSetPostProcessOutputCallback({});
  uuSetInputRemoveCallback({});
  uuSetDirectoryCallback({});

  for (std::size_t i = 1; i < argv.size(); ++i) {
    fuzz::check(fuzz::slurp(argv[i]) == contents[i - 1], "an input file was changed");
  }
  fuzz::check_nothing_outside(root, run, outside);
  return 0;
}
