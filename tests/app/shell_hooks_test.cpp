// shell_hooks_test.cpp - the post-process hook's file typing and the preference-ruled input removal.
#include <gtest/gtest.h>

#include <filesystem>

#include "file_typing.hpp"
#include "input_disposal.hpp"
#include "preferences.hpp"
#include "toolbox_test_support.hpp"
#include "vantorelle/toolbox/scripted_toolbox.hpp"

namespace vantorelle::app {
namespace {

namespace fs = std::filesystem;

TEST(PostProcessOutput, TypesByTheExtensionWhereThePathHasADot) {
  toolbox::ScriptedToolbox tb;
  tb.SetMimeMapping(".jpg", "image/jpeg");
  tb.SetMimeMapping("README", "text/x-readme");
  const std::string deep = "/d/" + std::string(400, 'f') + "/photo.jpg";
  struct Case {
    std::string path;
    const char* mime;  // nullptr: nothing set
  };
  const Case cases[] = {
      {"/d/photo.jpg", "image/jpeg"},
      {"/d/README", nullptr},            // no '.' anywhere: the mapping is not asked
      {"/d.old/README", "text/x-readme"},  // a '.' in a folder is enough to ask
      {"/d/archive.zq9", nullptr},       // no mapping
      {deep, "image/jpeg"},              // a long path keeps its extension
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path.substr(0, 40));
    const std::size_t before = tb.mime_types_set().size();
    EXPECT_EQ(PostProcessOutput(tb, c.path), 0);
    if (c.mime) {
      ASSERT_EQ(tb.mime_types_set().size(), before + 1);
      EXPECT_EQ(tb.mime_types_set().back(), std::make_pair(c.path, std::string(c.mime)));
    } else {
      EXPECT_EQ(tb.mime_types_set().size(), before);
    }
  }
}

TEST(InputRemoveCallBack, FollowsThePreferencesAtEveryCall) {
  test::TempDir dir;
  test::ScopedEnv xdg("XDG_DATA_HOME", dir.file("data").c_str());
  const std::string saved_trash = trashpath;
  const Prefs saved_prefs = prefs;
  trashpath = FindTrashPath();
  struct Case {
    std::int16_t del;
    std::int16_t trash;
    bool stays;
    bool trashed;
  };
  const Case cases[] = {{0, 0, true, false}, {3, 0, false, false}, {0, 1, false, true}};
  int n = 0;
  for (const Case& c : cases) {
    const std::string name = "in" + std::to_string(n++) + ".txt";
    const std::string path = dir.file(name);
    test::WriteBytes(path, "text");
    prefs.delete_inputs = c.del;
    prefs.trash_inputs = c.trash;
    EXPECT_EQ(InputRemoveCallBack(path), 0);
    EXPECT_EQ(fs::exists(path), c.stays) << name;
    EXPECT_EQ(fs::exists(trashpath + "/" + name), c.trashed) << name;
  }
  trashpath = saved_trash;
  prefs = saved_prefs;
}

}  // namespace
}  // namespace vantorelle::app
