#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "launcher/install_run.h"

namespace {

std::string TempDirectory() {
  PathBuffer temp;
  EXPECT_TRUE(ReadTempPath(temp));
  return temp;
}

TEST(HelpSwitch, OnlyTheFiveExactSpellings) {
  for (const char* yes : {"/h", "/?", "/help", "/HELP", "/H"})
    EXPECT_TRUE(IsHelpSwitch(yes)) << yes;
  for (const char* no : {"/Help", "--HELP", "-help", "/h ", " /h", "/?/?", ""})
    EXPECT_FALSE(IsHelpSwitch(no)) << no;
}

TEST(TargetChoice, EmptyArgumentIsTheTemporaryTarget) {
  InstallTarget target;
  ASSERT_TRUE(ChooseTargetDirectory("", &target));
  EXPECT_EQ(target.temporaryFlag, 1);
  EXPECT_EQ(std::string(target.directory), TempDirectory() + "VANTREL");
}

TEST(TargetChoice, ColonMeansUnchangedOtherwiseDriveC) {
  InstallTarget target;
  ASSERT_TRUE(ChooseTargetDirectory("D:\\Install", &target));
  EXPECT_STREQ(target.directory, "D:\\Install");
  EXPECT_EQ(target.temporaryFlag, 0);
  ASSERT_TRUE(ChooseTargetDirectory("Install", &target));
  EXPECT_STREQ(target.directory, "C:\\Install");
  ASSERT_TRUE(ChooseTargetDirectory("/Help", &target));
  EXPECT_STREQ(target.directory, "C:\\/Help");
  ASSERT_TRUE(ChooseTargetDirectory("\\Tools", &target));
  EXPECT_STREQ(target.directory, "C:\\\\Tools");
  ASSERT_TRUE(ChooseTargetDirectory("D:\\My Files ", &target));
  EXPECT_STREQ(target.directory, "D:\\My Files ") << "trailing blanks belong to the name";
}

TEST(TargetChoice, EnclosingQuotesNameTheDirectoryInside) {
  InstallTarget target;
  ASSERT_TRUE(ChooseTargetDirectory("\"D:\\My Files\"", &target));
  EXPECT_STREQ(target.directory, "D:\\My Files");
  ASSERT_TRUE(ChooseTargetDirectory("\"Kit\"", &target));
  EXPECT_STREQ(target.directory, "C:\\Kit");
  // Not wholly enclosed in one pair: used as it stands.
  ASSERT_TRUE(ChooseTargetDirectory("\"a\" \"b\"", &target));
  EXPECT_STREQ(target.directory, "C:\\\"a\" \"b\"");
  ASSERT_TRUE(ChooseTargetDirectory("\"D:\\x", &target));
  EXPECT_STREQ(target.directory, "\"D:\\x");
  EXPECT_FALSE(ChooseTargetDirectory("\"\"", &target)) << "empty quotes would name the drive root";
}

TEST(TargetChoice, PathsThatDoNotFitAreRefused) {
  InstallTarget target;
  EXPECT_TRUE(ChooseTargetDirectory(std::string(256, 'a').c_str(), &target));  // C:\ + 256
  EXPECT_FALSE(ChooseTargetDirectory(std::string(257, 'a').c_str(), &target));
  EXPECT_STREQ(target.directory, "");
  EXPECT_FALSE(ChooseTargetDirectory(("D:" + std::string(258, 'a')).c_str(), &target));
  const std::string quoted = "\"" + std::string(300, 'q') + "\"";
  EXPECT_FALSE(ChooseTargetDirectory(quoted.c_str(), &target));
}

}  // namespace
