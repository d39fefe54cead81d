// document_intake.hpp - files dropped on the application or chosen with Open become one decode run.
//
// A drop reads the modifier keys held at that moment into the run flags (all
// four at every drop); the open-file command leaves the flags as the latest
// drop set them. Both set path_ to the folder of the first file, open the
// progress window, run, and close it with the summary alert when messages
// were listed.
#pragma once

#include <string>

#include "vantorelle/toolbox/apple_events.hpp"
#include "vantorelle/toolbox/toolbox.hpp"

namespace vantorelle::app {

// On: every drop asks for an output directory, as if the option key were held.
// Flipped by the Options menu; not kept between launches.
extern bool optionKey_menu_;

// Entry 0 of every run's argument vector.
inline constexpr char kProgramName[] = "Vantorelle";
// Paths are fetched within 256 bytes: 255 characters and the terminating NUL.
inline constexpr std::size_t kMaxPathSize = 256;

// The open-documents handler: one run over the event's files. Returns noErr
// whatever happens. A file whose path does not fit kMaxPathSize is not
// decoded; a message names it after the run.
toolbox::OSErr AEOpenDoc(toolbox::Toolbox& tb, const toolbox::AppleEvent& event, toolbox::AppleEvent& reply,
                         long refcon);

// The open-file command: asks for a text file and runs over the first file
// chosen. 1 when a run was made, 0 when the chooser was cancelled or failed.
int OpenDoc(toolbox::Toolbox& tb);

// The order of a run's inputs: byte-wise by the full path, as strcmp orders
// (negative, zero or positive).
int compare(const std::string& a, const std::string& b);

}  // namespace vantorelle::app
