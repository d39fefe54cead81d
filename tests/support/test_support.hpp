// test_support.hpp - temporary folders, file helpers, catalogue text and a recorder of engine hooks.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "catalogue_text.hpp"
#include "hooks.hpp"
#include "temp_dir.hpp"
#include "vantorelle/engine.hpp"

namespace vantorelle::test {

// n seeded pseudo-random bytes: the same seed gives the same bytes.
inline std::string random_bytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string d(n, '\0');
  for (auto& c : d) c = static_cast<char>(rng() & 0xFF);
  return d;
}

inline void write_file(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Joins lines with the given line break after each.
inline std::string lines(const std::vector<std::string>& text, std::string_view eol = "\n") {
  std::string out;
  for (const auto& l : text) {
    out += l;
    out += eol;
  }
  return out;
}

struct Message {
  int level;
  std::string text;
  bool operator==(const Message&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Message& m) {
  return os << "{" << m.level << ", \"" << m.text << "\"}";
}

struct BusyCall {
  int type;
  int state;
  std::string text;
  int percent;
  bool operator==(const BusyCall&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const BusyCall& b) {
  return os << "{" << b.type << ", " << b.state << ", \"" << b.text << "\", " << b.percent << "}";
}

// Registers recording hooks for the length of a test and empties every slot
// afterwards, so tests do not see each other's hooks.
class HookRecorder {
 public:
  HookRecorder() {
    dispatch::ResetStateForTesting();
    uuSetMsgCallback([this](int level, std::string_view text) {
      messages.push_back({level, std::string(text)});
      return 1;
    });
    uuSetBusyCallback(
        [this](int type, int state, std::string_view text, int percent) {
          busy.push_back({type, state, std::string(text), percent});
          return 0;
        },
        10);
    uuSetInputRemoveCallback([this](const std::string& path) {
      removed.push_back(path);
      return 0;
    });
    uuSetPostProcessOutputCallback([this](const std::string& path) {
      post_processed.push_back(path);
      return 0;
    });
  }
  ~HookRecorder() {
    uuSetMsgCallback({});
    uuSetBusyCallback({}, 10);
    uuSetDirectoryCallback({});
    uuSetFNameFilter({});
    uuSetInputRemoveCallback({});
    uuSetPostProcessOutputCallback({});
    dispatch::SetClockForTesting({});
    dispatch::ResetStateForTesting();
  }
  HookRecorder(const HookRecorder&) = delete;
  HookRecorder& operator=(const HookRecorder&) = delete;

  std::vector<Message> messages;
  std::vector<BusyCall> busy;
  std::vector<std::string> removed;
  std::vector<std::string> post_processed;
};

}  // namespace vantorelle::test
