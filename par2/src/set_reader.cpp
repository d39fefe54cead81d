// set_reader.cpp - a recovery set read from one .par2 file and the other volumes beside it.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sys/stat.h>

#include "folder.hpp"
#include "packet_reader.hpp"

namespace vantorelle::par2 {
namespace {

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool ends_with_par2(std::string_view name) {
  return name.size() > 5 && lower(name.substr(name.size() - 5)) == ".par2";
}

// "name.vol07+08.par2" and "name.par2" both give "name".
std::string base_name(std::string_view name) {
  std::string base(name.substr(0, name.size() - 5));
  const std::string l = lower(base);
  const auto vol = l.rfind(".vol");
  if (vol != std::string::npos && vol + 4 < l.size() &&
      std::all_of(l.begin() + static_cast<std::ptrdiff_t>(vol) + 4, l.end(),
                  [](char c) { return std::isdigit(static_cast<unsigned char>(c)) || c == '+' || c == '-'; }))
    base.resize(vol);
  return base;
}

bool read_volume(const Folder& folder, const std::string& name, PacketCollector* collector,
                 std::string* error) {
  const auto fd = folder.open_regular(name, error);
  if (!fd) return false;
  struct stat st{};
  if (::fstat(fd->get(), &st) != 0) {
    *error = "cannot be read";
    return false;
  }
  if (!collector->read_volume(FileSource(fd->get(), static_cast<std::uint64_t>(st.st_size)), name)) {
    *error = "read error";
    return false;
  }
  return true;
}

}  // namespace

ReadResult read_set(const std::string& par2_path, const Limits& limits) {
  ReadResult result;
  const std::filesystem::path path(par2_path);
  const std::string folder_path = path.has_parent_path() ? path.parent_path().string() : ".";
  const std::string first = path.filename().string();
  std::string error;
  const auto folder = Folder::open(folder_path, &error);
  if (!folder) {
    result.error = error;
    return result;
  }
  PacketCollector collector(limits);
  if (!read_volume(*folder, first, &collector, &error)) {
    result.error = par2_path + ": " + error;
    return result;
  }
  std::vector<std::string> others;
  if (ends_with_par2(first)) {
    const std::string base = lower(base_name(first));
    for (const std::string& name : folder->regular_files())
      if (name != first && ends_with_par2(name) && lower(name).rfind(base + ".", 0) == 0)
        others.push_back(name);
  }
  std::sort(others.begin(), others.end());
  if (others.size() + 1 > limits.max_volumes) others.resize(limits.max_volumes - 1);
  for (const std::string& name : others)
    if (!read_volume(*folder, name, &collector, &error)) result.set.notes.push_back(name + ": " + error);

  if (!collector.finish(&result.set, &error)) {
    result.error = par2_path + ": " + error;
    return result;
  }
  result.set.folder = folder_path;
  result.ok = true;
  return result;
}

}  // namespace vantorelle::par2
