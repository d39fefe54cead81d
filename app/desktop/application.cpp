// application.cpp - start-up, the Apple event handlers, the menu commands and the event loop.
#include "application.hpp"

#include <cstdio>
#include <string>

#include "document_intake.hpp"
#include "input_disposal.hpp"
#include "preferences.hpp"
#include "progress_window.hpp"
#include "vantorelle/toolbox/resources.hpp"

namespace vantorelle::app {

using namespace vantorelle::toolbox;

bool alive = false;

namespace {

void InstallHandlers(Toolbox& tb) {
  tb.AEInstallEventHandler(kCoreEventClass, kAEOpenApplication, AEOpen, 0);
  tb.AEInstallEventHandler(
      kCoreEventClass, kAEOpenDocuments,
      [&tb](const AppleEvent& event, AppleEvent& reply, long refcon) { return AEOpenDoc(tb, event, reply, refcon); },
      0);
  tb.AEInstallEventHandler(kCoreEventClass, kAEQuitApplication, AEQuit, 0);
  tb.AEInstallEventHandler(kCoreEventClass, kAEPrintDocuments, AEPrint, 0);
  tb.AEInstallEventHandler(
      kCoreEventClass, kAEShowPreferences,
      [&tb](const AppleEvent& event, AppleEvent& reply, long refcon) {
        return AEPreferences(tb, event, reply, refcon);
      },
      0);
}

// The Trash's files folder as the toolbox finds it (made when missing), or the
// "./" fallback. Its info folder is made at the first move into it.
std::string TrashFolder(Toolbox& tb) {
  FSRef folder;
  if (tb.FSFindFolder(kOnSystemDisk, kTrashFolderType, kCreateFolder, folder) != noErr) return "./";
  return folder.path;
}

void BuildMenuBar(Toolbox& tb) {
  for (ResID id : {kApplicationMenuID, kFileMenuID, kEditMenuID, kOptionsMenuID}) tb.InsertMenu(tb.GetMenu(id), 0);
  tb.DrawMenuBar();
  tb.EnableMenuCommand(MenuRef{}, kHICommandPreferences);
}

// The launch's first events: an Apple event among them is handled, the rest dropped.
void StartupBurst(Toolbox& tb) {
  for (int i = 0; i < kStartupBurstEvents; ++i) {
    EventRecord event;
    tb.GetNextEvent(everyEvent, event);
    if (event.what == kHighLevelEvent) tb.AEProcessAppleEvent(event);
  }
}

void HandleEvent(Toolbox& tb, const EventRecord& event) {
  switch (event.what) {
    case mouseDown:
      if (tb.FindWindow(event.where) == inMenuBar) {
        DoCommand(tb, tb.MenuSelect(event.where));
        tb.HiliteMenu(0);
      }
      break;
    case keyDown:
    case autoKey:
      if (event.modifiers & cmdKey) {
        DoCommand(tb, tb.MenuKey(static_cast<char>(event.message & charCodeMask)));
        tb.HiliteMenu(0);
      }
      break;
    case kHighLevelEvent:
      tb.AEProcessAppleEvent(event);
      break;
    default:
      break;
  }
}

void EventLoop(Toolbox& tb) {
  while (alive) {
    EventRecord event;
    const bool got = tb.WaitNextEvent(everyEvent, event, kLoopSleepTicks);
    if (tb.IsDialogEvent(event)) {
      DialogRef dialog;
      DialogItemIndex item = 0;
      tb.DialogSelect(event, dialog, item);
    }
    if (got) HandleEvent(tb, event);
  }
}

}  // namespace

OSErr AEOpen(const AppleEvent& /*event*/, AppleEvent& /*reply*/, long /*refcon*/) {
  alive = true;
  return errAEEventNotHandled;
}

OSErr AEQuit(const AppleEvent& /*event*/, AppleEvent& /*reply*/, long /*refcon*/) {
  alive = false;
  return noErr;
}

OSErr AEPrint(const AppleEvent& /*event*/, AppleEvent& /*reply*/, long /*refcon*/) { return errAEEventNotHandled; }

OSErr AEPreferences(Toolbox& tb, const AppleEvent& /*event*/, AppleEvent& /*reply*/, long /*refcon*/) {
  DisplayPrefs(tb);
  return noErr;
}

MenuRef XMenuGetRef(Toolbox& tb, ResID menu_id) { return tb.GetMenuHandle(menu_id); }

void XMenuCheckOneItem(Toolbox& tb, MenuRef menu, DialogItemIndex item, bool on) {
  tb.SetItemMark(menu, item, on ? kCheckMark : kNoMark);
}

void DoCommand(Toolbox& tb, std::int32_t choice) {
  const ResID menu = MenuChoiceMenu(choice);
  const DialogItemIndex item = MenuChoiceItem(choice);
  if (menu == kApplicationMenuID && item == kAboutItem) {
    DisplayAbout(tb);
  } else if (menu == kFileMenuID && item == kOpenItem) {
    OpenDoc(tb);
  } else if (menu == kEditMenuID && item == kPreferencesItem) {
    DisplayPrefs(tb);
  } else if (menu == kOptionsMenuID) {
    ToggleFolderOption(tb, item);
  }
}

int RunApplication(Toolbox& tb) {
  InstallHandlers(tb);
  trashpath = TrashFolder(tb);
  bool understood = true;
  GetPrefs(tb, kPrefsFileName, kPrefsSize, prefs, &understood);
  const Prefs as_read = prefs;
  if (!understood) {
    // No progress window yet to list it in: standard error carries it too.
    std::fprintf(stderr, "vantorelle: %s\n", kPrefsNotUnderstoodText);
    MsgCallBack(tb, kLevelWarning, kPrefsNotUnderstoodText);
  }
  BuildMenuBar(tb);
  RecallFolderOptions(tb);
  StartupBurst(tb);
  EventLoop(tb);
  // A file not understood stays for the user to look at, unless replaced by choice.
  if (understood || prefs != as_read) PutPrefs(tb, kPrefsFileName, kPrefsSize, prefs);
  return 0;
}

void FinishQueuedEvents(Toolbox& tb) {
  EventRecord event;
  while (tb.GetNextEvent(highLevelEventMask, event)) tb.AEProcessAppleEvent(event);
}

}  // namespace vantorelle::app
