// The system.reg parser on texts written for each rule: escapes, value
// forms, damaged lines, options, links and the 32-bit view. The files that
// Wine itself wrote are read in wine_registry_test.cc.
#include "platform/wine_registry_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/wine_registry_text.h"

namespace {

using platform::wine_registry::Hive;
using platform::wine_registry::Key;
using platform::wine_registry::Value;

const std::string kHeader =
    "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n";

bool IsText(uint32_t type) { return type == 1 || type == 2 || type == 7; }

// "type|data" of a value, string types as UTF-8 the way RegQueryValueExA
// gives them; "<key>" or "<value>" when missing.
std::string Find(const Hive& hive, const char* key, const char* name) {
  const Key* found = hive.OpenKey(key);
  if (found == nullptr) return "<key>";
  const Value* value = Hive::FindValue(*found, name);
  if (value == nullptr) return "<value>";
  return std::to_string(value->type) + "|" +
         (IsText(value->type)
              ? platform::wine_registry::Utf8FromUtf16Le(value->data)
              : value->data);
}

std::string Text(const std::string& text) { return "1|" + text + '\0'; }

// A REG_LINK value naming `target`, as Wine writes SymbolicLinkValue.
std::string LinkValue(const std::u16string& target) {
  static const char kDigits[] = "0123456789abcdef";
  std::string line = "\"SymbolicLinkValue\"=hex(6):";
  for (std::size_t i = 0; i < target.size(); ++i) {
    for (int shift : {0, 8}) {
      const unsigned byte = (target[i] >> shift) & 0xFF;
      if (i > 0 || shift > 0) line += ',';
      line += kDigits[byte >> 4];
      line += kDigits[byte & 15];
    }
  }
  return line + "\n";
}

TEST(WineRegistryParser, StringEscapes) {
  struct Case {
    std::string escaped;
    std::string text;
  };
  const Case cases[] = {
      {"\\x41", "A"},
      {"\\x41g", "Ag"},
      {"\\x00e9a", "éa"},
      {"\\x41424",
       "\u4142"
       "4"},  // at most four digits
      {"\\xg", "xg"},
      {"\\x", "x"},
      {"\\101", "A"},
      {"\\1017", "A7"},  // at most three digits
      {"\\08", std::string("\0"
                           "8",
                           2)},
      {"\\7", "\x07"},
      {"\\400", "Ā"},
      {"\\a\\b\\e\\f\\n\\r\\t\\v", "\a\b\x1b\f\n\r\t\v"},
      {"\\q\\\\\\\"\\[\\]", "q\\\"[]"},
      {"[x]=;@", "[x]=;@"},
      {"é", "é"},                // raw UTF-8 from a hand edit
      {"\xff", "\xEF\xBF\xBD"},  // a byte that is not UTF-8
      {"\\xd83d\\xde00", "😀"},
      {"a\\xd800b",
       "a\xEF\xBF\xBD"
       "b"},  // lone surrogates: U+FFFD
      {"\\xde00\\xd83d", "\xEF\xBF\xBD\xEF\xBF\xBD"},
  };
  for (const Case& c : cases) {
    const Hive hive =
        Hive::Parse(kHeader + "[K] 1\n\"v\"=\"" + c.escaped + "\"\n");
    EXPECT_EQ(Find(hive, "K", "v"), Text(c.text)) << c.escaped;
  }
}

TEST(WineRegistryParser, EscapedKeyAndValueNames) {
  const Hive hive =
      Hive::Parse(kHeader +
                  "[Soft\\\\A\\]b\\[c\\x20ac\\\\d\"e\\\\\\101] 1\n"
                  "\"q\\\"\\\\n\\x20ac\"=\"1\"\n");
  EXPECT_EQ(Find(hive, "Soft\\A]b[c€\\d\"e\\A", "q\"\\n€"), Text("1"));
}

TEST(WineRegistryParser, ValueForms) {
  struct Case {
    std::string data;  // what follows "v"=
    std::string found;
  };
  const std::string kMissing = "<value>";
  const Case cases[] = {
      {"\"x\"", "1|x" + std::string(1, '\0')},
      {"str:\"x\"", Text("x")},
      {"str(2):\"x\"", "2|x" + std::string(1, '\0')},
      {"str(7):\"a\\0b\"", std::string("7|a\0b\0", 6)},
      {"str(1):\"x\"", kMissing},
      {"\"unterminated", kMissing},
      {"\"ends in backslash\\", kMissing},
      {"dword:1", std::string("4|\x01\0\0\0", 6)},
      {"dword:ffffffff", "4|\xff\xff\xff\xff"},
      {"dword: 0000abcd", std::string("4|\xcd\xab\0\0", 6)},
      {"dword:123456789", kMissing},
      {"dword:", kMissing},
      {"dword:zz", kMissing},
      {"hex:", "3|"},
      {"hex:1,2, 3 ,04", "3|\x01\x02\x03\x04"},
      {"hex:0ff", "3|\xff"},
      {"hex:100", kMissing},
      {"hex:01,zz", kMissing},
      {"hex(b):01", "11|\x01"},
      {"hex(1):61,00,62", "1|a"},  // the odd byte is no character
      {"hex(7):61,00,00,00", std::string("7|a\0", 4)},
      {"hex(ffffffff):01", "4294967295|\x01"},
      {"hex(100000000):01", kMissing},
      {"hex():01", kMissing},
      {"hex(b:01", kMissing},
      {"hex:01,\\\n\t 02 ,\\\r\n  03", "3|\x01\x02\x03"},
      {"hex:01,\\", kMissing},  // continued, but the file ends
      {"text", kMissing},
  };
  for (const Case& c : cases) {
    const Hive hive = Hive::Parse(kHeader + "[K] 1\n\"v\"=" + c.data + "\n");
    EXPECT_EQ(Find(hive, "K", "v"), c.found) << c.data;
  }
}

TEST(WineRegistryParser, LinesAroundKeysAndValues) {
  const Hive hive = Hive::Parse(kHeader +
                                "\"early\"=\"no key yet\"\n"
                                "#arch=win32\n"
                                "; a comment\n"
                                "\n"
                                "  [A] 1796977437\r\n"
                                "#time=1dd8948f7bd669c\n"
                                "#class=\"some class\"\n"
                                "#unknown option\n"
                                "\t\"v\" = \"a\"\n"
                                "\"nul\"=\"ab" +
                                std::string(1, '\0') +
                                "cd\"\n"
                                "\"cut\"=\"x\"" +
                                std::string(1, '\0') +
                                "garbage\n"
                                "stray text\n"
                                "[B\n"
                                "\"v\"=\"belongs to no key\"\n"
                                "[A] 1\n"
                                "@=\"first default\"\n"
                                "\"\"=\"second default\"\n"
                                "[C\\\\D] 1\n"
                                "\"v\"=\"d\"\n");
  EXPECT_EQ(Find(hive, "A", "v"), Text("a"));
  EXPECT_EQ(Find(hive, "A", "nul"), "<value>");  // a NUL ends the line
  EXPECT_EQ(Find(hive, "A", "cut"), Text("x"));
  EXPECT_EQ(Find(hive, "A", ""), Text("second default"));
  EXPECT_EQ(Find(hive, "B", "v"), "<key>");
  EXPECT_EQ(Find(hive, "A", "early"), "<value>");
  EXPECT_EQ(Find(hive, "C\\D", "v"), Text("d"));
  EXPECT_EQ(Find(hive, "C", "v"), "<value>");  // exists only as a parent
  EXPECT_EQ(Find(hive, "", "v"), "<value>");   // the root
  EXPECT_EQ(hive.KeyCount(), 4u);              // root, A, C, C\D
  EXPECT_FALSE(hive.win64());
}

TEST(WineRegistryParser, ArchitectureLine) {
  struct Case {
    std::string lines;
    bool valid;
    bool win64;
  };
  const Case cases[] = {
      {"#arch=win64\n", true, true},
      {"#arch=win32\n", true, false},
      {"", true, false},
      {"#arch=win64 \n", false, false},
      {"#arch=arm64\n", false, false},
      {"[K] 1\n#arch=win64\n", true, false},  // an option of key K
  };
  for (const Case& c : cases) {
    const Hive hive = Hive::Parse(kHeader + c.lines + "[K] 1\n\"v\"=\"x\"\n");
    EXPECT_EQ(Find(hive, "K", "v"), c.valid ? Text("x") : "<key>") << c.lines;
    EXPECT_EQ(hive.win64(), c.win64) << c.lines;
  }
  EXPECT_NE(Hive::Parse("WINE REGISTRY Version 2\r\n[K] 1\r\n").OpenKey("K"),
            nullptr);
  EXPECT_EQ(Hive::Parse("").OpenKey(""), nullptr);
  EXPECT_EQ(Hive::Parse("WINE REGISTRY Version 2\n").KeyCount(), 1u);
}

TEST(WineRegistryParser, Win64RedirectsBelowKeysWithWow6432Node) {
  const std::string body =
      "[Software] 1\n\"w\"=\"64\"\n"
      "[Software\\\\Vendor] 1\n\"w\"=\"64\"\n"
      "[Software\\\\Wow6432Node] 1\n\"w\"=\"32\"\n"
      "[Software\\\\Wow6432Node\\\\Vendor] 1\n\"w\"=\"32\"\n"
      "[Software\\\\Wow6432Node\\\\Wow6432Node\\\\Vendor] 1\n\"w\"=\"32b\"\n"
      "[Software\\\\Wow6432Node\\\\Wow6432Node] 1\n\"w\"=\"32a\"\n"
      "[Software\\\\Only64] 1\n\"w\"=\"64\"\n";
  struct Case {
    const char* key;
    std::string win64;
    std::string win32;
  };
  const Case cases[] = {
      {"Software", Text("32"), Text("64")},
      {"software\\VENDOR", Text("32"), Text("64")},
      {"Software\\Only64", "<key>", Text("64")},
      {"Software\\Wow6432Node\\Vendor", Text("32"), Text("32")},
      {"Software\\wow6432node", Text("32"), Text("32")},
      {"Software\\Wow6432Node\\Wow6432Node", Text("32a"), Text("32a")},
  };
  const Hive win64 = Hive::Parse(kHeader + "#arch=win64\n" + body);
  const Hive win32 = Hive::Parse(kHeader + "#arch=win32\n" + body);
  for (const Case& c : cases) {
    EXPECT_EQ(Find(win64, c.key, "w"), c.win64) << c.key;
    EXPECT_EQ(Find(win32, c.key, "w"), c.win32) << c.key;
  }
}

TEST(WineRegistryParser, LinksLeadToTheirTargets) {
  struct Case {
    const char* name;
    std::string link;  // the lines after the link key's line
    std::string found;
  };
  const Case cases[] = {
      {"to the 64-bit key",
       "#link\n" + LinkValue(u"\\Registry\\Machine\\Software\\Shared"),
       Text("64")},
      {"target in other letter case",
       "#link\n" + LinkValue(u"\\REGISTRY\\MACHINE\\software\\shared"),
       Text("64")},
      {"no target value", "#link\n", "<key>"},
      {"target in another branch",
       "#link\n" + LinkValue(u"\\Registry\\User\\Software\\Shared"), "<key>"},
      {"missing target",
       "#link\n" + LinkValue(u"\\Registry\\Machine\\Software\\Gone"), "<key>"},
      {"target is itself",
       "#link\n" +
           LinkValue(u"\\Registry\\Machine\\Software\\Wow6432Node\\Shared"),
       "<key>"},
      {"not a link", LinkValue(u"\\Registry\\Machine\\Software\\Shared"),
       "<key>"},
  };
  for (const Case& c : cases) {
    const Hive hive = Hive::Parse(
        kHeader + "#arch=win64\n[Software\\\\Shared\\\\K] 1\n\"v\"=\"64\"\n" +
        "[Software\\\\Wow6432Node\\\\Shared] 1\n" + c.link);
    EXPECT_EQ(Find(hive, "Software\\Shared\\K", "v"), c.found) << c.name;
  }
}

TEST(WineRegistryParser, BranchingLinksGiveUpInsteadOfHanging) {
  // La leads through Lb six times, Lb through Lc six times, and so on down
  // to Lp, which leads to the root: every link resolves, within Wine's
  // depth limit, but resolving La in full would take 6^15 steps.
  std::string file = kHeader;
  for (int i = 0; i < 16; ++i) {
    const std::u16string next = u"L" + std::u16string(1, u'a' + (i + 1));
    std::u16string target = u"\\Registry\\Machine";
    for (int step = 0; step < 6 && i < 15; ++step) target += u"\\" + next;
    file += "[L" + std::string(1, static_cast<char>('a' + i)) + "] 1\n#link\n";
    file += LinkValue(target);
  }
  const Hive hive = Hive::Parse(file);
  EXPECT_EQ(hive.OpenKey("La"), nullptr);
  EXPECT_EQ(hive.OpenKey("Lo"), hive.OpenKey(""));  // six steps to the root
}

TEST(WineRegistryParser, NamesMatchWithoutLetterCase) {
  const Hive hive = Hive::Parse(
      kHeader +
      "[\\xc4rger\\\\\\x3a3\\x3bf\\x3c6] 1\n\"Gr\\xfc\\x00dfe\"=\"1\"\n"
      "\"\\xd83d\\xde00\"=\"2\"\n");
  EXPECT_EQ(Find(hive, "ärger\\σοφ", "GRÜße"), Text("1"));
  EXPECT_EQ(Find(hive, "ÄRGER\\ΣΟΦ", "grüße"), Text("1"));
  EXPECT_EQ(Find(hive, "ärger\\σοφ", "😀"), Text("2"));
  EXPECT_EQ(Find(hive, "ärger\\σοφ", "gruesse"), "<value>");
}

}  // namespace
