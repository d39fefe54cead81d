// document_intake.hpp - files dropped on the application or chosen with Open become one decode run.
//
// A drop and the open-file command set the run flags (all four every time)
// from the Options menu and the modifier keys held at that moment. Both open
// the progress window, take the files through the
// intake (which sets path_ to the folder of the first file that can be read
// and sorts them byte-wise), run, name the files left out, and close the
// window with the summary alert when messages were listed.
#pragma once

#include <string>

#include "intake.hpp"
#include "vantorelle/toolbox/apple_events.hpp"
#include "vantorelle/toolbox/toolbox.hpp"

namespace vantorelle::app {

// On: every drop asks for an output directory, as if the option key were held.
// Flipped by the Options menu and kept between launches (folder_options.hpp).
extern bool optionKey_menu_;

// Entry 0 of every run's argument vector.
inline constexpr char kProgramName[] = "Vantorelle";
// Paths are fetched within 256 bytes: 255 characters and the terminating NUL.
inline constexpr std::size_t kMaxPathSize = 256;

// The open-documents handler: one run over the event's files. Returns noErr
// whatever happens. A file whose path does not fit kMaxPathSize is not
// decoded, nor is a file the intake refuses; a message names each after the run.
toolbox::OSErr AEOpenDoc(toolbox::Toolbox& tb, const toolbox::AppleEvent& event, toolbox::AppleEvent& reply,
                         long refcon);

// The open-file command: asks for article files (any file can be chosen) and
// runs over all of them, as a drop would; a folder chosen gives its files. 1
// when a run was made, 0 when the chooser was cancelled or failed.
int OpenDoc(toolbox::Toolbox& tb);

}  // namespace vantorelle::app
