// scripted_toolbox.cpp - the scripted backend: script, events, menus, windows, chooser, folders.
#include "vantorelle/toolbox/scripted_toolbox.hpp"

#include <algorithm>

#include "vantorelle/toolbox/folders.hpp"

namespace vantorelle::toolbox {

// ---- The script -------------------------------------------------------------------

void ScriptedToolbox::AnswerDialog(ResID id, std::vector<Step> steps) {
  if (!FindDialogTemplate(id)) throw ScriptError("script answers dialog " + std::to_string(id) + ", which does not exist");
  answers_.push_back({id, std::deque<Step>(steps.begin(), steps.end())});
}

void ScriptedToolbox::AnswerFileChooser(NavReplyRecord reply) { chooser_replies_.push_back(std::move(reply)); }

void ScriptedToolbox::PostCommandKey(char character, EventModifiers extra) {
  EventRecord record;
  record.what = keyDown;
  record.message = static_cast<unsigned char>(character);
  record.modifiers = static_cast<EventModifiers>(cmdKey | extra);
  PostEvent(record);
}

void ScriptedToolbox::SetMimeMapping(std::string extension, std::string mime_type) {
  mime_map_.emplace_back(std::move(extension), std::move(mime_type));
}

const ScriptedToolbox::DialogRecord& ScriptedToolbox::last_dialog(ResID id) const {
  auto it = std::find_if(dialogs_.rbegin(), dialogs_.rend(), [id](const DialogRecord& d) { return d.id == id; });
  if (it == dialogs_.rend()) throw ScriptError("dialog " + std::to_string(id) + " was never created");
  return *it;
}

int ScriptedToolbox::open_dialogs() const { return static_cast<int>(live_.size()); }

std::string ScriptedToolbox::UnusedAnswers() const {
  std::string unused;
  for (const Answer& a : answers_) unused += "answer for dialog " + std::to_string(a.id) + "; ";
  for (const auto& [serial, live] : live_) {
    if (!live.steps.empty())
      unused += std::to_string(live.steps.size()) + " step(s) of dialog " + std::to_string(live.layout->id) + "; ";
  }
  if (!chooser_replies_.empty()) unused += std::to_string(chooser_replies_.size()) + " chooser reply(ies); ";
  return unused;
}

// ---- Events and menus -----------------------------------------------------------

void ScriptedToolbox::PumpEvents(std::uint32_t sleep_ticks) {
  if (!QueueEmpty()) {
    starved_ = 0;
    return;
  }
  if (sleep_ticks > 0 && ++starved_ > starvation_limit_)
    throw ScriptError("the event loop waits on an empty queue: the script queued no event to end it");
}

void ScriptedToolbox::PresentMenuInserted(ResID id) { Log("InsertMenu " + std::to_string(id)); }

void ScriptedToolbox::PresentMenuBar() {
  menu_bar_drawn_ = true;
  Log("DrawMenuBar");
}

void ScriptedToolbox::PresentItemMark(ResID menu, DialogItemIndex item, char mark) {
  Log("SetItemMark " + std::to_string(menu) + "/" + std::to_string(item) + " " + std::to_string(int{mark}));
}

void ScriptedToolbox::PresentMenuCommandEnabled(MenuCommand command) {
  const char code[] = {static_cast<char>(command >> 24), static_cast<char>(command >> 16),
                       static_cast<char>(command >> 8), static_cast<char>(command), 0};
  Log(std::string("EnableMenuCommand ") + code);
}

void ScriptedToolbox::PresentHilite(ResID id) { Log("HiliteMenu " + std::to_string(id)); }

// ---- Windows --------------------------------------------------------------------------

void ScriptedToolbox::InitCursor() {
  ++cursor_resets_;
  Log("InitCursor");
}

void ScriptedToolbox::SysBeep(std::int16_t /*duration*/) {
  ++beeps_;
  Log("SysBeep");
}

void ScriptedToolbox::ExitToShell() {
  Log("ExitToShell");
  throw ExitToShellCalled();
}

// ---- Open-file chooser ----------------------------------------------------------------

OSErr ScriptedToolbox::NavLoad() {
  ++nav_loads_;
  Log("NavLoad");
  return noErr;
}

OSErr ScriptedToolbox::NavUnload() {
  ++nav_unloads_;
  Log("NavUnload");
  return noErr;
}

OSErr ScriptedToolbox::NavChooseFile(const NavDialogOptions& /*options*/, const NavTypeList& /*types*/,
                                     NavReplyRecord& reply) {
  return TakeChooserReply("NavChooseFile", reply);
}

OSErr ScriptedToolbox::NavChooseFolder(const NavDialogOptions& /*options*/, NavReplyRecord& reply) {
  return TakeChooserReply("NavChooseFolder", reply);
}

OSErr ScriptedToolbox::TakeChooserReply(const std::string& call, NavReplyRecord& reply) {
  Log(call);
  if (nav_loads_ <= nav_unloads_) throw ScriptError(call + " called outside NavLoad/NavUnload");
  if (chooser_replies_.empty()) throw ScriptError(call + ": the chooser opened but the script has no reply for it");
  reply = std::move(chooser_replies_.front());
  chooser_replies_.pop_front();
  ++nav_replies_open_;
  return reply.valid_record ? noErr : userCanceledErr;
}

// ---- Remembered values --------------------------------------------------------------------

bool ScriptedToolbox::CFPreferencesGetAppBooleanValue(std::string_view key, bool fallback) const {
  const auto it = remembered_.find(key);
  return it == remembered_.end() ? fallback : it->second;
}

void ScriptedToolbox::CFPreferencesSetAppValue(std::string_view key, bool value) {
  Log("CFPreferencesSetAppValue " + std::string(key) + (value ? " true" : " false"));
  remembered_[std::string(key)] = value;
}

OSErr ScriptedToolbox::NavDisposeReply(NavReplyRecord& reply) {
  Log("NavDisposeReply");
  if (nav_replies_open_ == 0) throw ScriptError("NavDisposeReply without a reply");
  --nav_replies_open_;
  reply = NavReplyRecord{};
  return noErr;
}

// ---- Folders and files ------------------------------------------------------------------

OSErr ScriptedToolbox::FSFindFolder(std::int16_t /*volume*/, OSType folder_type, bool create, FSRef& folder) {
  folder = FSRef{};
  auto it = folders_.find(folder_type);
  if (it == folders_.end()) return FindStandardFolder(folder_type, create, folder.path);
  if (it->second.empty()) return fnfErr;
  folder.path = it->second;
  return noErr;
}

OSErr ScriptedToolbox::MapFileName(std::string_view file_name, std::string& mime_type) {
  mime_type.clear();
  for (const auto& [extension, mime] : mime_map_) {
    if (file_name.size() >= extension.size() && file_name.ends_with(extension)) {
      mime_type = mime;
      return noErr;
    }
  }
  return icPrefNotFoundErr;
}

OSErr ScriptedToolbox::OpenFolder(const std::string& folder) {
  Log("OpenFolder " + folder);
  return noErr;
}

void ScriptedToolbox::NotifyUser(std::string_view title, std::string_view body) {
  Log("NotifyUser " + std::string(title) + ": " + std::string(body));
}

void ScriptedToolbox::SetLauncherProgress(int percent) { Log("SetLauncherProgress " + std::to_string(percent)); }

OSErr ScriptedToolbox::SetFileMimeType(const std::string& path, std::string_view mime_type) {
  Log("SetFileMimeType " + path + " " + std::string(mime_type));
  mime_types_set_.emplace_back(path, std::string(mime_type));
  return noErr;
}

}  // namespace vantorelle::toolbox
