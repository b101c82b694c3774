#include "common/paths.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/command_tail.h"

namespace {

bool NoLeadBytes(unsigned char) { return false; }
bool HighBytesLead(unsigned char byte) { return byte >= 0x81; }

TEST(PathJoin, FitsUpToTheLastByteAndRefusesBeyond) {
  PathBuffer out;
  const std::string name(257, 'n');
  EXPECT_TRUE(JoinPath(out, "d", name.c_str()));  // 1 + 1 + 257 = 259
  EXPECT_EQ(std::string(out), "d\\" + name);
  EXPECT_FALSE(JoinPath(out, "dd", name.c_str()));
  EXPECT_STREQ(out, "") << "a path that does not fit must not be cut short";
  EXPECT_TRUE(MakeListPattern(out, std::string(255, 'd').c_str()));
  EXPECT_FALSE(MakeListPattern(out, std::string(256, 'd').c_str()));
  EXPECT_TRUE(CopyPath(out, std::string(259, 'c').c_str()));
  EXPECT_EQ(std::string(out), std::string(259, 'c'));
  EXPECT_FALSE(CopyPath(out, std::string(260, 'c').c_str()));
  EXPECT_STREQ(out, "");
  // The joins copy: what the format would print, a path onto itself too.
  char printed[kPathBufferSize];
  std::snprintf(printed, sizeof printed, kPathJoinFormat, "C:\\a", "b c");
  EXPECT_TRUE(JoinPath(out, "C:\\a", "b c"));
  EXPECT_STREQ(out, printed);
  EXPECT_TRUE(JoinPath(out, out, ""));
  EXPECT_EQ(std::string(out), std::string(printed) + "\\");
}

TEST(NameMatch, FoldsOnlyAsciiLettersAndNeedsTheSameLength) {
  EXPECT_TRUE(NamesMatchIgnoringCase("Setup.Exe", "setup.exe"));
  EXPECT_TRUE(NamesMatchIgnoringCase("SETUP.XEX", "setup.xex"));
  EXPECT_FALSE(NamesMatchIgnoringCase("setup.exe ", "setup.exe"));
  EXPECT_FALSE(NamesMatchIgnoringCase("setup.ex", "setup.exe"));
  EXPECT_FALSE(NamesMatchIgnoringCase("setup\xC5.exe", "setup\xE5.exe"));
  EXPECT_FALSE(NamesMatchIgnoringCase("setup_exe", "setup.exe"));
}

// The launcher's own formatting: each %s in turn, a missing one left empty,
// and a text that does not fit cut at the room, always terminated.
TEST(FillFormat, FillsInTurnAndCutsAtTheRoom) {
  char out[16];
  EXPECT_TRUE(FillFormat(out, sizeof out, "%s\\%s", "dir", "name"));
  EXPECT_STREQ(out, "dir\\name");
  EXPECT_TRUE(FillFormat(out, sizeof out, "a %s b %s c", "x", nullptr));
  EXPECT_STREQ(out, "a x b  c");
  EXPECT_TRUE(FillFormat(out, sizeof out, "%d %s%s%s", "1", "2"));
  EXPECT_STREQ(out, "%d 12%s") << "a third %s is text, as is any other %";
  EXPECT_TRUE(FillFormat(out, sizeof out, "%s", std::string(15, 'y').c_str(), nullptr));
  EXPECT_FALSE(FillFormat(out, sizeof out, "%s", std::string(16, 'y').c_str(), nullptr));
  EXPECT_STREQ(out, std::string(15, 'y').c_str());
  EXPECT_FALSE(FillFormat(out, sizeof out, "0123456789abcdef%s", "z", nullptr));
  EXPECT_STREQ(out, "0123456789abcde");
  PathBuffer path;
  EXPECT_TRUE(FormatPath(path, "C:\\%s", "Kit"));
  EXPECT_STREQ(path, "C:\\Kit");
  EXPECT_FALSE(FormatPath(path, "C:\\%s", std::string(258, 'k').c_str()));
  EXPECT_STREQ(path, "") << "a path that does not fit is never cut short";
}

TEST(CommandTail, SkipsTheProgramNameAndTheBlanksAfterIt) {
  EXPECT_STREQ(FindCommandTail("setup.exe D:\\My Files ", NoLeadBytes), "D:\\My Files ");
  EXPECT_STREQ(FindCommandTail("setup.exe", NoLeadBytes), "");
  EXPECT_STREQ(FindCommandTail("setup\t\x01 /h", NoLeadBytes), "/h");
  EXPECT_STREQ(FindCommandTail("\"C:\\Program Files\\setup.exe\" /?", NoLeadBytes), "/?");
  // The tail may follow the closing quote directly.
  EXPECT_STREQ(FindCommandTail("\"a b\"tail", NoLeadBytes), "tail");
  // An unclosed quote runs to the end of the line.
  EXPECT_STREQ(FindCommandTail("\"a b c", NoLeadBytes), "");
  // Quotes in the tail stay: it is used unchanged.
  EXPECT_STREQ(FindCommandTail("setup \"x y\"", NoLeadBytes), "\"x y\"");
}

TEST(CommandTail, LeadByteInsideQuotesTakesItsTrailByte) {
  // 0x82 0x22 is one double-byte character, not a closing quote.
  EXPECT_STREQ(FindCommandTail("\"a\x82\"b\" tail", HighBytesLead), "tail");
  EXPECT_STREQ(FindCommandTail("\"a\x82\"b\" tail", NoLeadBytes), "b\" tail");
  // A lead byte at the very end does not run past the terminator.
  EXPECT_STREQ(FindCommandTail("\"a\x82", HighBytesLead), "");
}

}  // namespace

// The one splitter of a path's last name, for launcher and Linux paths: a
// root keeps its separator ("C:" alone would name the drive's current
// folder, the medium's itself).
TEST(PathSplit, TheLastNameAndItsFolderRootsKeptWhole) {
  const struct {
    const char* path;
    const char* folder;
    const char* name;
  } cases[] = {{"a", ".", "a"},
               {"\\a", "\\", "a"},
               {"/a", "/", "a"},
               {"C:\\a", "C:\\", "a"},
               {"C:\\a\\b", "C:\\a", "b"},
               {"/tmp/x/VANTREL", "/tmp/x", "VANTREL"},
               {"C:\\a/b", "C:\\a", "b"},
               {"dir\\", "dir", ""}};
  for (const auto& split : cases) {
    PathBuffer folder;
    ASSERT_TRUE(ReadDirectoryPart(folder, split.path)) << split.path;
    EXPECT_STREQ(folder, split.folder) << split.path;
    EXPECT_STREQ(FindLastName(split.path), split.name) << split.path;
  }
}
