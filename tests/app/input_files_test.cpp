// input_files_test.cpp - which paths are taken as inputs, and how their folders are resolved.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "failing_file_system.hpp"
#include "input_files.hpp"
#include "test_support.hpp"

namespace vantorelle::app {
namespace {

namespace fs = std::filesystem;

// Runs the body with the working folder changed, and changes it back.
class InFolder {
 public:
  explicit InFolder(const fs::path& folder) : previous_(fs::current_path()) {
    fs::current_path(folder);
  }
  ~InFolder() { fs::current_path(previous_); }
  InFolder(const InFolder&) = delete;
  InFolder& operator=(const InFolder&) = delete;

 private:
  fs::path previous_;
};

TEST(InputFiles, FoldersAreResolvedAsTheKernelDoes) {
  test::TempDir dir;
  const std::string root = fs::canonical(dir.path()).string();
  fs::create_directories(dir.path() / "real" / "sub");
  fs::create_directory_symlink(dir.path() / "real" / "sub", dir.path() / "link");
  fs::create_directory_symlink(dir.path() / "real", dir.path() / "up");
  InFolder here(dir.path());
  struct Case {
    const char* given;
    std::string expected;
  };
  const Case cases[] = {
      {"a.txt", root + "/a.txt"},
      {"./a.txt", root + "/a.txt"},
      // ".." after a link leaves the link's target, not the link.
      {"link/../a.txt", root + "/real/a.txt"},
      {"link/../../a.txt", root + "/a.txt"},
      {"up/sub/./a.txt", root + "/real/sub/a.txt"},
      // The last component is kept even when it is a link.
      {"link", root + "/link"},
      {"real/", root + "/real"},
      {"..", fs::canonical(dir.path() / "..").string()},
      // A folder that does not exist is left as written, so opening says why.
      {"missing/../a.txt", root + "/a.txt"},
      {"missing/x/a.txt", root + "/missing/x/a.txt"},
  };
  for (const Case& c : cases) EXPECT_EQ(ResolveInputPath(c.given), c.expected) << c.given;
  EXPECT_EQ(InputFolder(ResolveInputPath("link/../a.txt")), root + "/real/");
  EXPECT_EQ(InputFolder("/a.txt"), "/");
}

TEST(InputFiles, OnlyReadableRegularFilesAreInputs) {
  test::TempDir dir;
  test::write_file(dir.file("plain.txt"), "Subject: x\n");
  test::write_file(dir.file("empty.txt"), "");
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
  fs::create_symlink(dir.file("plain.txt"), dir.file("link.txt"));
  fs::create_symlink(dir.file("fifo"), dir.file("link-to-fifo"));
  test::write_file(dir.file("secret.txt"), "x");
  test::FailingFileSystem system;
  system.Fail(test::FailingFileSystem::Call::kOpen, dir.file("secret.txt"), EACCES);  // even as root
  system.Fail(test::FailingFileSystem::Call::kStatus, dir.file("locked/a.txt"), EACCES);
  struct Case {
    std::string path;
    std::string problem;
  };
  const Case cases[] = {
      {dir.file("plain.txt"), ""},
      {dir.file("empty.txt"), ""},
      {dir.file("link.txt"), ""},
      {dir.file("fifo"), "not a regular file"},
      {dir.file("link-to-fifo"), "not a regular file"},
      {"/dev/zero", "not a regular file"},
      {"/dev/urandom", "not a regular file"},
      {"/dev/null", "not a regular file"},
      {dir.path().string(), "is a directory"},
      {dir.file("missing.txt"), "No such file or directory"},
      {dir.file("plain.txt/x"), "Not a directory"},
      {dir.file("secret.txt"), "Permission denied"},
      {dir.file("locked/a.txt"), "Permission denied"},
  };
  for (const Case& c : cases) EXPECT_EQ(InputFileProblem(c.path), c.problem) << c.path;
}

}  // namespace
}  // namespace vantorelle::app
