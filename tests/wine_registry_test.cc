// The Wine registry reader end to end: platform::RegOpenKeyExA,
// RegQueryValueExA and RegCloseKey on system.reg files that Wine wrote.
//
// The registry is read once per process, so every scenario runs in a child
// process that starts with nothing loaded, as each run of the installer does.
//
// tests/fixtures/registry/win64.reg holds sections of the system.reg of a
// fresh Wine 8.0 prefix (wine64, #arch=win64), header lines as Wine wrote
// them, after these commands (WINEPREFIX=/tmp/p64, WINEDEBUG=-all,
// WINEDLLOVERRIDES="mscoree,mshtml=", `wine64 wineboot -i` first,
// `wineserver -w` last, each `reg add` with /f):
//   wine64 reg add 'HKLM\SOFTWARE\Microsoft\VisualStudio\SxS\VC7' /v 9.0
//     /d 'C:\Program Files (x86)\Microsoft Visual Studio 9.0\VC\' /reg:32
//   (likewise 10.0 and 11.0; 'HKLM\software\dark basic\dark basic pro'
//   /v INSTALL-PATH; '...\.NETFramework\v2.0.50727\AssemblyFoldersEx\Public
//   Assemblies 9' /ve; all /reg:32)
//   'HKLM\SOFTWARE\RegFixture\Both' /v where /d '64-bit view' /reg:64, and
//   /d '32-bit view' /reg:32; 'HKLM\SOFTWARE\RegFixture\Only64' /v where
//   /d '64-bit view only' /reg:64
//   '...\CurrentVersion\App Paths\regfixture.exe' /ve /reg:32 (a key shared
//   by both views: it lands in the 64-bit tree, reached through #link)
//   'HKLM\SOFTWARE\Classes\CLSID\{0D0F1A2B-...}' /ve, '32-bit class' /reg:32
//   and '64-bit class' /reg:64
//   'HKLM\SOFTWARE\RegForms' /reg:32: /ve /d dflt, and plain, empty,
//   expand (REG_EXPAND_SZ), multi and nul0 (REG_MULTI_SZ 'one\0two\0three'
//   and 'a\00b'), emptymulti, emptyexp, dw (REG_DWORD 0x12345678), be
//   (REG_DWORD_BIG_ENDIAN), bin, emptybin, long (48 bytes, REG_BINARY), qw
//   (REG_QWORD), none (REG_NONE /d abc), nonascii, emoji, hexfollow,
//   'quote"back\slash', 'brackets[in]name', ctl ($'t\tn\nr\rq"b\\e\x1bd\x7fo
//   \x017'), MixedCase; keys 'RegForms\Sub Key ü\[br]', 'RegForms\key"with
//   "quote', 'RegForms\Ünïcödé Käy'.
//   A MinGW program opened 'HKLM\SOFTWARE\RegForms\Raw' with KEY_WOW64_32KEY
//   and called RegSetValueExA for A_abc_nul_after (REG_SZ "abc", 3),
//   A_abc_of_abcdef ("abcdef", 3), A_exp_of_pctx (REG_EXPAND_SZ "%X%yz", 3),
//   A_multi_of_long (REG_MULTI_SZ "one\0twoX", 7), A_cafe (REG_SZ "caf\xe9",
//   5), sz_size0 (REG_SZ, 0 bytes), dword3 (REG_DWORD, 3 bytes), bin0, and
//   RegSetValueExW for W_odd_5bytes (L"abc", 5) and sz_2nul (L"ab\0\0", 8).
// win32.reg: there is no 32-bit Wine here to make a win32 prefix, so it
// holds the installer's keys written with /reg:64 into the same prefix, and
// the "#arch=win32" line that a win32 prefix writes.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "wine_registry_test_support.h"

namespace {

using registry_test::Answers;
using registry_test::Fixture;
using registry_test::InFreshProcess;
using registry_test::kForms;
using registry_test::kVc10;
using registry_test::kVc7;
using registry_test::kVc9;
using registry_test::Probe;
using registry_test::Read;
using registry_test::ScratchPrefix;
using registry_test::Z;

constexpr const char* kRaw = "SOFTWARE\\RegForms\\Raw";

std::string B(const char* data, std::size_t size) { return {data, size}; }

const std::string kNoKey = "<key: 2>";
const std::string kNoValue = "<value: 2>";

struct Lookup {
  const char* key;
  const char* value;  // null: the default value
  std::string expected;
};

// Looks up every entry of `table` in one fresh process on `systemReg`.
void ExpectLookups(const std::string& systemReg,
                   const std::vector<Lookup>& table) {
  ScratchPrefix prefix(systemReg);
  const auto result = InFreshProcess([&] {
    setenv("WINEPREFIX", prefix.path().c_str(), 1);
    Answers answers;
    for (const Lookup& l : table) answers.push_back(Read(l.key, l.value));
    return answers;
  });
  ASSERT_EQ(result.answers.size(), table.size()) << result.output;
  for (std::size_t i = 0; i < table.size(); ++i) {
    EXPECT_EQ(result.answers[i], table[i].expected)
        << table[i].key << " [" << (table[i].value ? table[i].value : "@")
        << "]";
  }
  EXPECT_EQ(result.output, "");
}

TEST(WineRegistry, EveryValueFormWineWrites) {
  std::string long48;
  for (int i = 0; i < 48; ++i) long48 += static_cast<char>(i);
  ExpectLookups(
      Fixture("win64.reg"),
      {
          {kVc7, "9.0", kVc9},
          {kVc7, "10.0", kVc10},
          {kVc7, "11.0",
           Z("C:\\Program Files (x86)\\Microsoft Visual Studio 11.0\\VC\\")},
          {"software\\dark basic\\dark basic pro", "INSTALL-PATH",
           Z("C:\\Program Files (x86)\\The Game Creators\\Dark Basic "
             "Professional")},
          {"SOFTWARE\\Microsoft\\.NETFramework\\v2.0.50727\\AssemblyFoldersEx"
           "\\Public Assemblies 9",
           nullptr,
           Z("C:\\Program Files (x86)\\Microsoft Visual Studio "
             "9.0\\Common7\\IDE\\PublicAssemblies\\")},
          {kForms, nullptr, Z("dflt")},
          {kForms, "", Z("dflt")},
          {kForms, "plain", Z("hello")},
          {kForms, "empty", Z("")},
          {kForms, "expand", Z("%SystemRoot%\\x")},
          {kForms, "multi", Z(B("one\0two\0three\0", 14))},
          {kForms, "nul0",
           Z(B("a\0"
               "0b\0",
               5))},
          {kForms, "emptymulti", Z("")},
          {kForms, "emptyexp", Z("")},
          {kForms, "dw", "\x78\x56\x34\x12"},
          {kForms, "be", "\x04\x03\x02\x01"},
          {kForms, "bin", "\x01\x02\xab\xff"},
          {kForms, "emptybin", ""},
          {kForms, "long", long48},
          {kForms, "qw", B("\x89\x67\x45\x23\x01\0\0\0", 8)},
          {kForms, "none", B("a\0b\0c\0\0\0", 8)},
          {kForms, "nonascii", Z("café ü € 日本")},
          {kForms, "emoji", Z("x😀y")},
          {kForms, "hexfollow", Z("éa é1 éz ü9")},
          {kForms, "quote\"back\\slash", Z("a\"b\\c")},
          {kForms, "brackets[in]name", Z("has [ and ] and = and ;")},
          {kForms, "ctl",
           Z(B("t\tn\nr\rq\"b\\e\x1b"
               "d\x7fo\x01"
               "7",
               17))},
          {kForms, "mixedCASE", Z("Value Of MixedCase")},
          {kRaw, "A_abc_nul_after", Z("abc")},
          {kRaw, "A_abc_of_abcdef", "abc"},
          {kRaw, "A_exp_of_pctx", "%X%"},
          {kRaw, "A_multi_of_long", B("one\0two", 7)},
          {kRaw, "A_cafe", Z("café")},
          {kRaw, "W_odd_5bytes", "ab"},
          {kRaw, "sz_2nul", B("ab\0\0", 4)},
          {kRaw, "sz_size0", ""},
          {kRaw, "dword3", "\x78\x56\x34"},
          {kRaw, "bin0", ""},
          {"SOFTWARE\\RegForms\\Sub Key ü\\[br]", "x", Z("y")},
          {"software\\regforms\\SUB KEY Ü\\[BR]", "X", Z("y")},
          {"SOFTWARE\\RegForms\\key\"with\"quote", "q", Z("1")},
          {"SOFTWARE\\REGFORMS\\ünïcödé käy", "äöü", Z("umlauts")},
          // Keys that exist only as parents of keys with sections.
          {"SOFTWARE\\RegForms\\Sub Key ü", "x", kNoValue},
          {"SOFTWARE\\Microsoft\\VisualStudio", nullptr, kNoValue},
          {kForms, "nope", kNoValue},
          {"SOFTWARE\\NoSuchKey", nullptr, kNoKey},
          {"\\SOFTWARE\\RegForms", "plain", kNoKey},
          {"SOFTWARE\\\\RegForms\\", "plain", Z("hello")},
      });
}

TEST(WineRegistry, Win64PrefixShowsThe32BitView) {
  ExpectLookups(
      Fixture("win64.reg"),
      {
          {"SOFTWARE\\RegFixture\\Both", "where", Z("32-bit view")},
          {"SOFTWARE\\RegFixture\\Only64", "where", kNoKey},
          {"SOFTWARE\\Wow6432Node\\RegFixture\\Both", "where",
           Z("32-bit view")},
          // Shared keys: a link in the 32-bit tree leads to the 64-bit key.
          {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App "
           "Paths\\regfixture.exe",
           nullptr, Z("C:\\Tools\\regfixture.exe")},
          {"SOFTWARE\\Classes\\CLSID\\{0D0F1A2B-0000-4000-8000-00000000F1C5}",
           nullptr, Z("32-bit class")},
      });
}

TEST(WineRegistry, Win32PrefixReadsKeysWhereTheyStand) {
  std::string noArch = Fixture("win32.reg");
  noArch.erase(noArch.find("#arch=win32\n"), 12);
  for (const std::string& file : {Fixture("win32.reg"), noArch}) {
    ExpectLookups(
        file,
        {
            {kVc7, "9.0",
             Z("C:\\Program Files\\Microsoft Visual Studio 9.0\\VC\\")},
            {kVc7, "11.0", kNoValue},
            {"software\\dark basic\\dark basic pro", "INSTALL-PATH",
             Z("C:\\Program Files\\The Game Creators\\Dark Basic "
               "Professional")},
            {"SOFTWARE\\RegFixture\\Both", "where", Z("64-bit view")},
            {"SOFTWARE\\RegFixture\\Only64", "where", Z("64-bit view only")},
        });
  }
}

TEST(WineRegistry, QueryResultsAsRegQueryValueExA) {
  struct Case {
    const char* key;
    const char* value;
    uint32_t size;  // capacity on entry
    bool data;      // false: size only
    std::string expected;
  };
  const std::vector<Case> cases = {
      {kForms, "plain", 6, true, "0 size=6 buf=68 65 6c 6c 6f 00 cc"},
      {kForms, "plain", 5, true, "234 size=6 buf=cc cc cc cc cc cc last=234"},
      {kForms, "plain", 0, true, "234 size=6 buf=cc last=234"},
      {kForms, "plain", 0, false, "0 size=6"},
      {kRaw, "A_abc_of_abcdef", 5, true, "0 size=3 buf=61 62 63 00 cc cc"},
      {kRaw, "A_abc_of_abcdef", 3, true, "0 size=3 buf=61 62 63 cc"},
      {kRaw, "sz_size0", 2, true, "0 size=0 buf=cc cc cc"},
      {kForms, "empty", 2, true, "0 size=1 buf=00 cc cc"},
      {kForms, "multi", 15, true,
       "0 size=15 buf=6f 6e 65 00 74 77 6f 00 74 68 72 65 65 00 00 cc"},
      {kForms, "dw", 2, true, "234 size=4 buf=cc cc cc last=234"},
      {kForms, "bin", 4, true, "0 size=4 buf=01 02 ab ff cc"},
      {kForms, "nonascii", 0, false, "0 size=20"},
      {kForms, "nope", 100, false, "2 size=100 last=2"},
      {kForms, nullptr, 5, true, "0 size=5 buf=64 66 6c 74 00 cc"},
      {kForms, "", 5, true, "0 size=5 buf=64 66 6c 74 00 cc"},
  };
  ScratchPrefix prefix(Fixture("win64.reg"));
  const auto result = InFreshProcess([&] {
    setenv("WINEPREFIX", prefix.path().c_str(), 1);
    Answers answers;
    for (const Case& c : cases) {
      answers.push_back(Probe(c.key, c.value, c.size, c.data));
    }
    return answers;
  });
  ASSERT_EQ(result.answers.size(), cases.size()) << result.output;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(result.answers[i], cases[i].expected)
        << cases[i].key << " [" << (cases[i].value ? cases[i].value : "@")
        << "] " << cases[i].size;
  }
}

TEST(WineRegistry, NullHandlesAreRejected) {
  uint32_t size = 0;
  EXPECT_EQ(platform::RegQueryValueExA(nullptr, "v", nullptr, &size),
            static_cast<long>(platform::kErrorInvalidHandle));
  EXPECT_EQ(platform::RegCloseKey(nullptr),
            static_cast<long>(platform::kErrorInvalidHandle));
  EXPECT_EQ(platform::GetLastError(), platform::kErrorInvalidHandle);
}

}  // namespace
