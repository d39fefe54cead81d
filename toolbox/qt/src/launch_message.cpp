// launch_message.cpp - writing and reading the handover message between two launches.
#include "launch_message.hpp"

#include <algorithm>
#include <charconv>
#include <utility>

namespace vantorelle::toolbox {
namespace {

constexpr char kMagic[] = "vantorelle-open 1\n";
constexpr qsizetype kMagicSize = sizeof kMagic - 1;
constexpr std::size_t kMaxCountDigits = 9;

}  // namespace

QByteArray EncodeLaunchMessage(const std::vector<std::string>& paths) {
  QByteArray message(kMagic, kMagicSize);
  message += QByteArray::number(static_cast<qulonglong>(paths.size()));
  message += '\n';
  for (const std::string& path : paths) {
    message.append(path.data(), static_cast<qsizetype>(path.size()));
    message += '\0';
  }
  return message;
}

LaunchMessageState DecodeLaunchMessage(const QByteArray& data, std::vector<std::string>& paths) {
  paths.clear();
  const qsizetype magic = std::min(data.size(), kMagicSize);
  if (data.left(magic) != QByteArray(kMagic, magic)) return LaunchMessageState::kInvalid;
  if (data.size() < kMagicSize) return LaunchMessageState::kIncomplete;

  const qsizetype newline = data.indexOf('\n', kMagicSize);
  if (newline < 0) {
    return data.size() - kMagicSize > static_cast<qsizetype>(kMaxCountDigits) ? LaunchMessageState::kInvalid
                                                                             : LaunchMessageState::kIncomplete;
  }
  const char* first = data.constData() + kMagicSize;
  const char* last = data.constData() + newline;
  std::size_t count = 0;
  const auto [end, error] = std::from_chars(first, last, count);
  if (first == last || error != std::errc{} || end != last || static_cast<std::size_t>(last - first) > kMaxCountDigits)
    return LaunchMessageState::kInvalid;

  std::vector<std::string> found;
  qsizetype at = newline + 1;
  while (found.size() < count) {
    const qsizetype nul = data.indexOf('\0', at);
    if (nul < 0) return LaunchMessageState::kIncomplete;
    if (nul == at) return LaunchMessageState::kInvalid;  // an empty path names no file
    found.emplace_back(data.constData() + at, static_cast<std::size_t>(nul - at));
    at = nul + 1;
  }
  if (at != data.size()) return LaunchMessageState::kInvalid;
  paths = std::move(found);
  return LaunchMessageState::kComplete;
}

}  // namespace vantorelle::toolbox
