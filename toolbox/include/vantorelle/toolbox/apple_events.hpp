// apple_events.hpp - high-level events, file references and their accessors.
//
// On the desktop an Apple event stands for a request from outside: start with
// no files ('oapp'), open these files ('odoc'), quit ('quit'), show the
// preferences ('pref'). The toolbox queues an event record of kind 23 for each
// and keeps the event's content here until AEProcessAppleEvent dispatches it.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "vantorelle/toolbox/types.hpp"

namespace vantorelle::toolbox {

// A file reference: an absolute path, as bytes.
struct FSRef {
  std::string path;
  bool operator==(const FSRef&) const = default;
};

// A list descriptor: the direct object of an 'odoc' event.
struct AEDescList {
  std::vector<FSRef> items;
};

struct AppleEvent {
  AEEventClass event_class = kCoreEventClass;
  AEEventID event_id = 0;
  std::vector<FSRef> direct_object;  // the files of 'odoc'; empty otherwise
};

// A handler: the event, a reply (unused by the shell), the reference constant
// given at installation. Its result goes back to the sender.
using AEEventHandler = std::function<OSErr(const AppleEvent& event, AppleEvent& reply, long refcon)>;

// Copies the direct object (keyword '----') of `event` into `list`. Only
// keyDirectObject with typeAEList is known; other keywords give errAEDescNotFound.
OSErr AEGetParamDesc(const AppleEvent& event, OSType keyword, OSType desired_type, AEDescList& list);

// Number of items in `list`.
OSErr AECountItems(const AEDescList& list, long& count);

// Item `index` (from 1) of `list` as a file reference (desired type 'fsrf').
// errAEIllegalIndex when there is no such item, errAEDescNotFound for another type.
OSErr AEGetNthPtr(const AEDescList& list, long index, OSType desired_type, FSRef& ref);

// Empties `list`.
OSErr AEDisposeDesc(AEDescList& list);

// `path` := the reference's POSIX path, as long as it fits a buffer of
// `max_path_size` bytes with its terminating NUL; otherwise buffersTooSmall and
// `path` is left empty. An empty reference gives fnfErr.
OSErr FSRefMakePath(const FSRef& ref, std::string& path, std::size_t max_path_size);

// Installed handlers and the content of queued events, dispatched in order.
class AppleEventDispatcher {
 public:
  OSErr Install(AEEventClass event_class, AEEventID event_id, AEEventHandler handler, long refcon);

  // Keeps `event` until Dispatch is handed its event record.
  void Enqueue(AppleEvent event);

  // Record for `event`: kind 23, class in `message`, ID in `where`.
  static EventRecord RecordFor(const AppleEvent& event, EventModifiers modifiers);

  // Runs the handler of the first kept event that matches `record` and
  // returns its result; errAEEventNotHandled when no handler is installed,
  // paramErr when the record is not a high-level event with kept content.
  OSErr Dispatch(const EventRecord& record);

 private:
  struct Entry {
    AEEventClass event_class;
    AEEventID event_id;
    AEEventHandler handler;
    long refcon;
  };
  std::vector<Entry> handlers_;
  std::vector<AppleEvent> pending_;
};

}  // namespace vantorelle::toolbox
