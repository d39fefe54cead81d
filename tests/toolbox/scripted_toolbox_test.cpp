// scripted_toolbox_test.cpp - the shared toolbox logic and the scripted backend that shell tests rely on.
#include <gtest/gtest.h>

#include <string>

#include "toolbox_test_support.hpp"
#include "vantorelle/toolbox/dialog_items.hpp"
#include "vantorelle/toolbox/folders.hpp"
#include "vantorelle/toolbox/scripted_toolbox.hpp"

namespace vantorelle::toolbox {
namespace {

using Step = ScriptedToolbox::Step;

static_assert(FourCharCode("odoc") == 0x6F646F63u);
static_assert(FourCharCode("----") == 0x2D2D2D2Du);
static_assert(MenuChoice(131, 1) == 0x00830001);

void InsertAllMenus(Toolbox& tb) {
  for (ResID id : {128, 129, 130, 131}) tb.InsertMenu(tb.GetMenu(id), 0);
}

// ---- Item texts ---------------------------------------------------------------------------

TEST(ItemTextLimit, CutsAt255BytesButNeverInsideACharacter) {
  const std::string grin = "\xF0\x9F\x98\x80";  // 4 bytes
  const std::string euro = "\xE2\x82\xAC";      // 3 bytes
  const std::string e_acute = "\xC3\xA9";        // 2 bytes
  struct Case {
    const char* name;
    std::string text;
    std::size_t kept;  // bytes kept
  };
  const Case cases[] = {
      {"short text stays", "abc", 3},
      {"exactly 255 bytes", std::string(255, 'a'), 255},
      {"plain bytes cut at 255", std::string(300, 'a'), 255},
      {"4-byte character ending at byte 255", std::string(251, 'a') + grin + "b", 255},
      {"4-byte character over byte 255, three bytes in", std::string(252, 'a') + grin, 252},
      {"4-byte character over byte 255, two bytes in", std::string(253, 'a') + grin, 253},
      {"4-byte character over byte 255, one byte in", std::string(254, 'a') + grin, 254},
      {"3-byte character over byte 255", std::string(253, 'a') + euro, 253},
      {"2-byte character over byte 255", std::string(254, 'a') + e_acute, 254},
      {"no UTF-8 there: plain bytes", std::string(250, 'a') + std::string(10, '\x80'), 255},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LimitItemText(c.text), c.text.substr(0, c.kept)) << c.name;
  }
}

// ---- Events and Apple events ----------------------------------------------------------

TEST(ScriptedEvents, MaskSkipsOtherKindsAndLeavesThemQueued) {
  ScriptedToolbox tb;
  tb.PostAppleEvent({kCoreEventClass, kAEOpenApplication, {}});
  tb.PostCommandKey('o');
  EventRecord event;
  ASSERT_TRUE(tb.GetNextEvent(keyDownMask, event));
  EXPECT_EQ(event.what, keyDown);
  EXPECT_EQ(event.message & charCodeMask, static_cast<unsigned>('o'));
  EXPECT_EQ(event.modifiers, cmdKey);
  ASSERT_TRUE(tb.GetNextEvent(everyEvent, event));
  EXPECT_EQ(event.what, kHighLevelEvent);
  EXPECT_FALSE(tb.GetNextEvent(everyEvent, event));
  EXPECT_EQ(event.what, nullEvent);
}

TEST(ScriptedEvents, HighLevelEventsNeedTheirOwnMaskBit) {
  ScriptedToolbox tb;
  tb.PostAppleEvent({kCoreEventClass, kAEQuitApplication, {}});
  EventRecord event;
  EXPECT_FALSE(tb.GetNextEvent(static_cast<EventMask>(everyEvent & ~highLevelEventMask), event));
  EXPECT_TRUE(tb.GetNextEvent(highLevelEventMask, event));
}

TEST(ScriptedEvents, EventAvailPeeksAndReportsTheKeysHeldNow) {
  ScriptedToolbox tb;
  tb.PostCommandKey('q');  // recorded with the command key
  tb.SetModifiers(shiftKey | optionKey);
  EventRecord event;
  EXPECT_TRUE(tb.EventAvail(everyEvent, event));
  EXPECT_EQ(event.modifiers, shiftKey | optionKey);
  EXPECT_TRUE(tb.GetNextEvent(everyEvent, event));  // still there
  EXPECT_EQ(event.modifiers, cmdKey);
  EXPECT_FALSE(tb.EventAvail(everyEvent, event));
  EXPECT_EQ(event.modifiers, shiftKey | optionKey);
}

TEST(ScriptedEvents, AnEventLoopWithNothingToEndItFailsInsteadOfHanging) {
  ScriptedToolbox tb;
  tb.set_starvation_limit(5);
  EventRecord event;
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(tb.WaitNextEvent(everyEvent, event, 5));
  EXPECT_THROW(tb.WaitNextEvent(everyEvent, event, 5), ScriptError);
}

TEST(AppleEvents, DispatchRunsTheHandlerWithTheFilesInOrder) {
  ScriptedToolbox tb;
  std::vector<std::string> seen;
  long seen_refcon = -1;
  tb.AEInstallEventHandler(kCoreEventClass, kAEOpenDocuments,
                           [&](const AppleEvent& ev, AppleEvent&, long refcon) -> OSErr {
                             AEDescList list;
                             EXPECT_EQ(AEGetParamDesc(ev, keyDirectObject, typeAEList, list), noErr);
                             long n = 0;
                             AECountItems(list, n);
                             for (long i = 1; i <= n; ++i) {
                               FSRef ref;
                               EXPECT_EQ(AEGetNthPtr(list, i, typeFSRef, ref), noErr);
                               seen.push_back(ref.path);
                             }
                             FSRef none;
                             EXPECT_EQ(AEGetNthPtr(list, n + 1, typeFSRef, none), errAEIllegalIndex);
                             seen_refcon = refcon;
                             return 7;
                           },
                           42);
  tb.PostAppleEvent({kCoreEventClass, kAEOpenDocuments, {{"/y/a.txt"}, {"/x/b.txt"}}});
  EventRecord event;
  ASSERT_TRUE(tb.GetNextEvent(everyEvent, event));
  EXPECT_EQ(tb.AEProcessAppleEvent(event), 7);
  EXPECT_EQ(seen, (std::vector<std::string>{"/y/a.txt", "/x/b.txt"}));
  EXPECT_EQ(seen_refcon, 42);
}

TEST(AppleEvents, AnEventWithoutHandlerIsNotHandled) {
  ScriptedToolbox tb;
  tb.PostAppleEvent({kCoreEventClass, kAEPrintDocuments, {}});
  EventRecord event;
  ASSERT_TRUE(tb.GetNextEvent(everyEvent, event));
  EXPECT_EQ(tb.AEProcessAppleEvent(event), errAEEventNotHandled);
}

TEST(AppleEvents, PathsMustFitTheBufferWithTheirNul) {
  std::string path;
  EXPECT_EQ(FSRefMakePath({std::string(255, 'a')}, path, 256), noErr);
  EXPECT_EQ(path.size(), 255u);
  EXPECT_EQ(FSRefMakePath({std::string(256, 'a')}, path, 256), buffersTooSmall);
  EXPECT_TRUE(path.empty());
}

// ---- Menus -------------------------------------------------------------------------------

TEST(ScriptedMenus, AMenuChoiceIsAMouseDownInTheMenuBarSelectedOnce) {
  ScriptedToolbox tb;
  InsertAllMenus(tb);
  tb.PostMenuChoice(MenuChoice(kOptionsMenuID, 1));
  EventRecord event;
  ASSERT_TRUE(tb.GetNextEvent(everyEvent, event));
  EXPECT_EQ(event.what, mouseDown);
  EXPECT_EQ(tb.FindWindow(event.where), inMenuBar);
  EXPECT_EQ(tb.MenuSelect(event.where), MenuChoice(131, 1));
  EXPECT_EQ(tb.MenuSelect(event.where), 0);
  EXPECT_EQ(tb.FindWindow(Point{300, 300}), inDesk);
}

TEST(ScriptedMenus, CommandKeysMapToEnabledItemsOfInsertedMenus) {
  ScriptedToolbox tb;
  EXPECT_EQ(tb.MenuKey('o'), 0);  // no menu inserted yet
  InsertAllMenus(tb);
  EXPECT_EQ(tb.MenuKey('o'), MenuChoice(kFileMenuID, 1));
  EXPECT_EQ(tb.MenuKey('O'), MenuChoice(kFileMenuID, 1));
  EXPECT_EQ(tb.MenuKey(','), MenuChoice(kEditMenuID, 9));
  EXPECT_EQ(tb.MenuKey('x'), 0);
}

TEST(ScriptedMenus, TheQuitItemSendsTheQuitEventInsteadOfAChoice) {
  ScriptedToolbox tb;
  InsertAllMenus(tb);
  EXPECT_EQ(tb.MenuKey('q'), 0);
  EventRecord event;
  ASSERT_TRUE(tb.GetNextEvent(everyEvent, event));
  EXPECT_EQ(event.what, kHighLevelEvent);
  EXPECT_EQ(event.message, kCoreEventClass);
  bool quit = false;
  tb.AEInstallEventHandler(kCoreEventClass, kAEQuitApplication, [&](const AppleEvent&, AppleEvent&, long) {
    quit = true;
    return noErr;
  }, 0);
  EXPECT_EQ(tb.AEProcessAppleEvent(event), noErr);
  EXPECT_TRUE(quit);
}

TEST(ScriptedMenus, MarksAreKeptPerItem) {
  ScriptedToolbox tb;
  InsertAllMenus(tb);
  const MenuRef options = tb.GetMenuHandle(kOptionsMenuID);
  ASSERT_TRUE(options);
  EXPECT_EQ(tb.GetItemMark(options, 1), kNoMark);
  tb.SetItemMark(options, 1, kCheckMark);
  EXPECT_EQ(tb.GetItemMark(options, 1), kCheckMark);
  tb.SetItemMark(options, 1, kNoMark);
  EXPECT_EQ(tb.GetItemMark(options, 1), kNoMark);
  EXPECT_FALSE(tb.GetMenu(132));
}

// ---- Dialogs --------------------------------------------------------------------------------

TEST(ScriptedDialogs, StepsTypeThenHitAndLeaveCheckBoxesAlone) {
  ScriptedToolbox tb;
  tb.AnswerDialog(kPreferencesDialogID, {{{}, 5}, {{}, 1}});
  const DialogRef d = tb.GetNewDialog(kPreferencesDialogID);
  EXPECT_EQ(tb.ModalDialog(d), 5);
  EXPECT_EQ(tb.GetControlValue(d, 5), 0);
  EXPECT_EQ(tb.ModalDialog(d), 1);
  EXPECT_THROW(tb.ModalDialog(d), ScriptError);
  tb.DisposeDialog(d);
  EXPECT_EQ(tb.last_dialog(kPreferencesDialogID).hits, (std::vector<DialogItemIndex>{5, 1}));
  EXPECT_EQ(tb.open_dialogs(), 0);
}

TEST(ScriptedDialogs, TypedTextIsWhatTheShellReadsBack) {
  ScriptedToolbox tb;
  tb.AnswerDialog(kDirectoryDialogID, {{{{3, "photos"}}, 1}});
  const DialogRef d = tb.GetNewDialog(kDirectoryDialogID);
  tb.SetDialogItemText(d, 3, "proposal");
  EXPECT_EQ(tb.ModalDialog(d), 1);
  EXPECT_EQ(tb.GetDialogItemText(d, 3), "photos");
}

TEST(ScriptedDialogs, ScriptMistakesFailLoudly) {
  struct Case {
    const char* name;
    void (*run)(ScriptedToolbox&);
  };
  const Case cases[] = {
      {"modal dialog without answer", [](ScriptedToolbox& tb) { tb.GetNewDialog(kAlertDialogID); }},
      {"answer for another dialog",
       [](ScriptedToolbox& tb) {
         tb.AnswerDialog(kDirectoryDialogID, {{{}, 1}});
         tb.GetNewDialog(kFileNameDialogID);
       }},
      {"no such dialog", [](ScriptedToolbox& tb) { tb.GetNewDialog(129); }},
      {"no such item",
       [](ScriptedToolbox& tb) { tb.SetDialogItemText(tb.GetNewDialog(kProgressDialogID), 13, "x"); }},
      {"text into a progress bar",
       [](ScriptedToolbox& tb) { tb.SetDialogItemText(tb.GetNewDialog(kProgressDialogID), 5, "x"); }},
      {"hit on a static text",
       [](ScriptedToolbox& tb) {
         tb.AnswerDialog(kAlertDialogID, {{{}, 3}});
         tb.ModalDialog(tb.GetNewDialog(kAlertDialogID));
       }},
      {"typing into a button",
       [](ScriptedToolbox& tb) {
         tb.AnswerDialog(kLengthDialogID, {{{{1, "x"}}, 1}});
         tb.ModalDialog(tb.GetNewDialog(kLengthDialogID));
       }},
      {"disposed dialog used",
       [](ScriptedToolbox& tb) {
         const DialogRef d = tb.GetNewDialog(kProgressDialogID);
         tb.DisposeDialog(d);
         tb.QDFlushPortBuffer(d);
       }},
      {"chooser without reply",
       [](ScriptedToolbox& tb) {
         NavReplyRecord reply;
         tb.NavLoad();
         tb.NavChooseFile({}, {}, reply);
       }},
  };
  for (const Case& c : cases) {
    ScriptedToolbox tb;
    EXPECT_THROW(c.run(tb), ScriptError) << c.name;
  }
}

TEST(ScriptedDialogs, TheProgressWindowNeedsNoAnswerAndRecordsWhatItShowed) {
  ScriptedToolbox tb;
  const DialogRef d = tb.GetNewDialog(kProgressDialogID);
  tb.ShowWindow(d);
  tb.SetWTitle(d, "Vantorelle");
  EXPECT_EQ(tb.SetControlData(d, 5, kControlEntireControl, kControlProgressBarIndeterminateTag, true), noErr);
  tb.SetControlValue(d, 5, 150);
  tb.QDFlushPortBuffer(d);
  const auto& record = tb.last_dialog(kProgressDialogID);
  EXPECT_TRUE(record.shown);
  EXPECT_EQ(record.title, "Vantorelle");
  EXPECT_TRUE(record.data.at({5, kControlProgressBarIndeterminateTag}));
  EXPECT_EQ(tb.GetControlValue(d, 5), 100);
  EXPECT_EQ(record.flushes, 1);
  EXPECT_EQ(tb.log().back(), "QDFlushPortBuffer 130");
}

TEST(ScriptedDialogs, ControlDataGoesOnlyToControlsThatHaveIt) {
  ScriptedToolbox tb;
  tb.AnswerDialog(kFileNameDialogID, {});
  const DialogRef d = tb.GetNewDialog(kFileNameDialogID);
  EXPECT_EQ(tb.SetControlData(d, 1, 0, kControlPushButtonDefaultTag, true), noErr);
  EXPECT_EQ(tb.SetControlData(d, 3, 0, kControlPushButtonDefaultTag, true), errDataNotSupported);
  EXPECT_EQ(tb.SetControlData(d, 1, 0, kControlProgressBarIndeterminateTag, true), errDataNotSupported);
}

TEST(ScriptedDialogs, SetCTextCutsAndRestoresTheCurrentPort) {
  ScriptedToolbox tb;
  tb.AnswerDialog(kAlertDialogID, {});
  const DialogRef progress = tb.GetNewDialog(kProgressDialogID);
  const DialogRef alert = tb.GetNewDialog(kAlertDialogID);
  tb.SetPort(progress);
  SetCText(tb, alert, 3, std::string(300, 'e'));
  EXPECT_EQ(tb.GetPort(), progress);
  EXPECT_EQ(GetCText(tb, alert, 3), std::string(255, 'e'));
  EXPECT_EQ(tb.GetPort(), progress);
}

TEST(ScriptedDialogs, ControlHelpersFlipFrameAndSwitchTheBar) {
  ScriptedToolbox tb;
  tb.AnswerDialog(kPreferencesDialogID, {});
  const DialogRef prefs = tb.GetNewDialog(kPreferencesDialogID);
  FlipCheckBox(tb, prefs, 5);
  EXPECT_EQ(GetItemValue(tb, prefs, 5), 1);
  FlipCheckBox(tb, prefs, 5);
  EXPECT_EQ(GetItemValue(tb, prefs, 5), 0);
  FrameOK(tb, prefs, 1);
  EXPECT_TRUE(tb.last_dialog(kPreferencesDialogID).data.at({1, kControlPushButtonDefaultTag}));

  const DialogRef progress = tb.GetNewDialog(kProgressDialogID);
  SetItemValue(tb, progress, 5, 40);
  SetProgressBarIndeterminate(tb, progress, 5);
  EXPECT_TRUE(tb.last_dialog(kProgressDialogID).data.at({5, kControlProgressBarIndeterminateTag}));
  SetProgressBarDeterminate(tb, progress, 5);
  EXPECT_FALSE(tb.last_dialog(kProgressDialogID).data.at({5, kControlProgressBarIndeterminateTag}));
  EXPECT_EQ(GetItemValue(tb, progress, 5), 40);
}

TEST(ItemText, CutsAt255BytesWithoutSplittingACharacter) {
  struct Case {
    const char* name;
    std::string text;
    std::size_t kept;
  };
  const std::string e_acute = "\xC3\xA9";
  const Case cases[] = {
      {"255 plain bytes kept", std::string(255, 'a'), 255},
      {"256 plain bytes cut", std::string(256, 'a'), 255},
      {"two-byte character across the limit", std::string(254, 'a') + e_acute, 254},
      {"two-byte character ending at the limit", std::string(253, 'a') + e_acute + "b", 255},
      {"four-byte character across the limit", std::string(253, 'a') + "\xF0\x9F\x98\x80", 253},
      {"Latin-1 bytes cut plainly", std::string(300, '\xE9'), 255},
  };
  for (const Case& c : cases) EXPECT_EQ(LimitItemText(c.text).size(), c.kept) << c.name;
}

// ---- Chooser and folders ---------------------------------------------------------------------

TEST(ScriptedChooser, CancelIsAnInvalidReply) {
  ScriptedToolbox tb;
  tb.AnswerFileChooser({false, {}});
  NavReplyRecord reply;
  tb.NavLoad();
  EXPECT_EQ(tb.NavChooseFile({}, {kAnyCreator, 0, {kTextFileType}}, reply), userCanceledErr);
  EXPECT_FALSE(reply.valid_record);
  tb.NavDisposeReply(reply);
  tb.NavUnload();
  EXPECT_EQ(tb.nav_loads(), tb.nav_unloads());
  EXPECT_EQ(tb.nav_replies_open(), 0);
  EXPECT_EQ(tb.UnusedAnswers(), "");
}

TEST(Folders, XdgVariablesWinOverHomeUnlessRelative) {
  test::TempDir dir;
  test::ScopedEnv home("HOME", dir.str().c_str());
  std::string path;
  {
    test::ScopedEnv config("XDG_CONFIG_HOME", (dir.str() + "/cfg/").c_str());
    EXPECT_EQ(FindStandardFolder(kPreferencesFolderType, kDontCreateFolder, path), fnfErr);
    EXPECT_EQ(FindStandardFolder(kPreferencesFolderType, kCreateFolder, path), noErr);
    EXPECT_EQ(path, dir.str() + "/cfg");
  }
  {
    test::ScopedEnv config("XDG_CONFIG_HOME", "relative/cfg");
    EXPECT_EQ(FindStandardFolder(kPreferencesFolderType, kCreateFolder, path), noErr);
    EXPECT_EQ(path, dir.str() + "/.config");
  }
  test::ScopedEnv data("XDG_DATA_HOME", nullptr);
  EXPECT_EQ(FindStandardFolder(kTrashFolderType, kCreateFolder, path), noErr);
  EXPECT_EQ(path, dir.str() + "/.local/share/Trash/files");
  EXPECT_EQ(FindStandardFolder(FourCharCode("desk"), kCreateFolder, path), paramErr);
}

TEST(Folders, ScriptedOverridesReplaceTheLookup) {
  ScriptedToolbox tb;
  tb.SetFolder(kTrashFolderType, "");
  tb.SetFolder(kPreferencesFolderType, "/somewhere");
  FSRef folder;
  EXPECT_EQ(tb.FSFindFolder(kOnSystemDisk, kTrashFolderType, kDontCreateFolder, folder), fnfErr);
  EXPECT_EQ(tb.FSFindFolder(kOnSystemDisk, kPreferencesFolderType, kDontCreateFolder, folder), noErr);
  EXPECT_EQ(folder.path, "/somewhere");
}

}  // namespace
}  // namespace vantorelle::toolbox
