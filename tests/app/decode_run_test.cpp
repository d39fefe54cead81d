// decode_run_test.cpp - a whole decode run: questions, order, placement and which inputs are handed over.
#include "decode_run.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>

#include "article_writer.hpp"
#include "failing_file_system.hpp"
#include "output_placement.hpp"
#include "par2_writer.hpp"
#include "run_results.hpp"
#include "run_state.hpp"
#include "stop_signals.hpp"
#include "test_support.hpp"

namespace vantorelle::app {
namespace {

std::string all_of(const std::vector<std::string>& articles) {
  std::string text;
  for (const std::string& article : articles) text += article;
  return text;
}

// Hooks that record what the run did, in one event list.
class Recorder {
 public:
  RunHooks hooks() {
    RunHooks h;
    h.message = [this](int level, std::string_view text) {
      messages.push_back({level, std::string(text)});
      return 1;
    };
    h.busy = [this](int type, int, std::string_view text, int) {
      if (type == kBusyScanning) events.push_back("scan " + std::string(text));
      return 0;
    };
    h.directory = [](const std::string& dest_name, std::string& subject) {
      return DirectoryCallback(dest_name, subject);
    };
    h.file_name_filter = [this](std::string& name) {
      return FNameFilter(name, [this](const std::string&, std::string&) { return name_answer; });
    };
    h.post_process = [this](const std::string& path) {
      events.push_back("output " + path);
      return 0;
    };
    h.input_remove = [this](const std::string& path) {
      events.push_back("remove " + path);
      removed.push_back(path);
      return 0;
    };
    h.ask_directory_length = [this] {
      events.push_back("ask length");
      seen_at_length_question = run_state();
    };
    h.ask_directory = [this](const std::string& proposal) {
      events.push_back("ask directory " + proposal);
      if (typed_directory) UseOutputDirectory(*typed_directory);
      return !cancel_directory;
    };
    return h;
  }

  std::vector<test::Message> messages;
  std::vector<std::string> events;
  std::vector<std::string> removed;
  RunState seen_at_length_question;
  std::optional<std::string> typed_directory;
  bool cancel_directory = false;
  NameAnswer name_answer = NameAnswer::kKeepLong;
};

class DecodeRun : public testing::Test {
 protected:
  DecodeRun() {
    dispatch::ResetStateForTesting();
    run_state() = RunState{};
    run_state().path_ = base();
  }
  ~DecodeRun() override {
    uuSetMsgCallback({});
    uuSetBusyCallback({}, 10);
    uuSetDirectoryCallback({});
    uuSetFNameFilter({});
    uuSetInputRemoveCallback({});
    uuSetPostProcessOutputCallback({});
    dispatch::ResetStateForTesting();
    run_state() = RunState{};
  }

  std::string base() const { return dir.path().string() + "/"; }
  std::string input(const std::string& name, const std::string& text) {
    test::write_file(dir.file(name), text);
    return dir.file(name);
  }
  int run(const std::vector<std::string>& inputs, const RunHooks& hooks) {
    std::vector<std::string> argv{"Vantorelle"};
    argv.insert(argv.end(), inputs.begin(), inputs.end());
    return xmain(argv, hooks);
  }
  int run(const std::vector<std::string>& inputs) { return run(inputs, recorder.hooks()); }

  test::TempDir dir;
  Recorder recorder;
};

// A yEnc input without a Subject line: its record has an empty subject.
std::string bare_yenc(const std::string& name, std::string_view data) {
  const std::string article = test::yenc_articles("t", name, data, 1000)[0];
  return article.substr(article.find("=ybegin"));
}

TEST_F(DecodeRun, NoInputAsksOnlyTheLengthQuestionAndOnlyWithShiftAndControl) {
  struct Case {
    bool shift, control, option;
    std::vector<std::string> events;
  };
  const Case cases[] = {
      {false, false, false, {}},
      {true, true, false, {"ask length"}},
      {false, true, false, {}},
      {true, false, false, {}},
      {true, true, true, {"ask length"}},
  };
  for (const Case& c : cases) {
    Recorder fresh;
    run_state().shiftKey_ = c.shift;
    run_state().controlKey_ = c.control;
    run_state().optionKey_ = c.option;
    EXPECT_EQ(run({}, fresh.hooks()), 0);
    EXPECT_EQ(fresh.events, c.events) << c.shift << c.control << c.option;
  }
}

TEST_F(DecodeRun, RunGlobalsAreResetBeforeTheFirstQuestion) {
  RunState& state = run_state();
  state.directory_ = "old";
  state.dir_cmp_len_ = 20;
  state.error_count = 5;
  state.shiftKey_ = state.controlKey_ = true;
  run({});
  EXPECT_EQ(recorder.seen_at_length_question.directory_, "");
  EXPECT_EQ(recorder.seen_at_length_question.dir_cmp_len_, 8);
  EXPECT_EQ(recorder.seen_at_length_question.error_count, 0);
}

TEST_F(DecodeRun, DirectoryQuestionProposesTheFirstSubjectText) {
  struct Case {
    const char* name;
    std::string text;
    std::vector<std::string> asked;
  };
  const Case cases[] = {
      {"subject", test::yenc_articles("holiday pictures", "a.bin", "aaaa", 1000)[0],
       {"ask directory holiday pictures - \"a.bin\" yEnc "}},
      {"no Subject line", bare_yenc("a.bin", "aaaa"), {}},
      {"one-character subject", "Subject:x (1/1)\n" + bare_yenc("a.bin", "aaaa"), {}},
      {"nothing encoded", "From: me\n\nno data\n", {}},
  };
  for (const Case& c : cases) {
    test::TempDir fresh;
    run_state() = RunState{};
    run_state().path_ = fresh.path().string() + "/";
    run_state().optionKey_ = true;
    test::write_file(fresh.file("in.txt"), c.text);
    Recorder r;
    run({fresh.file("in.txt")}, r.hooks());
    std::vector<std::string> asked;
    std::copy_if(r.events.begin(), r.events.end(), std::back_inserter(asked),
                 [](const std::string& e) { return e.rfind("ask", 0) == 0; });
    EXPECT_EQ(asked, c.asked) << c.name;
  }
}

TEST_F(DecodeRun, InputsAreScannedInVectorOrderAndAllDecodedBeforeAnyIsHandedOver) {
  const auto one = test::yenc_articles("one", "one.bin", "11112222", 4);
  const std::string c = input("c.txt", one[0]);
  const std::string a = input("a.txt", test::yenc_articles("two", "two.bin", "2222", 1000)[0]);
  const std::string b = input("b.txt", one[1] + test::yenc_articles("three", "three.bin", "3333", 1000)[0]);
  run({c, a, b});
  const std::vector<std::string> expected = {
      "scan " + c,   "scan " + a,   "scan " + b,   "output " + base() + "one.bin", "output " + base() + "two.bin",
      "output " + base() + "three.bin", "remove " + c, "remove " + b, "remove " + a, "remove " + b,
  };
  EXPECT_EQ(recorder.events, expected);
}

TEST_F(DecodeRun, ACancelledQuestionDecodesNothingMoreAndHandsNothingOver) {
  const std::string long_name = std::string(130, 'l') + ".bin";
  struct Case {
    const char* name;
    bool cancel_directory;
    NameAnswer name_answer;
    std::vector<std::string> outputs;
  };
  const Case cases[] = {
      {"the directory question, before anything is decoded", true, NameAnswer::kKeepLong, {}},
      {"the name question of the second output", false, NameAnswer::kCancelRun, {"a.bin"}},
      {"neither", false, NameAnswer::kKeepLong, {"a.bin", long_name, "c.bin"}},
  };
  for (const Case& c : cases) {
    test::TempDir fresh;
    run_state() = RunState{};
    run_state().path_ = fresh.path().string() + "/";
    run_state().optionKey_ = c.cancel_directory;
    // In two parts each, which are decoded while they are scanned.
    test::write_file(fresh.file("in.txt"), all_of(test::yenc_articles("subject", "a.bin", "AA", 1)) +
                                               all_of(test::yenc_articles("long", long_name, "LL", 1)) +
                                               all_of(test::yenc_articles("third", "c.bin", "CC", 1)));
    Recorder r;
    r.cancel_directory = c.cancel_directory;
    r.name_answer = c.name_answer;
    run({fresh.file("in.txt")}, r.hooks());
    std::vector<std::string> outputs;
    bool removed = false;
    for (const std::string& e : r.events) {
      if (e.starts_with("output ")) outputs.push_back(e.substr(e.rfind('/') + 1));
      removed = removed || e.starts_with("remove ");
    }
    EXPECT_EQ(outputs, c.outputs) << c.name;
    EXPECT_EQ(removed, c.outputs.size() == 3) << c.name;
    // What was decoded ahead for the outputs never made is gone with the run.
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(fresh.path())) files += entry.is_regular_file();
    EXPECT_EQ(files, 1 + c.outputs.size()) << c.name;
    EXPECT_TRUE(r.messages.empty()) << c.name << ": " << (r.messages.empty() ? "" : r.messages[0].text);
  }
}

TEST_F(DecodeRun, TypedDirectoryHoldsOnlyWhileSubjectsAgree) {
  const std::string in = input("in.txt", test::yenc_articles("holiday pictures A", "a.bin", "A", 10)[0] +
                                             test::yenc_articles("holiday pictures B", "b.bin", "B", 10)[0] +
                                             test::yenc_articles("vacation", "c.bin", "C", 10)[0]);
  run_state().optionKey_ = true;
  run_state().shiftKey_ = true;
  recorder.typed_directory = "holiday typed";
  run({in});
  EXPECT_EQ(test::read_file(dir.file("holiday typed/a.bin")), "A");
  EXPECT_EQ(test::read_file(dir.file("holiday typed/b.bin")), "B");
  EXPECT_EQ(test::read_file(dir.file("vacation - \"c.bin\" yEnc/c.bin")), "C");
}

TEST_F(DecodeRun, SubjectReplacementIsKeptInTheCatalogue) {
  const std::string in = input("in.txt", test::yenc_articles("Rome/Paris: day 1", "a.bin", "A", 10)[0]);
  RunHooks hooks = recorder.hooks();
  uuSetDirectoryCallback(hooks.directory);
  uuSetFNameFilter(hooks.file_name_filter);
  run_state().shiftKey_ = true;
  Catalogue catalogue;
  uuScanFile(catalogue, in);
  ASSERT_EQ(catalogue.size(), 1u);
  uuDecode(&catalogue.records().front());
  EXPECT_EQ(catalogue.records().front().subject_text(), "Rome_Paris_ day 1 - \"a.bin\" yEnc ");
  EXPECT_EQ(test::read_file(dir.file("Rome_Paris_ day 1 - \"a.bin\" yEnc/a.bin")), "A");
}

TEST_F(DecodeRun, PostedDotDotSubjectStaysInTheFolder) {
  std::filesystem::create_directory(dir.path() / "in");
  run_state().path_ = base() + "in/";
  run_state().shiftKey_ = true;
  const std::string in = input("in/x.txt", "Subject: ..\n" + bare_yenc("x.bin", "X"));
  run({in});
  EXPECT_EQ(test::read_file(dir.file("in/x.bin")), "X");
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "x.bin"));
}

// How an output can fail; each makes the run keep the inputs of that output.
struct Failure {
  const char* name;
  OutputVerdict verdict;                  // what the results say of bad.bin
  std::vector<std::string> bad_articles;  // the failing output's articles, one input each
  const char* output_path;                // forced output path of bad.bin, "" for the usual one
  int open_error = 0;                     // the system's answer to opening bad.bin
  int write_error = 0;                    // and to writing it
};

std::vector<Failure> failures() {
  const std::string data(3000, 'd');
  auto missing = test::yenc_articles("bad", "bad.bin", data, 1000);
  missing.erase(missing.begin() + 1);
  auto corrupt = test::yenc_articles("bad", "bad.bin", data, 1000);
  corrupt[1][corrupt[1].find("=ypart") + 40] ^= 1;
  auto cut = test::uu_articles("bad", "bad.bin", data, 30);
  cut.back() = cut.back().substr(0, cut.back().size() / 2);
  auto uu_missing = test::uu_articles("bad", "bad.bin", data, 30);
  uu_missing.erase(uu_missing.begin() + 1);
  auto twice = test::yenc_articles("bad", "bad.bin", data, 1000);
  twice.insert(twice.begin() + 2, twice[1]);
  // Two outputs with a gap each, the first parts of both in one input.
  auto other = test::yenc_articles("worse", "worse.bin", data, 1000);
  std::vector<std::string> two_in_one{missing[0] + other[0], missing[1], other[2]};
  const auto plain = test::yenc_articles("bad", "bad.bin", data, 1000);
  return {
      {"missing part", OutputVerdict::kMissingParts, missing, ""},
      {"uuencoded part missing", OutputVerdict::kMissingParts, uu_missing, ""},
      {"part saved twice", OutputVerdict::kGood, twice, ""},
      {"one input with parts of two failed outputs", OutputVerdict::kMissingParts, two_in_one, ""},
      {"part CRC mismatch", OutputVerdict::kCrc, corrupt, ""},
      {"uuencoded data cut short", OutputVerdict::kDamaged, cut, ""},
      {"output cannot be created", OutputVerdict::kNotWritten, plain, "/nonexistent folder/bad.bin"},
      {"output cannot be written", OutputVerdict::kDamaged, plain, "", 0, ENOSPC},
      {"output refused, even to root", OutputVerdict::kNotWritten, plain, "", EACCES},
  };
}

TEST_F(DecodeRun, InputsOfAFailedOutputAreKept) {
  for (const Failure& f : failures()) {
    for (const bool requested : {false, true}) {
      SCOPED_TRACE(std::string(f.name) + (requested ? ", disposal requested" : ", no disposal"));
      test::TempDir fresh;
      dispatch::ResetStateForTesting();
      run_state() = RunState{};
      run_state().path_ = fresh.path().string() + "/";
      std::vector<std::string> inputs;
      for (std::size_t i = 0; i < f.bad_articles.size(); ++i) {
        inputs.push_back(fresh.file("bad-" + std::to_string(i) + ".txt"));
        test::write_file(inputs.back(), f.bad_articles[i]);
      }
      // The first bad input also carries a good output: it is kept all the same.
      test::write_file(inputs.front(),
                       test::yenc_articles("mixed", "mixed.bin", "m", 10)[0] + f.bad_articles.front());
      const std::string good = fresh.file("good.txt");
      test::write_file(good, test::yenc_articles("good", "good.bin", "g", 10)[0]);
      inputs.push_back(good);

      const std::string output = fresh.file("bad.bin");
      test::FailingFileSystem system;
      if (f.open_error != 0) system.Fail(test::FailingFileSystem::Call::kOpen, output, f.open_error);
      if (f.write_error != 0) system.Fail(test::FailingFileSystem::Call::kWrite, output, f.write_error);
      Recorder r;
      RunHooks hooks = r.hooks();
      hooks.disposal_requested = requested;
      if (*f.output_path != '\0') {
        hooks.file_name_filter = [&f](std::string& name) {
          return name == "bad.bin" ? std::string(f.output_path) : FNameFilter(name);
        };
      }
      run(inputs, hooks);

      EXPECT_EQ(r.removed, std::vector<std::string>{good});
      std::vector<test::Message> keeping;
      for (const auto& m : r.messages) {
        if (m.text.rfind("Keeping", 0) == 0) keeping.push_back(m);
      }
      std::vector<test::Message> expected;
      for (std::size_t i = 0; requested && i + 1 < inputs.size(); ++i) {
        expected.push_back({kLevelWarning, "Keeping '" + inputs[i] + "': its output had errors"});
      }
      EXPECT_EQ(keeping, expected);
      EXPECT_EQ(test::read_file(fresh.file("good.bin")), "g");
      const auto bad = std::find_if(LastRun().outputs.begin(), LastRun().outputs.end(),
                                    [](const OutputResult& o) { return o.name == "bad.bin"; });
      ASSERT_NE(bad, LastRun().outputs.end());
      EXPECT_EQ(VerdictText(bad->verdict), VerdictText(f.verdict));
      EXPECT_EQ(LastRun().inputs.size(), inputs.size());
      EXPECT_EQ(LastRun().disposal_requested, requested);
    }
  }
}

// Two runs into one folder meet at the name choice: the other run's output
// appears under the name just found free. Files a killed run left are named
// once and left alone; one that a live run is writing (and locks) is not.
TEST_F(DecodeRun, RunsAtOnceKeepEachOthersFilesAndLeftoversAreNamedOnce) {
  const std::string output = dir.file("same.bin");
  test::write_file(dir.file(".same.bin.vantorelle-k1lled"), "cut short");
  test::write_file(dir.file(".other.bin.vantorelle-a1ive0"), "being written");
  const int live = ::open(dir.file(".other.bin.vantorelle-a1ive0").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(::flock(live, LOCK_EX), 0);
  const std::string in = input("in.txt", test::yenc_articles("same", "same.bin", "mine", 10)[0] +
                                             test::yenc_articles("again", "same.bin", "mine too", 10)[0]);
  test::FailingFileSystem system;
  system.AfterCheck(output, [&output] { test::write_file(output, "the other run's"); });
  RunHooks hooks = recorder.hooks();
  hooks.disposal_requested = true;
  run({in}, hooks);

  EXPECT_EQ(test::read_file(output), "the other run's");
  EXPECT_EQ(test::read_file(dir.file("same-(0).bin")), "mine");
  EXPECT_EQ(test::read_file(dir.file("same-(1).bin")), "mine too");
  for (const char* name : {"same-(0).bin", "same-(1).bin"})  // listed under the names they really have
    EXPECT_NE(std::find(recorder.events.begin(), recorder.events.end(), "output " + dir.file(name)), recorder.events.end());
  EXPECT_EQ(recorder.messages,
            (std::vector<test::Message>{
                {kLevelWarning, "Left over from an interrupted run: '" + dir.file(".same.bin.vantorelle-k1lled") + "'"}}));
  EXPECT_EQ(recorder.removed, std::vector<std::string>{in});  // the leftover keeps no input back
  EXPECT_EQ(test::read_file(dir.file(".same.bin.vantorelle-k1lled")), "cut short");
  ::close(live);
}

// A stop ends the run where it is seen: finished outputs stay, the one being
// written goes, nothing is handed over, and the results say so.
TEST_F(DecodeRun, StopKeepsFinishedOutputsRemovesTheCutShortOneAndHandsNothingOver) {
  struct Case {
    const char* name;
    bool (*stop)(int type, int state, std::string_view text, int percent, std::string_view output);
    std::vector<std::string> outputs_left;
  };
  const Case cases[] = {
      {"while scanning", [](int type, int, std::string_view text, int, std::string_view) {
         return type == kBusyScanning && text.ends_with("b.txt");
       }, {}},
      {"at a part boundary", [](int type, int state, std::string_view text, int, std::string_view) {
         return type == kBusyDecoding && state == 0 && text.ends_with("b.bin");
       }, {"a.bin"}},
      {"inside one large part", [](int type, int, std::string_view, int percent, std::string_view output) {
         return type == kBusyPoll && percent > 0 && percent < 100 && output.ends_with("b.bin");
       }, {"a.bin"}},
      {"by Ctrl-C inside one large part", [](int type, int, std::string_view, int percent, std::string_view output) {
         if (type == kBusyPoll && percent > 0 && output.ends_with("b.bin") && StopSignal() == 0) std::raise(SIGINT);
         return false;
       }, {"a.bin"}},
  };
  StopRunOnSignals();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir fresh;
    run_state().path_ = fresh.path().string() + "/";
    const std::string a = fresh.file("a.txt");
    const std::string b = fresh.file("b.txt");
    test::write_file(a, all_of(test::yenc_articles("a", "a.bin", std::string(5000, 'a'), 2500)));
    test::write_file(b, all_of(test::yenc_articles("b", "b.bin", std::string(1 << 21, 'b'), 1 << 20)));
    std::time_t now = 0;
    dispatch::SetClockForTesting([&now] { return ++now; });
    Recorder r;
    RunHooks hooks = r.hooks();
    hooks.disposal_requested = true;
    std::string output;
    hooks.busy = [&](int type, int state, std::string_view text, int percent) {
      if (type == kBusyDecoding) output = text;
      return c.stop(type, state, text, percent, output) ? 1 : 0;
    };
    run({a, b}, hooks);
    dispatch::SetClockForTesting({});
    EXPECT_TRUE(LastRun().stopped);
    EXPECT_TRUE(r.removed.empty());
    // Nothing else is left, under a temporary name either.
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(fresh.path())) {
      if (entry.path().extension() != ".txt") left.push_back(entry.path().filename());
    }
    EXPECT_EQ(left, c.outputs_left);
    ASSERT_EQ(LastRun().outputs.size(), c.outputs_left.size() * 2);
    if (!c.outputs_left.empty()) {
      EXPECT_EQ(LastRun().outputs.back().verdict, OutputVerdict::kStopped);
    }
    EXPECT_EQ(LastRun().inputs.size(), 2u);
  }
  EXPECT_EQ(StopSignal(), SIGINT);
  RestoreSignals();
}

TEST_F(DecodeRun, NothingToDecodeIsSaid) {
  const std::string in = input("list.txt", "eggs\nmilk\n");
  RunHooks hooks = recorder.hooks();
  run({in}, hooks);
  EXPECT_TRUE(recorder.messages.empty()) << "only when asked to";
  hooks.say_nothing_found = true;
  run({in}, hooks);
  EXPECT_EQ(recorder.messages, (std::vector<test::Message>{{kLevelWarning, "No encoded data found in " + in}}));
}

TEST_F(DecodeRun, NotesDoNotKeepAnInput) {
  // Whole data lines only, so no short line before the terminator: a note.
  const std::string in =
      input("note.txt", test::uu_articles("note", "note.bin", std::string(90, 'n'), 100, "\n")[0]);
  RunHooks hooks = recorder.hooks();
  hooks.disposal_requested = true;
  run({in}, hooks);
  ASSERT_FALSE(recorder.messages.empty());
  for (const auto& m : recorder.messages) EXPECT_EQ(m.level, kLevelNote) << m.text;
  EXPECT_EQ(recorder.removed, std::vector<std::string>{in});
}

TEST_F(DecodeRun, WithoutARemovalHookNothingIsHandedOverOrSaid) {
  auto parts = test::yenc_articles("gap", "gap.bin", std::string(3000, 'x'), 1000);
  const std::string in = input("in.txt", parts[0] + parts[2]);
  RunHooks hooks = recorder.hooks();
  hooks.input_remove = {};
  hooks.disposal_requested = true;
  run({in}, hooks);
  for (const auto& m : recorder.messages) EXPECT_EQ(m.text.find("Keeping"), std::string::npos);
}

// A PAR2 set that comes with a posting is checked before any input is handed
// over: what it finds decides whether the inputs of its file are good, and a
// repair replaces only what the run wrote.
TEST_F(DecodeRun, Par2SetsAmongTheOutputsDecideWhatIsGood) {
  struct Case {
    const char* name;
    bool drop_part_2;
    Par2Mode mode;
    bool set_as_file;        // the volume dropped as it is, not posted
    bool stale_file;         // an older set.bin, one byte off, already in the folder
    bool set_of_other_data;  // the set was made of other bytes of the same size
    Par2Check expected;      // of the output named set.bin
    bool exact;              // set.bin holds the posted bytes afterwards
    bool inputs_removed;     // the first article of set.bin was handed over
    const char* said;        // the start of the last message
  };
  const Case cases[] = {
      {"complete", false, Par2Mode::kVerify, false, false, false, Par2Check::kCorrect, true, true, "PAR2: all files"},
      {"part missing, verified", true, Par2Mode::kVerify, false, false, false, Par2Check::kDamaged, false, false,
       "Keeping"},
      {"part missing, repaired", true, Par2Mode::kRepair, false, false, false, Par2Check::kRepaired, true, true,
       "Repaired 'set.bin'"},
      {"set dropped as a file", true, Par2Mode::kRepair, true, false, false, Par2Check::kRepaired, true, true,
       "Repaired 'set.bin'"},
      {"no PAR2 check", true, Par2Mode::kOff, false, false, false, Par2Check::kNone, false, false, "Keeping"},
      {"good by decoding, wrong by the set", false, Par2Mode::kRepair, false, false, true, Par2Check::kDamaged, true,
       false, "Keeping"},
      {"another file under the set's name", false, Par2Mode::kRepair, false, true, false, Par2Check::kNone, false, true,
       "Not repairing"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir fresh;
    dispatch::ResetStateForTesting();
    run_state() = RunState{};
    run_state().path_ = fresh.path().string() + "/";
    std::string data(3000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 % 251);
    par2::test::Bytes original(data.begin(), data.end());
    // Wrong in four blocks of six: more than the three recovery blocks mend.
    for (std::size_t at = 5; c.set_of_other_data && at < 2000; at += 500) original[at] ^= 1;
    const par2::test::SetWriter set(500, {{"set.bin", original}});
    const par2::test::Bytes volume = set.volume({1, 2, 3});
    std::vector<std::string> inputs;
    const auto parts = test::yenc_articles("posting", "set.bin", data, 1000);
    for (std::size_t p = 0; p < parts.size(); ++p) {
      if (c.drop_part_2 && p == 1) continue;
      inputs.push_back(fresh.file("part" + std::to_string(p + 1) + ".txt"));
      test::write_file(inputs.back(), parts[p]);
    }
    inputs.push_back(fresh.file(c.set_as_file ? "set.par2" : "par2.txt"));
    if (c.set_as_file) {
      par2::test::write_file(inputs.back(), volume);
    } else {
      const std::string bytes(volume.begin(), volume.end());
      test::write_file(inputs.back(), test::yenc_articles("recovery", "set.par2", bytes, 1 << 20)[0]);
    }
    const std::string stale = "S" + data.substr(1);  // one block off: a repair would replace it
    if (c.stale_file) test::write_file(fresh.file("set.bin"), stale);
    Recorder r;
    RunHooks hooks = r.hooks();
    hooks.disposal_requested = true;
    hooks.par2 = c.mode;
    run(inputs, hooks);

    const std::string path = fresh.file(c.stale_file ? "set-(0).bin" : "set.bin");
    const auto output = std::find_if(LastRun().outputs.begin(), LastRun().outputs.end(),
                                     [&](const OutputResult& o) { return o.path == path; });
    ASSERT_NE(output, LastRun().outputs.end());
    EXPECT_EQ(output->par2, c.expected);
    EXPECT_EQ(IsExact(*output), c.inputs_removed);
    EXPECT_EQ(test::read_file(fresh.file("set.bin")) == data, c.exact);
    if (c.stale_file) {
      EXPECT_EQ(test::read_file(fresh.file("set.bin")), stale) << "not the run's to replace";
    }
    EXPECT_EQ(std::count(r.removed.begin(), r.removed.end(), inputs.front()), c.inputs_removed ? 1 : 0);
    ASSERT_FALSE(r.messages.empty());
    EXPECT_EQ(r.messages.back().text.rfind(c.said, 0), 0u) << r.messages.back().text;
    EXPECT_FALSE(std::filesystem::exists(fresh.file("set.bin.1")));
    EXPECT_EQ(LastRun().par2.size(), c.mode == Par2Mode::kOff ? 0u : 1u);
  }
}

}  // namespace
}  // namespace vantorelle::app
