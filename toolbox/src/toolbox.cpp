// toolbox.cpp - what both backends share: the event queue, Apple events, menu state.
#include "vantorelle/toolbox/toolbox.hpp"

#include <algorithm>
#include <cctype>
#include <utility>

#include "vantorelle/common/utf8_cut.hpp"

namespace vantorelle::toolbox {
namespace {

bool InMask(std::uint16_t what, EventMask mask) {
  if (what == kHighLevelEvent) return (mask & highLevelEventMask) != 0;
  return what < 16 && (mask & (1u << what)) != 0;
}

}  // namespace

std::string LimitItemText(std::string_view text) { return std::string(common::CutToLimit(text, kMaxItemText)); }

// ---- Events -----------------------------------------------------------------

bool Toolbox::GetNextEvent(EventMask mask, EventRecord& event) {
  PumpEvents(0);
  return Take(mask, event, true);
}

bool Toolbox::WaitNextEvent(EventMask mask, EventRecord& event, std::uint32_t sleep_ticks) {
  PumpEvents(0);
  if (Take(mask, event, true)) return true;
  PumpEvents(sleep_ticks);
  return Take(mask, event, true);
}

bool Toolbox::EventAvail(EventMask mask, EventRecord& event) {
  PumpEvents(0);
  const bool found = Take(mask, event, false);
  // Callers look here for the keys held now, not at the time of a queued event.
  event.modifiers = LiveModifiers();
  return found;
}

bool Toolbox::Take(EventMask mask, EventRecord& event, bool remove) {
  auto it = std::find_if(queue_.begin(), queue_.end(),
                         [mask](const QueuedEvent& q) { return InMask(q.record.what, mask); });
  if (it == queue_.end()) {
    event = EventRecord{};
    event.modifiers = LiveModifiers();
    return false;
  }
  event = it->record;
  if (remove) {
    if (it->record.what == mouseDown) pending_choice_ = it->menu_choice;
    queue_.erase(it);
  }
  return true;
}

void Toolbox::PostEvent(const EventRecord& event) { queue_.push_back({event, 0}); }

void Toolbox::PostMenuChoice(std::int32_t choice) {
  EventRecord record;
  record.what = mouseDown;
  record.where = kMenuBarClickPoint;
  record.modifiers = LiveModifiers();
  queue_.push_back({record, choice});
}

void Toolbox::PostAppleEvent(AppleEvent event) {
  const EventRecord record = AppleEventDispatcher::RecordFor(event, LiveModifiers());
  apple_events_.Enqueue(std::move(event));
  queue_.push_back({record, 0});
}

// ---- Apple events -----------------------------------------------------------

OSErr Toolbox::AEInstallEventHandler(AEEventClass event_class, AEEventID event_id, AEEventHandler handler,
                                     long refcon) {
  return apple_events_.Install(event_class, event_id, std::move(handler), refcon);
}

OSErr Toolbox::AEProcessAppleEvent(const EventRecord& event) { return apple_events_.Dispatch(event); }

// ---- Menus --------------------------------------------------------------------

MenuRef Toolbox::GetMenu(ResID id) { return FindMenuTemplate(id) ? MenuRef{id} : MenuRef{}; }

void Toolbox::InsertMenu(MenuRef menu, ResID before_id) {
  if (!menu || std::find(menu_bar_.begin(), menu_bar_.end(), menu.id) != menu_bar_.end()) return;
  auto before = std::find(menu_bar_.begin(), menu_bar_.end(), before_id);
  menu_bar_.insert(before_id == 0 ? menu_bar_.end() : before, menu.id);
  PresentMenuInserted(menu.id);
}

void Toolbox::DrawMenuBar() { PresentMenuBar(); }

MenuRef Toolbox::GetMenuHandle(ResID id) const {
  return std::find(menu_bar_.begin(), menu_bar_.end(), id) != menu_bar_.end() ? MenuRef{id} : MenuRef{};
}

void Toolbox::EnableMenuCommand(MenuRef /*menu*/, MenuCommand command) {
  if (std::find(enabled_commands_.begin(), enabled_commands_.end(), command) == enabled_commands_.end())
    enabled_commands_.push_back(command);
  PresentMenuCommandEnabled(command);
}

WindowPartCode Toolbox::FindWindow(Point where) const {
  return where.v >= 0 && where.v < kMenuBarHeight ? inMenuBar : inDesk;
}

std::int32_t Toolbox::MenuSelect(Point /*where*/) {
  return FinishChoice(std::exchange(pending_choice_, 0));
}

std::int32_t Toolbox::MenuKey(char character) {
  const char key = static_cast<char>(std::toupper(static_cast<unsigned char>(character)));
  if (key == 0) return 0;
  for (ResID id : menu_bar_) {
    for (const MenuItemTemplate& item : FindMenuTemplate(id)->items) {
      if (item.key == key && MenuItemEnabled(id, item.number)) return FinishChoice(MenuChoice(id, item.number));
    }
  }
  return 0;
}

std::int32_t Toolbox::FinishChoice(std::int32_t choice) {
  if (choice == 0) return 0;
  const MenuTemplate* menu = FindMenuTemplate(MenuChoiceMenu(choice));
  const MenuItemTemplate* item = menu ? FindMenuItemTemplate(*menu, MenuChoiceItem(choice)) : nullptr;
  if (item && item->command != 0) {
    PostAppleEvent({kCoreEventClass, item->command, {}});
    return 0;
  }
  return choice;
}

void Toolbox::HiliteMenu(ResID id) { PresentHilite(id); }

void Toolbox::SetItemMark(MenuRef menu, DialogItemIndex item, char mark) {
  if (!menu) return;
  auto it = std::find_if(marks_.begin(), marks_.end(),
                         [&](const Mark& m) { return m.menu == menu.id && m.item == item; });
  if (it != marks_.end()) {
    it->mark = mark;
  } else {
    marks_.push_back({menu.id, item, mark});
  }
  PresentItemMark(menu.id, item, mark);
}

char Toolbox::GetItemMark(MenuRef menu, DialogItemIndex item) const {
  auto it = std::find_if(marks_.begin(), marks_.end(),
                         [&](const Mark& m) { return m.menu == menu.id && m.item == item; });
  return it == marks_.end() ? kNoMark : it->mark;
}

bool Toolbox::MenuItemEnabled(ResID menu, DialogItemIndex item) const {
  const MenuTemplate* layout = FindMenuTemplate(menu);
  const MenuItemTemplate* entry = layout ? FindMenuItemTemplate(*layout, item) : nullptr;
  if (!entry || entry->separator || !entry->enabled) return false;
  if (entry->command == kHICommandPreferences)
    return std::find(enabled_commands_.begin(), enabled_commands_.end(), entry->command) != enabled_commands_.end();
  return true;
}

bool Toolbox::QuitRequestQueued() const {
  auto sends_quit = [](std::int32_t choice) {
    const MenuTemplate* menu = FindMenuTemplate(MenuChoiceMenu(choice));
    const MenuItemTemplate* item = menu ? FindMenuItemTemplate(*menu, MenuChoiceItem(choice)) : nullptr;
    return item && item->command == kHICommandQuit;
  };
  auto key_sends_quit = [this, &sends_quit](char character) {
    const char key = static_cast<char>(std::toupper(static_cast<unsigned char>(character)));
    for (ResID id : menu_bar_) {
      for (const MenuItemTemplate& item : FindMenuTemplate(id)->items) {
        if (key != 0 && item.key == key && MenuItemEnabled(id, item.number)) return sends_quit(MenuChoice(id, item.number));
      }
    }
    return false;
  };
  return std::any_of(queue_.begin(), queue_.end(), [&](const QueuedEvent& q) {
    const EventRecord& r = q.record;
    if (r.what == kHighLevelEvent) {
      const auto id = static_cast<AEEventID>((static_cast<std::uint32_t>(static_cast<std::uint16_t>(r.where.v)) << 16) |
                                             static_cast<std::uint16_t>(r.where.h));
      return r.message == kCoreEventClass && id == kAEQuitApplication;
    }
    if (r.what == mouseDown) return sends_quit(q.menu_choice);
    if (r.what == keyDown && (r.modifiers & cmdKey) != 0) return key_sends_quit(static_cast<char>(r.message & charCodeMask));
    return false;
  });
}

OSErr Toolbox::NavGetDefaultDialogOptions(NavDialogOptions& options) {
  options = NavDialogOptions{};
  return noErr;
}

}  // namespace vantorelle::toolbox
