// scripted_dialogs.cpp - the scripted backend's dialogs: answers played back, everything recorded.
#include <algorithm>

#include "vantorelle/toolbox/scripted_toolbox.hpp"

namespace vantorelle::toolbox {
namespace {

std::string Where(ResID id, DialogItemIndex item) { return std::to_string(id) + "/" + std::to_string(item); }

bool CanBeHit(ItemKind kind) { return kind == ItemKind::kButton || kind == ItemKind::kCheckBox; }
bool HasText(ItemKind kind) { return kind != ItemKind::kProgressBar; }
bool IsControlWithValue(ItemKind kind) { return kind == ItemKind::kCheckBox || kind == ItemKind::kProgressBar; }

std::int16_t Clamp(ItemKind kind, std::int16_t value) {
  const std::int16_t max = kind == ItemKind::kProgressBar ? 100 : 1;
  return std::clamp<std::int16_t>(value, 0, max);
}

}  // namespace

ScriptedToolbox::Live& ScriptedToolbox::LiveDialog(DialogRef dialog, const char* call) {
  auto it = live_.find(dialog.serial);
  if (it == live_.end()) throw ScriptError(std::string(call) + " on a dialog that is not open");
  return it->second;
}

const ScriptedToolbox::Live& ScriptedToolbox::LiveDialog(DialogRef dialog, const char* call) const {
  auto it = live_.find(dialog.serial);
  if (it == live_.end()) throw ScriptError(std::string(call) + " on a dialog that is not open");
  return it->second;
}

const DialogItemTemplate& ScriptedToolbox::Item(const Live& live, DialogItemIndex item, const char* call) const {
  const DialogItemTemplate* layout = FindItemTemplate(*live.layout, item);
  if (!layout) throw ScriptError(std::string(call) + ": dialog " + std::to_string(live.layout->id) + " has no item " +
                               std::to_string(item));
  return *layout;
}

DialogRef ScriptedToolbox::GetNewDialog(ResID id) {
  Log("GetNewDialog " + std::to_string(id));
  const DialogTemplate* layout = FindDialogTemplate(id);
  if (!layout) throw ScriptError("GetNewDialog: there is no dialog " + std::to_string(id));
  std::deque<Step> steps;
  if (layout->modal) {
    if (answers_.empty())
      throw ScriptError("dialog " + std::to_string(id) + " opened but the script has no answer for it");
    if (answers_.front().id != id)
      throw ScriptError("dialog " + std::to_string(id) + " opened but the next answer is for dialog " +
                        std::to_string(answers_.front().id));
    steps = std::move(answers_.front().steps);
    answers_.pop_front();
  } else if (!answers_.empty() && answers_.front().id == id) {
    // A modeless window may be waited on at its end (the results view).
    steps = std::move(answers_.front().steps);
    answers_.pop_front();
  }
  const DialogRef ref{next_serial_++};
  DialogRecord record;
  record.id = id;
  record.ref = ref;
  dialogs_.push_back(std::move(record));
  live_.emplace(ref.serial, Live{layout, dialogs_.size() - 1, std::move(steps)});
  return ref;
}

void ScriptedToolbox::ShowWindow(DialogRef dialog) {
  Live& live = LiveDialog(dialog, "ShowWindow");
  RecordOf(live).shown = true;
  Log("ShowWindow " + std::to_string(live.layout->id));
}

void ScriptedToolbox::DisposeDialog(DialogRef dialog) {
  Live& live = LiveDialog(dialog, "DisposeDialog");
  RecordOf(live).disposed = true;
  Log("DisposeDialog " + std::to_string(live.layout->id));
  if (port_ == dialog) port_ = DialogRef{};
  live_.erase(dialog.serial);
}

void ScriptedToolbox::SetPort(DialogRef dialog) {
  if (dialog) LiveDialog(dialog, "SetPort");
  port_ = dialog;
}

DialogItemIndex ScriptedToolbox::ModalDialog(DialogRef dialog) {
  Live& live = LiveDialog(dialog, "ModalDialog");
  const ResID id = live.layout->id;
  if (live.steps.empty() && !live.layout->modal) {
    // A modeless window waited on without a script (the results view) is
    // closed at once, as if by the user.
    Log("ModalDialog " + std::to_string(id) + " -> 0 (closed)");
    return 0;
  }
  if (live.steps.empty())
    throw ScriptError("ModalDialog on dialog " + std::to_string(id) + " but the script has no more steps for it");
  const Step step = std::move(live.steps.front());
  live.steps.pop_front();
  DialogRecord& record = RecordOf(live);
  for (const auto& [item, text] : step.typing) {
    if (Item(live, item, "typing").kind != ItemKind::kEditText)
      throw ScriptError("the script types into item " + Where(id, item) + ", which is not an edit text");
    record.texts[item] = LimitItemText(text);
    Log("type " + Where(id, item) + " " + record.texts[item]);
  }
  if (step.hit == 0) {
    Log("ModalDialog " + std::to_string(id) + " -> 0 (gone)");
    return 0;
  }
  if (!CanBeHit(Item(live, step.hit, "ModalDialog").kind))
    throw ScriptError("the script hits item " + Where(id, step.hit) + ", which cannot be hit");
  record.hits.push_back(step.hit);
  Log("ModalDialog " + std::to_string(id) + " -> " + std::to_string(step.hit));
  return step.hit;
}

bool ScriptedToolbox::IsDialogEvent(const EventRecord& /*event*/) const { return false; }

bool ScriptedToolbox::DialogSelect(const EventRecord& /*event*/, DialogRef& dialog, DialogItemIndex& item) {
  dialog = DialogRef{};
  item = 0;
  return false;
}

void ScriptedToolbox::SetDialogItemText(DialogRef dialog, DialogItemIndex item, std::string_view text) {
  Live& live = LiveDialog(dialog, "SetDialogItemText");
  if (!HasText(Item(live, item, "SetDialogItemText").kind))
    throw ScriptError("SetDialogItemText on item " + Where(live.layout->id, item) + ", which shows no text");
  std::string& stored = RecordOf(live).texts[item];
  stored = LimitItemText(text);
  Log("SetDialogItemText " + Where(live.layout->id, item) + " " + stored);
}

std::string ScriptedToolbox::GetDialogItemText(DialogRef dialog, DialogItemIndex item) const {
  const Live& live = LiveDialog(dialog, "GetDialogItemText");
  Item(live, item, "GetDialogItemText");
  const auto& texts = RecordOf(live).texts;
  auto it = texts.find(item);
  return it == texts.end() ? std::string() : it->second;
}

std::int16_t ScriptedToolbox::GetControlValue(DialogRef dialog, DialogItemIndex item) const {
  const Live& live = LiveDialog(dialog, "GetControlValue");
  Item(live, item, "GetControlValue");
  const auto& values = RecordOf(live).values;
  auto it = values.find(item);
  return it == values.end() ? 0 : it->second;
}

void ScriptedToolbox::SetControlValue(DialogRef dialog, DialogItemIndex item, std::int16_t value) {
  Live& live = LiveDialog(dialog, "SetControlValue");
  const ItemKind kind = Item(live, item, "SetControlValue").kind;
  if (!IsControlWithValue(kind)) return;
  RecordOf(live).values[item] = Clamp(kind, value);
  Log("SetControlValue " + Where(live.layout->id, item) + " " + std::to_string(Clamp(kind, value)));
}

OSErr ScriptedToolbox::SetControlData(DialogRef dialog, DialogItemIndex item, ControlPartCode /*part*/, ResType tag,
                                      bool value) {
  Live& live = LiveDialog(dialog, "SetControlData");
  const ItemKind kind = Item(live, item, "SetControlData").kind;
  const char* name = nullptr;
  if (tag == kControlPushButtonDefaultTag && kind == ItemKind::kButton) name = "dflt";
  if (tag == kControlProgressBarIndeterminateTag && kind == ItemKind::kProgressBar) name = "inde";
  if (!name) return errDataNotSupported;
  RecordOf(live).data[{item, tag}] = value;
  Log("SetControlData " + Where(live.layout->id, item) + " " + name + " " + (value ? "1" : "0"));
  return noErr;
}

void ScriptedToolbox::IdleControls(DialogRef dialog) {
  Live& live = LiveDialog(dialog, "IdleControls");
  ++RecordOf(live).idles;
}

DialogItemIndex ScriptedToolbox::TakeDialogHit(DialogRef dialog) {
  Live& live = LiveDialog(dialog, "TakeDialogHit");
  const ResID id = live.layout->id;
  const int poll = ++polls_[id];
  auto it = std::find_if(run_hits_.begin(), run_hits_.end(),
                         [&](const RunHit& hit) { return hit.id == id && hit.poll <= poll; });
  if (it == run_hits_.end()) return 0;
  const DialogItemIndex item = it->item;
  run_hits_.erase(it);
  Log("TakeDialogHit " + Where(id, item));
  return item;
}

void ScriptedToolbox::HitDuringRun(ResID id, DialogItemIndex item, int poll) { run_hits_.push_back({id, item, poll}); }

void ScriptedToolbox::ShowDialogItem(DialogRef dialog, DialogItemIndex item) {
  Live& live = LiveDialog(dialog, "ShowDialogItem");
  Item(live, item, "ShowDialogItem");
  RecordOf(live).hidden[item] = false;
}

void ScriptedToolbox::HideDialogItem(DialogRef dialog, DialogItemIndex item) {
  Live& live = LiveDialog(dialog, "HideDialogItem");
  Item(live, item, "HideDialogItem");
  RecordOf(live).hidden[item] = true;
}

void ScriptedToolbox::AddListRow(DialogRef dialog, DialogItemIndex item, const std::vector<std::string>& cells) {
  Live& live = LiveDialog(dialog, "AddListRow");
  if (Item(live, item, "AddListRow").kind != ItemKind::kList)
    throw ScriptError("AddListRow: " + Where(live.layout->id, item) + " is not a list");
  std::vector<std::string> row;
  for (const std::string& cell : cells) row.push_back(LimitItemText(cell));
  RecordOf(live).rows[item].push_back(std::move(row));
}

void ScriptedToolbox::ClearList(DialogRef dialog, DialogItemIndex item) {
  Live& live = LiveDialog(dialog, "ClearList");
  Item(live, item, "ClearList");
  RecordOf(live).rows[item].clear();
}

std::vector<std::vector<std::string>> ScriptedToolbox::ListRows(DialogRef dialog, DialogItemIndex item) const {
  const Live& live = LiveDialog(dialog, "ListRows");
  Item(live, item, "ListRows");
  const auto& rows = RecordOf(live).rows;
  auto it = rows.find(item);
  return it == rows.end() ? std::vector<std::vector<std::string>>{} : it->second;
}

void ScriptedToolbox::SetWTitle(DialogRef dialog, std::string_view title) {
  Live& live = LiveDialog(dialog, "SetWTitle");
  RecordOf(live).title = std::string(title);
  Log("SetWTitle " + std::to_string(live.layout->id) + " " + std::string(title));
}

void ScriptedToolbox::QDFlushPortBuffer(DialogRef dialog) {
  Live& live = LiveDialog(dialog, "QDFlushPortBuffer");
  ++RecordOf(live).flushes;
  Log("QDFlushPortBuffer " + std::to_string(live.layout->id));
}

}  // namespace vantorelle::toolbox
