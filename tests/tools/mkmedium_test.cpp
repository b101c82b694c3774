// mkmedium as a vendor runs it: refusals that leave nothing written, and a
// check that names every way a medium would not restore to its source.
#include <gtest/gtest.h>

#include "tests/support/test_programs.h"

namespace {

std::string Quoted(const fs::path& path) { return "\"" + path.string() + "\""; }

ProgramRun RunMkmedium(const fs::path& directory, const std::string& arguments) {
  return RunProgram(MkmediumProgram(), directory,
                    arguments + " --launcher " + Quoted(LauncherProgram()));
}

bool Names(const ProgramRun& run, const std::string& text) {
  return run.output.find(text) != std::string::npos;
}

TEST(Mkmedium, RefusesTreesThatWouldNotComeBackAndWritesNothing) {
  ScratchDir scratch;
  const fs::path source = scratch.path / "source";
  WriteBytes(source / "sub" / "setup.xex", TextBytes("would become SETUP.EXE"));
  WriteBytes(source / "big", {});
  fs::resize_file(source / "big", std::uintmax_t{2} << 30);  // sparse: no disk used
  const std::string longName(60, 'n');
  WriteBytes(source / longName / longName, TextBytes("fits 259 only under a short target"));
  const fs::path medium = scratch.path / "medium";

  const ProgramRun refused =
      RunMkmedium(scratch.path, Quoted(source) + " " + Quoted(medium) + " --target-length 150");
  EXPECT_EQ(refused.exitCode, 2) << refused.output;
  EXPECT_TRUE(Names(refused, "no \"SETUP.EXE\" at the root")) << refused.output;
  EXPECT_TRUE(Names(refused, "sub\\setup.xex")) << refused.output;
  EXPECT_TRUE(Names(refused, "big: 2 GiB or more")) << refused.output;
  EXPECT_TRUE(Names(refused, longName + "\\" + longName + ": 272 characters")) << refused.output;
  EXPECT_FALSE(fs::exists(medium));

  // The same tree less what it refused is taken, the long path included.
  fs::remove(source / "sub" / "setup.xex");
  fs::remove(source / "big");
  WriteBytes(source / "SETUP.EXE", TextBytes("installer"));
  const ProgramRun made =
      RunMkmedium(scratch.path, Quoted(source) + " " + Quoted(medium) + " --target-length 100");
  EXPECT_EQ(made.exitCode, 0) << made.output;
  EXPECT_FALSE(Names(made, "\r[")) << "no progress bar off a terminal";
  EXPECT_TRUE(fs::exists(medium / longName / longName));
}

TEST(Mkmedium, TakesOnlyANewOrEmptyMediumOutsideTheSource) {
  ScratchDir scratch;
  const fs::path source = scratch.path / "source";
  WriteBytes(source / "SETUP.EXE", TextBytes("installer"));
  const fs::path used = scratch.path / "used";
  WriteBytes(used / "keep.txt", TextBytes("the vendor's own file"));
  EXPECT_EQ(RunMkmedium(scratch.path, Quoted(source) + " " + Quoted(used)).exitCode, 2);
  EXPECT_EQ(ListTree(used), std::vector<std::string>{"keep.txt"});

  const ProgramRun inside =
      RunMkmedium(scratch.path, Quoted(source) + " " + Quoted(source / "medium"));
  EXPECT_EQ(inside.exitCode, 2) << inside.output;
  EXPECT_EQ(ListTree(source), std::vector<std::string>{"SETUP.EXE"});

  const fs::path empty = scratch.path / "empty";
  fs::create_directories(empty);
  EXPECT_EQ(RunMkmedium(scratch.path, Quoted(source) + " " + Quoted(empty)).exitCode, 0);
  EXPECT_EQ(ListTree(empty), (std::vector<std::string>{"setup.exe", "setup.xex"}));
}

TEST(MkmediumCheck, ListsEveryDifferenceAndPassesOnlyAnExactMedium) {
  ScratchDir scratch;
  const fs::path source = scratch.path / "source";
  WriteBytes(source / "SETUP.EXE", TextBytes("installer"));
  WriteBytes(source / "data" / "flip", PatternBytes(5000, 1));
  WriteBytes(source / "data" / "gone", TextBytes("will be lost"));
  WriteBytes(source / "lib" / "setup.exe", TextBytes("nested installer"));
  fs::create_directories(source / "empty");
  const fs::path medium = scratch.path / "medium";
  ASSERT_EQ(RunMkmedium(scratch.path, Quoted(source) + " " + Quoted(medium)).exitCode, 0);
  const std::string check = "--check " + Quoted(source) + " " + Quoted(medium);
  const ProgramRun exact = RunProgram(MkmediumProgram(), scratch.path, check);
  EXPECT_EQ(exact.exitCode, 0) << exact.output;

  Bytes flipped = ReadBytes(medium / "data" / "flip");
  flipped[4321] ^= 0x01;
  WriteBytes(medium / "data" / "flip", flipped);
  fs::remove(medium / "data" / "gone");
  WriteBytes(medium / "data" / "extra", TextBytes("not in the source"));
  fs::remove(medium / "empty");
  fs::remove(medium / "setup.exe");
  const ProgramRun spoiled = RunProgram(MkmediumProgram(), scratch.path, check);
  EXPECT_EQ(spoiled.exitCode, 1);
  EXPECT_TRUE(Names(spoiled, "differs: data\\flip: contents differ")) << spoiled.output;
  EXPECT_TRUE(Names(spoiled, "missing: data\\gone")) << spoiled.output;
  EXPECT_TRUE(Names(spoiled, "extra: data\\extra")) << spoiled.output;
  EXPECT_TRUE(Names(spoiled, "missing: empty")) << spoiled.output;
  EXPECT_TRUE(Names(spoiled, "missing: setup.exe (the launcher)")) << spoiled.output;
  EXPECT_TRUE(Names(spoiled, "5 differences")) << spoiled.output;
  EXPECT_FALSE(Names(spoiled, "lib\\SETUP.EXE")) << "the nested installer is intact";
}

TEST(Mkmedium, AnswersHelpAndRefusesCommandLinesItDoesNotUnderstand) {
  ScratchDir scratch;
  const ProgramRun help = RunProgram(MkmediumProgram(), scratch.path, "--help");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_EQ(help.output.rfind("Usage: mkmedium [options] SOURCE MEDIUM", 0), 0u) << help.output;
  EXPECT_TRUE(Names(help, "default 56"));
  EXPECT_EQ(RunProgram(MkmediumProgram(), scratch.path, "--frobnicate a b").exitCode, 64);
  EXPECT_EQ(RunProgram(MkmediumProgram(), scratch.path, "only-one").exitCode, 64);
  EXPECT_EQ(RunProgram(MkmediumProgram(), scratch.path, "a b --target-length 2").exitCode, 64);
  EXPECT_EQ(ListTree(scratch.path), std::vector<std::string>{});
}

}  // namespace
