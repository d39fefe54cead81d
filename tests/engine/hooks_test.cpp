// hooks_test.cpp - registration results, message formatting, the poll throttle, removal de-duplication.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "hooks.hpp"
#include "test_support.hpp"

namespace vantorelle {
namespace {

using test::BusyCall;
using test::HookRecorder;
using test::Message;

TEST(Registration, ResultsAreFixed) {
  HookRecorder hooks;
  EXPECT_EQ(uuInitialize(), 0);
  EXPECT_EQ(uuSetMsgCallback({}), 0);
  EXPECT_EQ(uuSetBusyCallback({}, 10), 0);
  EXPECT_EQ(uuSetInputRemoveCallback({}), 1);
  EXPECT_EQ(uuSetPostProcessOutputCallback({}), 1);
}

TEST(MsgDispatch, WithoutHookReturnsOneAndDoesNothing) {
  HookRecorder hooks;
  uuSetMsgCallback({});
  EXPECT_EQ(dispatch::MsgCallback(0, "Early EOF for file '%s'", "/x"), 1);
  EXPECT_TRUE(hooks.messages.empty());
}

TEST(MsgDispatch, FormatsBeforeCallingHook) {
  HookRecorder hooks;
  dispatch::MsgCallback(1, "Missing segment %d for '%s'", 3, "a.bin");
  EXPECT_EQ(hooks.messages, (std::vector<Message>{{1, "Missing segment 3 for 'a.bin'"}}));
}

TEST(MsgDispatch, CutsLongTextsAt511Bytes) {
  HookRecorder hooks;
  const std::string long_path(2000, 'p');
  dispatch::MsgCallback(0, "Early EOF for file '%s'", long_path.c_str());
  ASSERT_EQ(hooks.messages.size(), 1u);
  EXPECT_EQ(hooks.messages[0].text.size(), 511u);
  EXPECT_EQ(hooks.messages[0].text.substr(0, 20), "Early EOF for file '");
}

TEST(BusyDispatch, PercentMovesBehindText) {
  HookRecorder hooks;
  EXPECT_EQ(dispatch::BusyCallback(2, 0, 50, "%s", "/out/a.bin"), 0);
  EXPECT_EQ(hooks.busy, (std::vector<BusyCall>{{2, 0, "/out/a.bin", 50}}));
  uuSetBusyCallback({}, 10);
  EXPECT_EQ(dispatch::BusyCallback(2, 0, 50, "%s", "/out/a.bin"), 1);
}

struct PollCase {
  const char* name;
  int interval_ms;
  std::vector<std::time_t> clock;  // the clock at each poll
  std::vector<bool> reaches;       // whether that poll reaches the hook
};

class BusyPollThrottle : public testing::TestWithParam<PollCase> {};

TEST_P(BusyPollThrottle, ReachesHookOnlyWhenIntervalExceeded) {
  const PollCase& c = GetParam();
  HookRecorder hooks;
  uuSetBusyCallback(
      [&](int type, int state, std::string_view text, int percent) {
        hooks.busy.push_back({type, state, std::string(text), percent});
        return 7;
      },
      c.interval_ms);
  std::time_t now = 0;
  dispatch::SetClockForTesting([&] { return now; });
  for (std::size_t i = 0; i < c.clock.size(); ++i) {
    now = c.clock[i];
    const std::size_t before = hooks.busy.size();
    const int result = dispatch::BusyPoll();
    const bool reached = hooks.busy.size() > before;
    EXPECT_EQ(reached, c.reaches[i]) << "poll " << i;
    EXPECT_EQ(result, reached ? 7 : 0) << "poll " << i;
    EXPECT_EQ(uuStopRequested(), hooks.busy.size() != 0) << "a nonzero result asks for a stop";
    if (reached) {
      EXPECT_EQ(hooks.busy.back(), (BusyCall{0, 0, "", 0}));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BusyPollThrottle,
    testing::Values(
        PollCase{"FirstPollAlwaysReaches", 10, {1000}, {true}},
        PollCase{"SameSecondIsThrottled", 10, {1000, 1000, 1000}, {true, false, false}},
        PollCase{"NextSecondReachesAgain", 10, {1000, 1000, 1001, 1001, 1002}, {true, false, true, false, true}},
        PollCase{"IntervalZeroLetsEveryPollThrough", 0, {1000, 1000, 1000}, {true, true, true}},
        PollCase{"NegativeIntervalLetsEveryPollThrough", -5, {1000, 1000}, {true, true}},
        PollCase{"OneAndAHalfSecondsNeedsTwoSeconds", 1500, {1000, 1001, 1002, 1003, 1004}, {true, false, true, false, true}},
        // The interval must be exceeded, not just reached.
        PollCase{"ExactlyOneSecondIsNotEnough", 1000, {1000, 1001, 1002, 1004}, {true, false, true, true}},
        PollCase{"ExactlyTwoSecondsAreNotEnough", 2000, {1000, 1002, 1003, 1005}, {true, false, true, false}}),
    [](const testing::TestParamInfo<PollCase>& info) { return info.param.name; });

TEST(BusyPoll, TheStandardClockCountsMillisecondsNotWholeSeconds) {
  HookRecorder hooks;
  int polls = 0;
  uuSetBusyCallback([&](int type, int, std::string_view, int) { polls += type == 0; return 0; }, 10000);
  dispatch::BusyPoll();
  dispatch::BusyPoll();
  EXPECT_EQ(polls, 1) << "within the interval";
  uuSetBusyCallback([&](int type, int, std::string_view, int) { polls += type == 0; return 0; }, 1);
  for (int i = 0; i < 3; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    dispatch::BusyPoll();
  }
  EXPECT_EQ(polls, 4) << "a 1 ms interval must not wait for the next whole second";
}

TEST(BusyPoll, WithoutHookReturnsZero) {
  HookRecorder hooks;
  uuSetBusyCallback({}, 10);
  EXPECT_EQ(dispatch::BusyPoll(), 0);
}

TEST(RemovalDispatch, SkipsOnlyThePathHandedOverLast) {
  HookRecorder hooks;
  for (const char* p : {"A", "A", "B", "A"}) dispatch::InputRemoveCallback(p);
  EXPECT_EQ(hooks.removed, (std::vector<std::string>{"A", "B", "A"}));
  // Remembered across runs: a next run starting with A hands nothing over.
  uuSetInputRemoveCallback([&](const std::string& p) {
    hooks.removed.push_back("run2:" + p);
    return 5;
  });
  EXPECT_EQ(dispatch::InputRemoveCallback("A"), 0);
  EXPECT_EQ(dispatch::InputRemoveCallback("C"), 5);
  EXPECT_EQ(hooks.removed.back(), "run2:C");
}

TEST(RemovalDispatch, WithoutHookNothingIsRemembered) {
  HookRecorder hooks;
  uuSetInputRemoveCallback({});
  EXPECT_EQ(dispatch::InputRemoveCallback("A"), 0);
  uuSetInputRemoveCallback([&](const std::string& p) {
    hooks.removed.push_back(p);
    return 0;
  });
  dispatch::InputRemoveCallback("A");
  EXPECT_EQ(hooks.removed, (std::vector<std::string>{"A"}));
}

TEST(FileNameDispatch, WithoutFilterTheNameIsThePath) {
  HookRecorder hooks;
  std::string name = "photo.jpg";
  EXPECT_EQ(dispatch::FNameFilter(name), "photo.jpg");
  uuSetFNameFilter([](std::string& n) {
    n = std::string(300, 'x');  // a filter that overfills the name
    return std::string("/out/") + "y";
  });
  EXPECT_EQ(dispatch::FNameFilter(name), "/out/y");
  EXPECT_EQ(name.size(), kMaxNameLength);
}

}  // namespace
}  // namespace vantorelle
