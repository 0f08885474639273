// The Wine registry reader and the system.reg file itself: where it is
// found, files that are damaged or missing, large values, and the file
// being read only once per process. Each scenario runs in a fresh process.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "wine_registry_test_support.h"

namespace {

using registry_test::Answers;
using registry_test::Fixture;
using registry_test::InFreshProcess;
using registry_test::kForms;
using registry_test::kVc10;
using registry_test::kVc7;
using registry_test::kVc9;
using registry_test::Read;
using registry_test::ScratchPrefix;
using registry_test::WriteFile;
using registry_test::Z;

const std::string kDw = "\x78\x56\x34\x12";
const std::string kNoKey = "<key: 2>";
const std::string kNoValue = "<value: 2>";

// VC7 9.0 and 10.0 (in the file: 10.0, 11.0, then 9.0), RegForms dw and
// long (in the file after VC7, dw before long).
Answers FourLookups() {
  return {Read(kVc7, "9.0"), Read(kVc7, "10.0"), Read(kForms, "dw"),
          Read(kForms, "long")};
}

std::string Long48() {
  std::string bytes;
  for (int i = 0; i < 48; ++i) bytes += static_cast<char>(i);
  return bytes;
}

const Answers kAllFound = {kVc9, kVc10, kDw, Long48()};
const Answers kNothing = {kNoKey, kNoKey, kNoKey, kNoKey};

// The win64 fixture cut just before the first occurrence of `marker` plus
// `keep` more bytes.
std::string CutAt(const std::string& marker, std::size_t keep) {
  const std::string text = Fixture("win64.reg");
  const std::size_t at = text.find(marker);
  if (at == std::string::npos) std::abort();
  return text.substr(0, at + keep);
}

std::string Garbage() {
  std::string bytes;
  uint32_t state = 12345;
  for (int i = 0; i < 65536; ++i) {
    state = state * 1103515245u + 12345u;
    bytes += static_cast<char>(state >> 24);
  }
  return bytes;
}

std::string WithCrLf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

TEST(WineRegistryFile, DamagedOrMissingFilesHideTheKeys) {
  struct Case {
    const char* name;
    std::string file;
    Answers expected;
  };
  std::string otherHeader = Fixture("win64.reg");
  otherHeader.replace(0, 23, "WINE REGISTRY Version 1");
  std::string otherArch = Fixture("win64.reg");
  otherArch.replace(otherArch.find("#arch=win64"), 11, "#arch=arm64");
  const std::vector<Case> cases = {
      {"empty", "", kNothing},
      {"header only", "WINE REGISTRY Version 2\n", kNothing},
      {"other header", otherHeader, kNothing},
      {"unknown #arch", otherArch, kNothing},
      {"garbage", Garbage(), kNothing},
      {"cut inside the VC7 key line",
       CutAt("[Software\\\\Wow6432Node\\\\Microsoft\\\\VisualStudio", 30),
       kNothing},
      {"cut inside the 9.0 string",
       CutAt("\"9.0\"=", 20),
       {kNoValue, kVc10, kNoKey, kNoKey}},
      // A last line without its line feed is taken as cut short, so a cut
      // after a comma does not pass for a shorter value.
      {"cut inside a hex continuation line",
       CutAt("\"long\"=hex:", 90),
       {kVc9, kVc10, kDw, kNoValue}},
      {"cut after a continued hex line",
       CutAt("\"long\"=hex:", 79),
       {kVc9, kVc10, kDw, kNoValue}},
      {"CRLF line ends", WithCrLf(Fixture("win64.reg")), kAllFound},
  };
  for (const Case& c : cases) {
    ScratchPrefix prefix(c.file);
    const auto result = InFreshProcess([&] {
      setenv("WINEPREFIX", prefix.path().c_str(), 1);
      return FourLookups();
    });
    EXPECT_EQ(result.answers, c.expected) << c.name;
    EXPECT_EQ(result.output, "") << c.name;
  }
}

TEST(WineRegistryFile, UnreadableOrAbsentFileHidesTheKeys) {
  struct Case {
    const char* name;
    void (*damage)(const std::string& systemReg);
  };
  const Case cases[] = {
      {"missing", [](const std::string& file) { unlink(file.c_str()); }},
      {"a folder",
       [](const std::string& file) {
         unlink(file.c_str());
         mkdir(file.c_str(), 0777);
       }},
      {"no read permission",
       [](const std::string& file) { chmod(file.c_str(), 0); }},
  };
  for (const Case& c : cases) {
    // Root reads files whatever their permissions say.
    if (std::string(c.name) == "no read permission" && geteuid() == 0) {
      continue;
    }
    ScratchPrefix prefix(Fixture("win64.reg"));
    c.damage(prefix.systemReg());
    const auto result = InFreshProcess([&] {
      setenv("WINEPREFIX", prefix.path().c_str(), 1);
      return FourLookups();
    });
    EXPECT_EQ(result.answers, kNothing) << c.name;
    EXPECT_EQ(result.output, "") << c.name;
  }
}

TEST(WineRegistryFile, PrefixDefaultsToDotWineInHome) {
  ScratchPrefix home("");
  mkdir((home.path() + "/.wine").c_str(), 0777);
  WriteFile(home.path() + "/.wine/system.reg", Fixture("win64.reg"));
  for (const char* prefix : {static_cast<const char*>(nullptr), ""}) {
    const auto result = InFreshProcess([&] {
      setenv("HOME", home.path().c_str(), 1);
      if (prefix == nullptr) {
        unsetenv("WINEPREFIX");
      } else {
        setenv("WINEPREFIX", prefix, 1);
      }
      return FourLookups();
    });
    EXPECT_EQ(result.answers, kAllFound) << (prefix ? "empty" : "unset");
  }
}

TEST(WineRegistryFile, ReadOnceForTheWholeProcess) {
  ScratchPrefix prefix(Fixture("win64.reg"));
  const std::string file = prefix.systemReg();
  const auto result = InFreshProcess([&] {
    setenv("WINEPREFIX", prefix.path().c_str(), 1);
    Answers answers = FourLookups();
    // A different registry now, where 9.0 has another folder ...
    WriteFile(file, Fixture("win32.reg"));
    for (const std::string& answer : FourLookups()) answers.push_back(answer);
    // ... and then none at all.
    unlink(file.c_str());
    for (const std::string& answer : FourLookups()) answers.push_back(answer);
    return answers;
  });
  Answers expected;
  for (int i = 0; i < 3; ++i) {
    expected.insert(expected.end(), kAllFound.begin(), kAllFound.end());
  }
  EXPECT_EQ(result.answers, expected);
}

TEST(WineRegistryFile, MegabyteValuesComeBackWhole) {
  // A 1 MiB binary value in Wine's line layout (a continuation after the
  // comma that passes column 76), and a string of 2^18 "a€" pairs.
  const std::size_t kBytes = std::size_t{1} << 20;
  std::string binary;
  std::string file =
      "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n"
      "\n#arch=win32\n\n[Software\\\\Big] 1796977437\n";
  std::string line = "\"hex\"=hex:";
  std::size_t column = line.size();
  static const char kDigits[] = "0123456789abcdef";
  for (std::size_t i = 0; i < kBytes; ++i) {
    const auto byte = static_cast<unsigned char>(i * 7 + i / 256);
    binary += static_cast<char>(byte);
    line += kDigits[byte >> 4];
    line += kDigits[byte & 15];
    column += 2;
    if (i + 1 < kBytes) {
      line += ',';
      if (++column > 76) {
        line += "\\\n  ";
        column = 2;
      }
    }
  }
  file += line + "\n\"str\"=\"";
  std::string text;
  for (std::size_t i = 0; i < kBytes / 4; ++i) {
    file += "a\\x20ac";
    text += "a€";
  }
  file += "\"\n";
  ScratchPrefix prefix(file);
  const auto result = InFreshProcess([&] {
    setenv("WINEPREFIX", prefix.path().c_str(), 1);
    return Answers{Read("Software\\Big", "hex"), Read("Software\\Big", "str")};
  });
  ASSERT_EQ(result.answers.size(), 2u);
  EXPECT_TRUE(result.answers[0] == binary) << result.answers[0].size();
  EXPECT_TRUE(result.answers[1] == Z(text)) << result.answers[1].size();
}

}  // namespace
