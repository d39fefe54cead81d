// placement_cli_test.cpp - vantorelle-decode's placement options end to end.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "article_writer.hpp"
#include "cli_runner.hpp"

namespace vantorelle {
namespace {

namespace fs = std::filesystem;

// One single-part yEnc article; its subject text is «title - "name" yEnc ».
std::string article(const std::string& title, const std::string& name, const std::string& data) {
  return test::yenc_articles(title, name, data, 100'000)[0];
}

std::string subject_dir(const std::string& title, const std::string& name) {
  return title + " - \"" + name + "\" yEnc";  // the folder drops the trailing blank
}

class PlacementCli : public testing::Test {
 protected:
  // Writes the articles into in/articles.txt; outputs go below in/.
  void write_input(const std::string& text) {
    fs::create_directories(dir.path() / "in");
    test::write_file(dir.file("in/articles.txt"), text);
  }
  test::CliResult run(std::vector<std::string> options) {
    options.push_back("in/articles.txt");
    return test::run_cli(VANTORELLE_DECODE, options, dir.path().string());
  }
  std::string output(const std::string& relative) const { return test::read_file(dir.file("in/" + relative)); }
  // Every file below in/ but the input, relative to in/, sorted.
  std::vector<std::string> outputs() const {
    std::vector<std::string> found;
    for (const auto& e : fs::recursive_directory_iterator(dir.path() / "in")) {
      const std::string rel = fs::relative(e.path(), dir.path() / "in").string();
      if (e.is_regular_file() && rel != "articles.txt") found.push_back(rel);
    }
    std::sort(found.begin(), found.end());
    return found;
  }

  test::TempDir dir;
};

TEST_F(PlacementCli, OptionsPlaceOutputs) {
  const std::string holiday =
      article("holiday pictures A", "a.bin", "A") + article("holiday pictures B", "b.bin", "B") +
      article("vacation", "c.bin", "C");
  const std::string A = subject_dir("holiday pictures A", "a.bin");
  const std::string B = subject_dir("holiday pictures B", "b.bin");
  const std::string C = subject_dir("vacation", "c.bin");
  const std::string animals =
      article("one", "cat1.gif", "1") + article("two", "cat2.gif", "2") + article("three", "dog1.gif", "3");
  struct Case {
    const char* name;
    std::string input;
    std::vector<std::string> options;
    std::vector<std::string> outputs;  // sorted
  };
  const Case cases[] = {
      {"no option", holiday, {}, {"a.bin", "b.bin", "c.bin"}},
      {"subject directories, 8 characters", holiday, {"--subject-dirs"},
       {A + "/a.bin", A + "/b.bin", C + "/c.bin"}},
      {"subject directories, 20 characters", holiday, {"--subject-dirs", "--subject-length", "20"},
       {A + "/a.bin", B + "/b.bin", C + "/c.bin"}},
      {"length with '='", holiday, {"--subject-length=20", "--subject-dirs"},
       {A + "/a.bin", B + "/b.bin", C + "/c.bin"}},
      {"length alone changes nothing", holiday, {"--subject-length", "20"}, {"a.bin", "b.bin", "c.bin"}},
      {"name-prefix directories", animals, {"--prefix-dirs"}, {"cat/cat1.gif", "cat/cat2.gif", "dog/dog1.gif"}},
      {"name prefix wins over the subject", animals, {"--prefix-dirs", "--subject-dirs"},
       {"cat/cat1.gif", "cat/cat2.gif", "dog/dog1.gif"}},
      {"typed directory", holiday, {"--dir", "typed"}, {"typed/a.bin", "typed/b.bin", "typed/c.bin"}},
      {"typed directory with '='", holiday, {"--dir=my typed"},
       {"my typed/a.bin", "my typed/b.bin", "my typed/c.bin"}},
      {"empty typed directory", holiday, {"--dir", ""}, {"a.bin", "b.bin", "c.bin"}},
      {"typed directory holds while subjects agree", holiday, {"--dir", "holiday typed", "--subject-dirs"},
       {"holiday typed/a.bin", "holiday typed/b.bin", C + "/c.bin"}},
      {"typed directory under name prefixes", animals, {"--dir", "typed", "--prefix-dirs"},
       {"cat/cat1.gif", "cat/cat2.gif", "dog/dog1.gif"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(dir.path() / "in");
    write_input(c.input);
    const auto result = run(c.options);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(outputs(), c.outputs);
  }
  EXPECT_EQ(output("dog/dog1.gif"), "3");
}

TEST_F(PlacementCli, TypedDirectoryNeedsASubject) {
  const std::string bare = article("t", "bare.bin", "bare");
  write_input(bare.substr(bare.find("=ybegin")));
  const auto result = run({"--dir", "typed"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(outputs(), std::vector<std::string>{"bare.bin"});
}

TEST_F(PlacementCli, PostedSubjectsNeverLeadOutOfTheFolder) {
  write_input("Subject: ..\n" + article("t", "up.bin", "up").substr(article("t", "up.bin", "up").find("=ybegin")) +
              article("a/../../b:c", "deep.bin", "deep"));
  const auto result = run({"--subject-dirs"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(outputs(), (std::vector<std::string>{"a_.._.._b_c - \"deep.bin\" yEnc/deep.bin", "up.bin"}));
  EXPECT_FALSE(fs::exists(dir.path() / "up.bin"));
}

TEST_F(PlacementCli, LongNameIsUsedAsItIs) {
  const std::string name = std::string(126, 'n') + ".jpg";
  write_input(article("long", name, "long"));
  const auto result = run({});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(output(name), "long");
}

TEST_F(PlacementCli, DirectoryThatCannotBeMadeIsReported) {
  write_input(article("x", "x.bin", "x"));
  const auto result = run({"--dir", "no such/folder"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("error: Unable to open destination file '" + dir.file("in/no such/folder/x.bin")),
            std::string::npos)
      << result.err;
}

TEST_F(PlacementCli, UsageErrors) {
  write_input(article("x", "x.bin", "x"));
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{"--subject-length", "3"}, "--subject-length needs a whole number from 4 to 32767, not '3'"},
      {{"--subject-length", "abc"}, "not 'abc'"},
      {{"--subject-length=-8"}, "not '-8'"},
      {{"--subject-length", "40000"}, "not '40000'"},
      {{"--subject-length", ""}, "not ''"},
      {{"--dir", std::string(128, 'd')}, "--dir needs a NAME of fewer than 128 characters"},
      {{"--subject-dirs=yes"}, "unknown option '--subject-dirs=yes'"},
  };
  for (const auto& [options, why] : cases) {
    const auto result = run(options);
    EXPECT_EQ(result.status, 2) << why;
    EXPECT_EQ(result.err.rfind("vantorelle-decode: ", 0), 0u) << result.err;
    EXPECT_NE(result.err.find(why), std::string::npos) << result.err;
    EXPECT_EQ(outputs(), std::vector<std::string>{}) << why;
  }
  const auto missing = test::run_cli(VANTORELLE_DECODE, {"in/articles.txt", "--dir"}, dir.path().string());
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("option '--dir' needs a value"), std::string::npos) << missing.err;
}

TEST_F(PlacementCli, HelpDocumentsEveryOption) {
  const auto result = test::run_cli(VANTORELLE_DECODE, {"--help"}, dir.path().string());
  EXPECT_EQ(result.status, 0);
  for (const char* option : {"--subject-dirs", "--subject-length N", "--prefix-dirs", "--dir NAME",
                             "--delete-inputs", "--trash-inputs"}) {
    EXPECT_NE(result.out.find(std::string("  ") + option), std::string::npos) << option;
  }
}


// The disposal options, with a Trash of the test's own ($XDG_DATA_HOME).
class DisposalCli : public PlacementCli {
 protected:
  DisposalCli() {
    const char* old = std::getenv("XDG_DATA_HOME");
    if (old != nullptr) old_data_home_ = old;
    ::setenv("XDG_DATA_HOME", dir.file("data").c_str(), 1);
  }
  ~DisposalCli() override {
    if (old_data_home_) {
      ::setenv("XDG_DATA_HOME", old_data_home_->c_str(), 1);
    } else {
      ::unsetenv("XDG_DATA_HOME");
    }
  }
  // Writes each text into in/NAME; returns the absolute paths.
  std::vector<std::string> write_inputs(const std::vector<std::pair<std::string, std::string>>& files) {
    fs::create_directories(dir.path() / "in");
    std::vector<std::string> paths;
    for (const auto& [name, text] : files) {
      paths.push_back(dir.file("in/" + name));
      test::write_file(paths.back(), text);
    }
    return paths;
  }
  test::CliResult run_on(std::vector<std::string> args, const std::vector<std::string>& inputs) {
    args.insert(args.end(), inputs.begin(), inputs.end());
    return test::run_cli(VANTORELLE_DECODE, args, dir.path().string());
  }
  bool trashed(const std::string& name) const { return fs::exists(dir.path() / "data/Trash/files" / name); }

 private:
  std::optional<std::string> old_data_home_;
};

TEST_F(DisposalCli, InputsOfGoodOutputsAreDisposedOfAndOthersKept) {
  auto gap = test::yenc_articles("gap", "gap.bin", std::string(3000, 'g'), 1000);
  gap.erase(gap.begin() + 1);
  struct Case {
    const char* option;
    bool gone;     // the good input has left in/
    bool trashed;  // and is in the Trash
  };
  const Case cases[] = {{"--delete-inputs", true, false}, {"--trash-inputs", true, true}, {"--", false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.option);
    fs::remove_all(dir.path() / "in");
    fs::remove_all(dir.path() / "data");
    const auto inputs = write_inputs({{"good.txt", article("good", "good.bin", "good")},
                                      {"gap-1.txt", gap[0]},
                                      {"gap-3.txt", gap[1]}});
    const auto result = run_on({c.option}, inputs);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(output("good.bin"), "good");
    EXPECT_EQ(fs::exists(inputs[0]), !c.gone);
    EXPECT_EQ(trashed("good.txt"), c.trashed);
    EXPECT_TRUE(fs::exists(inputs[1]) && fs::exists(inputs[2])) << "inputs of a failed output stay";
    const bool asked = std::string(c.option) != "--";
    for (const std::string& kept : {inputs[1], inputs[2]}) {
      const std::string said = "warning: Keeping '" + kept + "': its output had errors\n";
      EXPECT_EQ(result.err.find(said) != std::string::npos, asked) << result.err;
    }
  }
}

TEST_F(DisposalCli, WithoutATrashNothingIsDecodedOrMoved) {
  test::write_file(dir.file("data"), "a file where the data folder should be");
  const auto inputs = write_inputs({{"good.txt", article("good", "good.bin", "good")}});
  const auto result = run_on({"--trash-inputs"}, inputs);
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("cannot find or make the Trash folder"), std::string::npos) << result.err;
  EXPECT_TRUE(fs::exists(inputs[0]));
  EXPECT_EQ(outputs(), std::vector<std::string>{"good.txt"});
}

}  // namespace
}  // namespace vantorelle
