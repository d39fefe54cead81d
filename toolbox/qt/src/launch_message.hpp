// launch_message.hpp - the message a later launch sends to the running instance, and its reading.
#pragma once

#include <QByteArray>
#include <string>
#include <vector>

namespace vantorelle::toolbox {

// "vantorelle-open 1\n", the number of paths in decimal and "\n", then every
// path followed by a NUL byte (a path can hold any byte but NUL).
QByteArray EncodeLaunchMessage(const std::vector<std::string>& paths);

enum class LaunchMessageState { kIncomplete, kComplete, kInvalid };

// Reads the message at the start of `data`. kComplete fills `paths`;
// kIncomplete means more bytes are needed; kInvalid that they will not help.
LaunchMessageState DecodeLaunchMessage(const QByteArray& data, std::vector<std::string>& paths);

// The reply of the running instance once it has the paths.
inline constexpr char kLaunchReply[] = "ok\n";
// No later launch sends more than this; a bigger message is refused.
inline constexpr qsizetype kMaxLaunchMessage = 16 * 1024 * 1024;

}  // namespace vantorelle::toolbox
