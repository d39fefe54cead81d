// temp_dir.hpp - a fresh temporary folder for a test, removed with its contents afterwards.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>

namespace vantorelle::test {

// A new folder below $VANTORELLE_TEST_TMP (which CTest sets per suite), else
// below the system's temporary folder; removed with everything in it when the
// object goes.
class TempDir {
 public:
  TempDir() {
    const char* base = std::getenv("VANTORELLE_TEST_TMP");
    const std::filesystem::path root = base ? base : std::filesystem::temp_directory_path();
    std::filesystem::create_directories(root);
    std::random_device random;
    do {
      path_ = root / ("t" + std::to_string(random()));
    } while (!std::filesystem::create_directory(path_));
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }
  std::string file(std::string_view name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace vantorelle::test
