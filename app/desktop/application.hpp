// application.hpp - start-up, the Apple event handlers, menus and the event loop of the desktop application.
//
// Launched on its own the application receives the open-application event and
// stays in its event loop until it is told to quit; launched with files it
// receives only the open-documents event, decodes them during start-up and
// ends. The preference record is read at start-up and written when the loop
// ends.
#pragma once

#include <cstdint>

#include "folder_options.hpp"
#include "vantorelle/toolbox/apple_events.hpp"
#include "vantorelle/toolbox/toolbox.hpp"

namespace vantorelle::app {

// The event loop runs while this is set: by the open-application event, and
// cleared by the quit event.
extern bool alive;

// Events taken at start-up, before the loop, to let the launch's event in.
inline constexpr int kStartupBurstEvents = 10;
// How long the loop sleeps when nothing happens, in ticks (1/60 s).
inline constexpr std::uint32_t kLoopSleepTicks = 5;

// The five handlers: each gets the event, a reply and its reference constant.
toolbox::OSErr AEOpen(const toolbox::AppleEvent& event, toolbox::AppleEvent& reply, long refcon);
toolbox::OSErr AEQuit(const toolbox::AppleEvent& event, toolbox::AppleEvent& reply, long refcon);
toolbox::OSErr AEPrint(const toolbox::AppleEvent& event, toolbox::AppleEvent& reply, long refcon);
toolbox::OSErr AEPreferences(toolbox::Toolbox& tb, const toolbox::AppleEvent& event, toolbox::AppleEvent& reply,
                             long refcon);

// The menu items that DoCommand carries out, by their menu's number.
inline constexpr toolbox::DialogItemIndex kAboutItem = 1;        // application menu (128)
inline constexpr toolbox::DialogItemIndex kOpenItem = 1;         // File menu (129)
inline constexpr toolbox::DialogItemIndex kPreferencesItem = 9;  // Edit menu (130)

// Carries out a menu choice (menu ID << 16 | item): About (128/1), Open
// (129/1), Preferences (130/9) and the folder options (131/1 to 131/4, see
// folder_options.hpp). Every other choice does nothing.
void DoCommand(toolbox::Toolbox& tb, std::int32_t choice);

toolbox::MenuRef XMenuGetRef(toolbox::Toolbox& tb, toolbox::ResID menu_id);
void XMenuCheckOneItem(toolbox::Toolbox& tb, toolbox::MenuRef menu, toolbox::DialogItemIndex item, bool on);

// The application from start to end, on whichever toolbox it is given. The
// launch's Apple event must be queued already. Returns 0.
int RunApplication(toolbox::Toolbox& tb);

// Handles the Apple events still queued once RunApplication has returned:
// files another launch handed over while this one was ending are decoded,
// each event one run, rather than lost. Call it once no more can come.
void FinishQueuedEvents(toolbox::Toolbox& tb);

}  // namespace vantorelle::app
