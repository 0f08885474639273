// ReadRegistryString on the in-memory platform.
#include <gtest/gtest.h>

#include <cstddef>
#include <new>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "installer/registry.h"
#include "platform/platform.h"

namespace {

// The look-up's one allocation is a nothrow array new. Replacing that
// operator lets a test see the size asked for and make it fail, on any
// machine: a huge value size would not do, since a 4 GiB request simply
// succeeds where memory is overcommitted.
bool gFailNextNothrowArray = false;
std::size_t gLastNothrowArraySize = 0;

}  // namespace

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  gLastNothrowArraySize = size;
  if (gFailNextNothrowArray) {
    gFailNextNothrowArray = false;
    return nullptr;
  }
  try {
    return ::operator new[](size);
  } catch (...) {
    return nullptr;
  }
}

namespace {

constexpr const char* kKey = "SOFTWARE\\Microsoft\\VisualStudio\\SxS\\VC7";
constexpr const char* kPause = "PAUSE @ C:\\work";
// Longer than any text a test reads, so that a look-up that wrote over the
// start of the old text instead of replacing it would show.
constexpr const char* kOldText = "text that was there before the look-up";

class RegistryLookupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::Reset();
    gFailNextNothrowArray = false;
    gLastNothrowArraySize = 0;
  }
};

std::string Bytes(const char* data, std::size_t size) {
  return std::string(data, size);
}

TEST_F(RegistryLookupTest, ValueBytesUpToFirstNulBecomeTheText) {
  struct Case {
    const char* name;
    const char* valueName;  // null: the default value
    std::string stored;
    std::string text;
  };
  const Case cases[] = {
      {"terminated string", "10.0", Bytes("C:\\VC10\\\0", 9), "C:\\VC10\\"},
      {"string stored without its NUL", "10.0", "abc", "abc"},
      {"multi-string", "10.0", Bytes("one\0two\0\0", 9), "one"},
      {"empty string", "10.0", Bytes("\0", 1), ""},
      {"no data at all", "10.0", "", ""},
      {"DWORD without zero bytes", "10.0", "\x78\x56\x34\x12",
       "\x78\x56\x34\x12"},
      {"DWORD 7", "10.0", Bytes("\x07\0\0\0", 4), "\x07"},
      {"binary starting with zero", "10.0", Bytes("\0\x01\x02", 3), ""},
      {"default value", nullptr, Bytes("C:\\DBPro\0", 9), "C:\\DBPro"},
  };
  for (const Case& c : cases) {
    fake::Reset();
    fake::SetRegistryValue(kKey, c.valueName, c.stored);
    std::string result = kOldText;
    EXPECT_TRUE(ReadRegistryString(kKey, c.valueName, result)) << c.name;
    EXPECT_EQ(result, c.text) << c.name;
    EXPECT_EQ(fake::Output(), "") << c.name;
    EXPECT_TRUE(fake::Commands().empty()) << c.name;
    EXPECT_EQ(fake::OpenRegistryKeys(), 0) << c.name;
    // The buffer has one byte more than the value, for a missing NUL.
    EXPECT_EQ(gLastNothrowArraySize, c.stored.size() + 1) << c.name;
  }
}

TEST_F(RegistryLookupTest, MissingKeyOrValueIsQuietFalse) {
  struct Case {
    const char* name;
    void (*setUp)();
    const char* valueName;
  };
  const Case cases[] = {
      {"no such key",
       [] { fake::SetRegistryValue("SOFTWARE\\Other", "9.0", "x"); }, "9.0"},
      {"key without the value",
       [] { fake::SetRegistryValue(kKey, "10.0", Bytes("x\0", 2)); }, "9.0"},
      {"key without values, default asked", [] { fake::AddRegistryKey(kKey); },
       nullptr},
      {"key with named values only, default asked",
       [] { fake::SetRegistryValue(kKey, "9.0", Bytes("x\0", 2)); }, nullptr},
  };
  for (const Case& c : cases) {
    fake::Reset();
    c.setUp();
    std::string result = kOldText;
    EXPECT_FALSE(ReadRegistryString(kKey, c.valueName, result)) << c.name;
    EXPECT_EQ(result, kOldText) << c.name;
    EXPECT_EQ(fake::Output(), "") << c.name;
    EXPECT_TRUE(fake::Commands().empty()) << c.name;
    EXPECT_EQ(fake::OpenRegistryKeys(), 0) << c.name;
  }
}

TEST_F(RegistryLookupTest, FailedOpenOrSizeQueryIsQuietFalse) {
  struct Case {
    const char* name;
    fake::Op op;
    int queryCalls;
  };
  const Case cases[] = {
      {"open denied", fake::Op::kRegOpenKeyExA, 0},
      {"size query denied", fake::Op::kRegQueryValueExA, 1},
  };
  for (const Case& c : cases) {
    fake::Reset();
    fake::SetRegistryValue(kKey, "9.0", Bytes("C:\\VC\\\0", 7));
    fake::FailCall(c.op, 1, platform::kErrorAccessDenied);
    std::string result = kOldText;
    EXPECT_FALSE(ReadRegistryString(kKey, "9.0", result)) << c.name;
    EXPECT_EQ(result, kOldText) << c.name;
    EXPECT_EQ(fake::Output(), "") << c.name;
    EXPECT_TRUE(fake::Commands().empty()) << c.name;
    EXPECT_EQ(fake::Calls(fake::Op::kRegQueryValueExA), c.queryCalls) << c.name;
    EXPECT_EQ(fake::OpenRegistryKeys(), 0) << c.name;
  }
}

TEST_F(RegistryLookupTest, ValueChangedBetweenSizeQueryAndRead) {
  struct Case {
    const char* name;
    void (*change)();
    bool found;
    std::string result;
    std::string output;
  };
  const std::string kFailed =
      "Error whilst reading the registry key containing the destination "
      "path. Error code: ";
  const Case cases[] = {
      {"grew",
       [] { fake::SetRegistryValue(kKey, "9.0", Bytes("C:\\VC9\\\0", 8)); },
       false, kOldText, kFailed + "234\n"},
      {"deleted", [] { fake::RemoveRegistryValue(kKey, "9.0"); }, false,
       kOldText, kFailed + "2\n"},
      {"shrank", [] { fake::SetRegistryValue(kKey, "9.0", Bytes("C:\0", 3)); },
       true, "C:", ""},
  };
  for (const Case& c : cases) {
    fake::Reset();
    fake::SetRegistryValue(kKey, "9.0", Bytes("C:\\VC\\\0", 7));
    const auto change = c.change;
    fake::OnRegistryQuery([change](int call) {
      if (call == 2) change();
    });
    std::string result = kOldText;
    EXPECT_EQ(ReadRegistryString(kKey, "9.0", result), c.found) << c.name;
    EXPECT_EQ(result, c.result) << c.name;
    EXPECT_EQ(fake::Output(), c.output) << c.name;
    const std::vector<std::string> pauses =
        c.output.empty() ? std::vector<std::string>{}
                         : std::vector<std::string>{kPause};
    EXPECT_EQ(fake::Commands(), pauses) << c.name;
    EXPECT_EQ(fake::Calls(fake::Op::kRegQueryValueExA), 2) << c.name;
    EXPECT_EQ(fake::OpenRegistryKeys(), 0) << c.name;
  }
}

TEST_F(RegistryLookupTest, FailedAllocationIsReportedAndNothingRead) {
  fake::SetRegistryValue(kKey, "11.0", Bytes("C:\\VC11\\\0", 9));
  // The report shows whatever last-error value stands; nothing on the
  // successful path before it changes the one set here.
  platform::SetLastError(platform::kErrorNotEnoughMemory);
  gFailNextNothrowArray = true;
  std::string result = kOldText;
  EXPECT_FALSE(ReadRegistryString(kKey, "11.0", result));
  EXPECT_EQ(result, kOldText);
  EXPECT_EQ(fake::Output(),
            "Error whilst dynamically allocating memory to destination path "
            "string. Error code: 8\n");
  EXPECT_EQ(fake::Commands(), std::vector<std::string>{kPause});
  EXPECT_EQ(gLastNothrowArraySize, 10u);
  EXPECT_EQ(fake::Calls(fake::Op::kRegQueryValueExA), 1);
  EXPECT_EQ(fake::OpenRegistryKeys(), 0);
}

}  // namespace
