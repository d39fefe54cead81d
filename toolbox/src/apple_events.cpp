// apple_events.cpp - the Apple event dispatcher and the descriptor accessors.
#include "vantorelle/toolbox/apple_events.hpp"

#include <algorithm>
#include <utility>

namespace vantorelle::toolbox {

OSErr AEGetParamDesc(const AppleEvent& event, OSType keyword, OSType desired_type, AEDescList& list) {
  if (keyword != keyDirectObject || desired_type != typeAEList) return errAEDescNotFound;
  list.items = event.direct_object;
  return noErr;
}

OSErr AECountItems(const AEDescList& list, long& count) {
  count = static_cast<long>(list.items.size());
  return noErr;
}

OSErr AEGetNthPtr(const AEDescList& list, long index, OSType desired_type, FSRef& ref) {
  if (desired_type != typeFSRef) return errAEDescNotFound;
  if (index < 1 || static_cast<std::size_t>(index) > list.items.size()) return errAEIllegalIndex;
  ref = list.items[static_cast<std::size_t>(index - 1)];
  return noErr;
}

OSErr AEDisposeDesc(AEDescList& list) {
  list.items.clear();
  return noErr;
}

OSErr FSRefMakePath(const FSRef& ref, std::string& path, std::size_t max_path_size) {
  path.clear();
  if (ref.path.empty()) return fnfErr;
  if (ref.path.size() + 1 > max_path_size) return buffersTooSmall;
  path = ref.path;
  return noErr;
}

OSErr AppleEventDispatcher::Install(AEEventClass event_class, AEEventID event_id, AEEventHandler handler,
                                    long refcon) {
  if (!handler) return paramErr;
  auto same = [&](const Entry& e) { return e.event_class == event_class && e.event_id == event_id; };
  auto it = std::find_if(handlers_.begin(), handlers_.end(), same);
  if (it != handlers_.end()) {
    it->handler = std::move(handler);
    it->refcon = refcon;
  } else {
    handlers_.push_back({event_class, event_id, std::move(handler), refcon});
  }
  return noErr;
}

void AppleEventDispatcher::Enqueue(AppleEvent event) { pending_.push_back(std::move(event)); }

EventRecord AppleEventDispatcher::RecordFor(const AppleEvent& event, EventModifiers modifiers) {
  EventRecord record;
  record.what = kHighLevelEvent;
  record.message = event.event_class;
  record.where.v = static_cast<std::int16_t>(event.event_id >> 16);
  record.where.h = static_cast<std::int16_t>(event.event_id & 0xFFFFu);
  record.modifiers = modifiers;
  return record;
}

OSErr AppleEventDispatcher::Dispatch(const EventRecord& record) {
  if (record.what != kHighLevelEvent) return paramErr;
  const AEEventID id = (static_cast<AEEventID>(static_cast<std::uint16_t>(record.where.v)) << 16) |
                       static_cast<std::uint16_t>(record.where.h);
  auto matches = [&](const AppleEvent& e) { return e.event_class == record.message && e.event_id == id; };
  auto it = std::find_if(pending_.begin(), pending_.end(), matches);
  if (it == pending_.end()) return paramErr;
  AppleEvent event = std::move(*it);
  pending_.erase(it);
  auto handled = std::find_if(handlers_.begin(), handlers_.end(), [&](const Entry& e) {
    return e.event_class == event.event_class && e.event_id == event.event_id;
  });
  if (handled == handlers_.end()) return errAEEventNotHandled;
  AppleEvent reply;
  // Copy the handler: it may install handlers itself and so move the table.
  AEEventHandler handler = handled->handler;
  const long refcon = handled->refcon;
  return handler(event, reply, refcon);
}

}  // namespace vantorelle::toolbox
