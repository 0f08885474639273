// Progress throttling and the two error reports, on the fake platform.
#include "report/report.h"

#include <gtest/gtest.h>

#include <climits>

#include "fake_platform.h"
#include "platform/platform.h"

namespace {

class ReportTest : public ::testing::Test {
 protected:
  void SetUp() override { fake::Reset(); }
};

TEST_F(ReportTest, ThrottleDecisions) {
  struct Case {
    const char* name;
    ProgressThrottle throttle;
    std::vector<int32_t> clock;
    bool allowed;
    int reads;
  };
  const Case cases[] = {
      {"interval 0, clock ahead", {0, 0}, {5}, true, 1},
      {"interval 0, clock equal", {0, 70}, {70}, true, 1},
      {"interval 0, clock went back", {0, 100}, {50, 50}, false, 2},
      {"first interval of the process", {1000, 0}, {500, 500}, true, 2},
      {"first interval, last line recent", {1000, 900}, {950, 950}, true, 2},
      {"last line 400 ms back", {1000, 5000}, {5400, 5400}, false, 2},
      {"interval just passed", {1000, 5000}, {6000}, true, 1},
      {"second reading decides", {1000, 5000}, {5400, 999}, true, 2},
      {"difference wraps", {20, INT32_MAX - 10}, {INT32_MIN + 10}, true, 1},
  };
  for (const Case& c : cases) {
    fake::Reset();
    fake::SetClockReadings(c.clock);
    EXPECT_EQ(ThrottleAllows(c.throttle), c.allowed) << c.name;
    EXPECT_EQ(fake::ClockReads(), c.reads) << c.name;
  }
}

TEST_F(ReportTest, LineEndsMoveLastLineTime) {
  ProgressThrottle throttle = {0, 0};
  // Each call reads the clock to decide; a written line end reads it again.
  fake::SetClockReadings({10, 20, 30, 40, 50, 60, 70});
  ThrottledWrite(throttle, "\nCopying folder ");
  EXPECT_EQ(throttle.lastLineTime, 0);
  ThrottledWrite(throttle, "");
  EXPECT_EQ(throttle.lastLineTime, 0);
  ThrottledWrite(throttle, "Data\n");
  EXPECT_EQ(throttle.lastLineTime, 40);
  ThrottledEndLine(throttle);
  EXPECT_EQ(throttle.lastLineTime, 60);
  EXPECT_EQ(fake::Output(), "\nCopying folder Data\n\n");
}

TEST_F(ReportTest, HeldBackPiecesAndLineEndsChangeNothing) {
  ProgressThrottle throttle = {1000, 5000};
  fake::SetClockReadings({5400});
  ThrottledWrite(throttle, "\tCopied file ");
  ThrottledWrite(throttle, "a.bin\n");
  ThrottledEndLine(throttle);
  EXPECT_EQ(fake::Output(), "");
  EXPECT_EQ(throttle.lastLineTime, 5000);
}

TEST_F(ReportTest, LineLosesPiecesWhenIntervalRunsOutMidway) {
  ProgressThrottle throttle = {1000, 5000};
  // The first piece is held back; by the second the interval has passed.
  fake::SetClockReadings({5400, 5400, 6100, 6100, 6200});
  ThrottledWrite(throttle, "\tCopied file ");
  ThrottledWrite(throttle, "a.bin");
  ThrottledEndLine(throttle);
  EXPECT_EQ(fake::Output(), "a.bin\n");
  EXPECT_EQ(throttle.lastLineTime, 6200);
}

TEST_F(ReportTest, FatalErrorWritesLineWaitsAndExitsWithFailure) {
  struct Case {
    uint32_t code;
    const char* expected;
  };
  const Case cases[] = {
      {5, "Error whilst copying file. Error code: 5\n"},
      {0, "Error whilst copying file. Error code: 0\n"},
      {0x80000005u, "Error whilst copying file. Error code: 2147483653\n"},
      {4294967295u, "Error whilst copying file. Error code: 4294967295\n"},
  };
  for (const Case& c : cases) {
    fake::Reset();
    fake::SetInput("7\n");
    platform::SetLastError(c.code);
    EXPECT_EQ(fake::RunToExit([] { FatalError("copying file"); }), 1);
    EXPECT_EQ(fake::Output(), c.expected);
    EXPECT_EQ(fake::Flushes(), 1);
  }
}

TEST_F(ReportTest, FatalErrorWaitsPastBlankLinesForSomethingElse) {
  struct Case {
    const char* input;
    const char* left;
  };
  const Case cases[] = {
      {"\n  \n\t\n42\nnext", "next"},  // blank lines do not end the wait
      {"\n\nx\nnext", "\nnext"},       // any other text ends it at once
      {"", ""},                        // so does the end of input
      {"\n\n", ""},
      {"-3 4", "4"},
  };
  for (const Case& c : cases) {
    fake::Reset();
    fake::SetInput(c.input);
    EXPECT_EQ(fake::RunToExit([] { FatalError("finding files"); }), 1);
    EXPECT_EQ(fake::RemainingInput(), c.left) << c.input;
  }
}

TEST_F(ReportTest, FatalErrorReportsCodeReadBeforeWriting) {
  ProgressThrottle throttle = {1000, 5000};
  fake::SetClockReadings({5400});
  platform::SetLastError(112);
  ThrottledWrite(throttle, "held back");
  EXPECT_EQ(fake::RunToExit([] { FatalError("copying file"); }), 1);
  EXPECT_EQ(fake::Output(), "Error whilst copying file. Error code: 112\n");
}

TEST_F(ReportTest, CheckStepWithoutFailureDoesNothing) {
  platform::SetLastError(5);
  CheckStep(false, "reading the registry key containing the destination path");
  EXPECT_EQ(fake::Output(), "");
  EXPECT_TRUE(fake::Commands().empty());
}

TEST_F(ReportTest, CheckStepReportsPausesAndReturns) {
  platform::SetLastError(234);
  const auto status = fake::RunToExit([] {
    CheckStep(true, "reading the registry key containing the destination path");
    platform::WriteText("after\n");
  });
  EXPECT_FALSE(status.has_value());
  EXPECT_EQ(fake::Output(),
            "Error whilst reading the registry key containing the destination "
            "path. Error code: 234\nafter\n");
  EXPECT_EQ(fake::Commands(), std::vector<std::string>{"PAUSE @ C:\\work"});
}

TEST_F(ReportTest, ReportErrorWritesLineWithoutPause) {
  platform::SetLastError(3);
  ReportError("changing to the folder of TGCOnline.exe");
  EXPECT_EQ(fake::Output(),
            "Error whilst changing to the folder of TGCOnline.exe. Error "
            "code: 3\n");
  EXPECT_TRUE(fake::Commands().empty());
}

}  // namespace
