// types.hpp - basic toolbox types: four-character codes, result codes, event records.
//
// The shell talks to the desktop in the vocabulary of a classic toolbox: dialogs
// and menus by resource ID, items by number from 1, event records, OSType codes.
// This header holds the plain values of that vocabulary; it includes no Qt.
#pragma once

#include <cstdint>

namespace vantorelle::toolbox {

// A four-character code: the first character is the most significant byte, so
// FourCharCode("odoc") == 0x6F646F63.
using OSType = std::uint32_t;
using ResType = OSType;
using AEEventClass = OSType;
using AEEventID = OSType;
using MenuCommand = OSType;

constexpr OSType FourCharCode(const char (&code)[5]) {
  return (static_cast<OSType>(static_cast<unsigned char>(code[0])) << 24) |
         (static_cast<OSType>(static_cast<unsigned char>(code[1])) << 16) |
         (static_cast<OSType>(static_cast<unsigned char>(code[2])) << 8) |
         static_cast<OSType>(static_cast<unsigned char>(code[3]));
}

// Apple events.
inline constexpr AEEventClass kCoreEventClass = FourCharCode("aevt");
inline constexpr AEEventID kAEOpenApplication = FourCharCode("oapp");
inline constexpr AEEventID kAEOpenDocuments = FourCharCode("odoc");
inline constexpr AEEventID kAEPrintDocuments = FourCharCode("pdoc");
inline constexpr AEEventID kAEQuitApplication = FourCharCode("quit");
inline constexpr AEEventID kAEShowPreferences = FourCharCode("pref");
inline constexpr OSType keyDirectObject = FourCharCode("----");
inline constexpr OSType typeAEList = FourCharCode("list");
inline constexpr OSType typeFSRef = FourCharCode("fsrf");

// Menu commands (the Quit and Preferences commands of the application).
inline constexpr MenuCommand kHICommandQuit = FourCharCode("quit");
inline constexpr MenuCommand kHICommandPreferences = FourCharCode("pref");

// Control data tags: the default push button, the indeterminate progress bar.
inline constexpr ResType kControlPushButtonDefaultTag = FourCharCode("dflt");
inline constexpr ResType kControlProgressBarIndeterminateTag = FourCharCode("inde");

// Folder types, file types and creators.
inline constexpr OSType kPreferencesFolderType = FourCharCode("pref");
inline constexpr OSType kTrashFolderType = FourCharCode("trsh");
inline constexpr OSType kTextFileType = FourCharCode("TEXT");
inline constexpr OSType kAnyCreator = FourCharCode("****");
inline constexpr OSType kUnknownCreator = FourCharCode("????");

// Result codes. 0 is success; the rest are the classic negative values.
using OSErr = std::int16_t;
inline constexpr OSErr noErr = 0;
inline constexpr OSErr fnfErr = -43;           // file or folder not found
inline constexpr OSErr paramErr = -50;         // an argument that makes no sense
inline constexpr OSErr userCanceledErr = -128; // the user cancelled
inline constexpr OSErr buffersTooSmall = -607; // a path does not fit the buffer given
inline constexpr OSErr errAEEventNotHandled = -1708;
inline constexpr OSErr errAEDescNotFound = -1701;
inline constexpr OSErr errAEIllegalIndex = -1719;
inline constexpr OSErr errDataNotSupported = -30582;  // control data tag not known to the control
inline constexpr OSErr errUnknownControl = -30584;    // no such dialog item
inline constexpr OSErr icPrefNotFoundErr = -666;      // no mapping for the file name

using ResID = std::int16_t;
using DialogItemIndex = std::int16_t;
using ControlPartCode = std::int16_t;
inline constexpr ControlPartCode kControlEntireControl = 0;

// Volume of the system disk, and the create flag of a folder lookup.
inline constexpr std::int16_t kOnSystemDisk = -32768;
inline constexpr bool kCreateFolder = true;
inline constexpr bool kDontCreateFolder = false;

// Menu item marks: the check mark and none.
inline constexpr char kCheckMark = 18;
inline constexpr char kNoMark = 0;

struct Point {
  std::int16_t v = 0;
  std::int16_t h = 0;
  bool operator==(const Point&) const = default;
};

// Event kinds ("what").
enum EventKind : std::uint16_t {
  nullEvent = 0,
  mouseDown = 1,
  mouseUp = 2,
  keyDown = 3,
  keyUp = 4,
  autoKey = 5,
  updateEvt = 6,
  activateEvt = 8,
  kHighLevelEvent = 23,
};

// Event masks: one bit per kind; high-level events have their own bit.
using EventMask = std::uint16_t;
inline constexpr EventMask everyEvent = 0xFFFF;
inline constexpr EventMask mDownMask = 1u << mouseDown;
inline constexpr EventMask keyDownMask = 1u << keyDown;
inline constexpr EventMask autoKeyMask = 1u << autoKey;
inline constexpr EventMask highLevelEventMask = 0x0400;

// Modifier word bits.
using EventModifiers = std::uint16_t;
inline constexpr EventModifiers cmdKey = 0x0100;
inline constexpr EventModifiers shiftKey = 0x0200;
inline constexpr EventModifiers alphaLock = 0x0400;
inline constexpr EventModifiers optionKey = 0x0800;
inline constexpr EventModifiers controlKey = 0x1000;

// Character code in the low byte of a key event's message.
inline constexpr std::uint32_t charCodeMask = 0x000000FF;

// One event. For a high-level event `message` holds the event class and
// `where` the event ID (v the high 16 bits, h the low 16 bits).
struct EventRecord {
  std::uint16_t what = nullEvent;
  std::uint32_t message = 0;
  std::uint32_t when = 0;
  Point where;
  EventModifiers modifiers = 0;
  bool operator==(const EventRecord&) const = default;
};

// Window part codes of FindWindow.
enum WindowPartCode : std::int16_t {
  inDesk = 0,
  inMenuBar = 1,
};

// Where a mouse-down in the menu bar is reported: the bar is the band
// 0 <= v < kMenuBarHeight at the top of the screen.
inline constexpr std::int16_t kMenuBarHeight = 22;
inline constexpr Point kMenuBarClickPoint{5, 5};

}  // namespace vantorelle::toolbox
