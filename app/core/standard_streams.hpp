// standard_streams.hpp - standard input, output and error made safe to use at start-up.
#pragma once

namespace vantorelle::app {

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed, so that
// no file the program opens later takes the number of a standard stream and
// receives its messages. False when /dev/null cannot be opened.
bool OpenClosedStandardDescriptors();

}  // namespace vantorelle::app
