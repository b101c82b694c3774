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

// A path as the tool shows it: this system's separator.
std::string Shown(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = static_cast<char>(fs::path::preferred_separator);
  }
  return path;
}

bool Names(const ProgramRun& run, const std::string& text) {
  return run.output.find(text) != std::string::npos;
}

TEST(Mkmedium, RefusesTreesThatWouldNotComeBackAndWritesNothing) {
  ScratchDir scratch;
  const fs::path source = scratch.path / "source";
  WriteBytes(source / "sub" / "setup.xex", TextBytes("would become SETUP.EXE"));
  WriteBytes(source / "big", {});
  fs::resize_file(source / "big", std::uintmax_t{4} << 30);  // sparse: no disk used
  const std::string longName(60, 'n');
  WriteBytes(source / longName / longName, TextBytes("fits 259 only under a short target"));
  const fs::path medium = scratch.path / "medium";

  const ProgramRun refused =
      RunMkmedium(scratch.path, Quoted(source) + " " + Quoted(medium) + " --target-length 150");
  EXPECT_EQ(refused.exitCode, 2) << refused.output;
  EXPECT_TRUE(Names(refused, "no \"SETUP.EXE\" at the root")) << refused.output;
  EXPECT_TRUE(Names(refused, Shown("sub\\setup.xex"))) << refused.output;
  EXPECT_FALSE(Names(refused, Shown("big") + ": ")) << "a file of 4 GiB is no fault\n"
                                                    << refused.output;
  EXPECT_TRUE(Names(refused, Shown(longName + "\\" + longName) + ": 272 characters"))
      << refused.output;
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

  // 180 characters fit the default target, not the default source folder:
  // a medium unpacked into a user's downloads would lose the file.
  const fs::path deep = scratch.path / "s";
  const std::string deepPath = std::string(89, 'd') + "\\" + std::string(90, 'f');
  WriteBytes(deep / "SETUP.EXE", TextBytes("installer"));
  WriteBytes(deep / std::string(89, 'd') / std::string(90, 'f'), TextBytes("deep"));
  const ProgramRun fromDownloads =
      RunMkmedium(scratch.path, Quoted(deep) + " " + Quoted(scratch.path / "m2"));
  EXPECT_EQ(fromDownloads.exitCode, 2) << fromDownloads.output;
  EXPECT_TRUE(Names(fromDownloads, Shown(deepPath) + ": 261 characters from a source folder of 80"))
      << fromDownloads.output;
  const ProgramRun fromDisc = RunMkmedium(
      scratch.path, Quoted(deep) + " " + Quoted(scratch.path / "m2") + " --source-length 3");
  EXPECT_EQ(fromDisc.exitCode, 0) << fromDisc.output;
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

  // The source itself, under another spelling, is no medium either.
  const ProgramRun itself = RunMkmedium(
      scratch.path, Quoted(source) + " " + Quoted(scratch.path / "." / "source" / ".." / "source"));
  EXPECT_EQ(itself.exitCode, 2) << itself.output;
  EXPECT_TRUE(Names(itself, "is the source")) << itself.output;
  EXPECT_EQ(ListTree(source), std::vector<std::string>{"SETUP.EXE"});

  // Swapped operands: the SOURCE that is not there is named as the fault.
  const ProgramRun swapped =
      RunMkmedium(scratch.path, Quoted(scratch.path / "newmedium") + " " + Quoted(source));
  EXPECT_EQ(swapped.exitCode, 1) << swapped.output;
  EXPECT_TRUE(Names(swapped, "no source folder " + (scratch.path / "newmedium").string()))
      << swapped.output;
  EXPECT_TRUE(Names(swapped, "SOURCE comes first")) << swapped.output;
  const ProgramRun noMedium =
      RunMkmedium(scratch.path, "--check " + Quoted(source) + " " + Quoted(scratch.path / "none"));
  EXPECT_EQ(noMedium.exitCode, 1) << noMedium.output;
  EXPECT_TRUE(Names(noMedium, "no medium or image " + (scratch.path / "none").string()))
      << noMedium.output;
  EXPECT_FALSE(Names(noMedium, "difference")) << noMedium.output;

  // An image named by a folder is refused before any image is made.
  const fs::path empty = scratch.path / "empty";
  fs::create_directories(empty);
  const ProgramRun isoFolder = RunMkmedium(
      scratch.path, Quoted(source) + " " + Quoted(scratch.path / "m") + " --iso " + Quoted(empty));
  EXPECT_EQ(isoFolder.exitCode, 2) << isoFolder.output;
  EXPECT_TRUE(Names(isoFolder, "--iso " + empty.string() + " names a folder")) << isoFolder.output;
  EXPECT_FALSE(fs::exists(scratch.path / "m"));

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
  const std::string check = "--check " + Quoted(source) + " " + Quoted(medium) + " --launcher " +
                            Quoted(LauncherProgram());
  const ProgramRun exact = RunProgram(MkmediumProgram(), scratch.path, check);
  EXPECT_EQ(exact.exitCode, 0) << exact.output;

  Bytes flipped = ReadBytes(medium / "data" / "flip");
  flipped[4321] ^= 0x01;
  WriteBytes(medium / "data" / "flip", flipped);
  fs::remove(medium / "data" / "gone");
  WriteBytes(medium / "data" / "extra", TextBytes("not in the source"));
  fs::remove(medium / "empty");
  WriteBytes(medium / "setup.exe", TextBytes("M"));
  const ProgramRun spoiled = RunProgram(MkmediumProgram(), scratch.path, check);
  EXPECT_EQ(spoiled.exitCode, 1) << spoiled.output;
  EXPECT_TRUE(Names(spoiled, "differs: " + Shown("data\\flip") + ": contents differ"))
      << spoiled.output;
  EXPECT_TRUE(Names(spoiled, "missing: " + Shown("data\\gone"))) << spoiled.output;
  EXPECT_TRUE(Names(spoiled, "extra: " + Shown("data\\extra"))) << spoiled.output;
  EXPECT_TRUE(Names(spoiled, "missing: empty")) << spoiled.output;
  EXPECT_TRUE(Names(spoiled, "differs: setup.exe (the launcher): contents differ"))
      << spoiled.output;
  EXPECT_TRUE(Names(spoiled, "5 differences")) << spoiled.output;
  EXPECT_FALSE(Names(spoiled, Shown("lib\\SETUP.EXE"))) << "the nested installer is intact";

  fs::remove(medium / "setup.exe");
  const ProgramRun noLauncher = RunProgram(MkmediumProgram(), scratch.path, check);
  EXPECT_TRUE(Names(noLauncher, "missing: setup.exe (the launcher)")) << noLauncher.output;
  // The launcher named is the one compared against.
  fs::copy_file(LauncherProgram(), medium / "setup.exe");
  const ProgramRun otherLauncher = RunProgram(
      MkmediumProgram(), scratch.path, check + " --launcher " + Quoted(source / "SETUP.EXE"));
  EXPECT_TRUE(Names(otherLauncher, "differs: setup.exe (the launcher): contents differ"))
      << otherLauncher.output;
}

// The tree holds what a Western code page holds, so that Windows itself,
// under Wine, can list it for the tool and restore it through the launcher.
TEST(Mkmedium, NamesTheCodePageCannotHoldAreRefusedTheOthersComeBack) {
  ScratchDir scratch;
  const fs::path source = scratch.path / "source";
  WriteBytes(source / "SETUP.EXE", ReadBytes(TestInstallerProgram()));
  WriteBytes(source / fs::u8path("M\u00fcller.txt"), TextBytes("umlaut"));
  WriteBytes(source / fs::u8path("\u00d1and\u00fa") / "plain.txt", TextBytes("in a folder"));
  WriteBytes(source / "ascii.txt", TextBytes("plain"));
  const fs::path medium = scratch.path / "medium";

  const ProgramRun cyrillic =
      RunMkmedium(scratch.path, Quoted(source) + " " + Quoted(medium) + " --code-page 1251");
  EXPECT_EQ(cyrillic.exitCode, 2) << cyrillic.output;
  // The name whole, in UTF-8 through the pipe on either system.
  EXPECT_TRUE(Names(cyrillic, "M\u00fcller.txt: code page 1251 cannot hold this name"))
      << cyrillic.output;
  EXPECT_TRUE(Names(cyrillic, "2 paths refused")) << cyrillic.output;
  EXPECT_FALSE(fs::exists(medium));

  const ProgramRun western = RunMkmedium(scratch.path, Quoted(source) + " " + Quoted(medium));
  ASSERT_EQ(western.exitCode, 0) << western.output;
  EXPECT_FALSE(Names(western, "ascii.txt")) << "plain ASCII passes without a note";
  const ProgramRun check =
      RunMkmedium(scratch.path, "--check " + Quoted(source) + " " + Quoted(medium));
  EXPECT_EQ(check.exitCode, 0) << check.output;
  const fs::path restored = scratch.path / "restored";
  fs::permissions(medium / "setup.exe", fs::perms::owner_exec, fs::perm_options::add);
  EXPECT_EQ(RunProgram(medium / "setup.exe", medium, Quoted(restored)).exitCode, 1);
  EXPECT_EQ(ReadBytes(restored / fs::u8path("M\u00fcller.txt")), TextBytes("umlaut"));
  EXPECT_EQ(ReadBytes(restored / fs::u8path("\u00d1and\u00fa") / "plain.txt"),
            TextBytes("in a folder"));
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
  EXPECT_TRUE(Names(help, "default 80"));
  for (const char* refused :
       {"\"\" b", "a \"\"", "a b --source-length 2", "a b --code-page 65001",
        "a b --label 0123456789012345678901234567890123456789", "a b --iso \"\""}) {
    EXPECT_EQ(RunProgram(MkmediumProgram(), scratch.path, refused).exitCode, 64) << refused;
  }
  EXPECT_EQ(ListTree(scratch.path), std::vector<std::string>{});

  // Options that contradict each other, each told as what it is.
  const std::pair<const char*, const char*> contradictions[] = {
      {"-q -v a b", "-q and -v contradict each other"},
      {"--label PRODUCT a b", "--label names the image's volume: give --iso FILE too"},
      {"--check --iso x.iso a b", "--check takes an image as MEDIUM"},
      {"--launcher stage medium-x", "--launcher took stage as its FILE"},
      {"--check stage", "usage: mkmedium --check [options] SOURCE MEDIUM|IMAGE.iso"},
      {"stage", "usage: mkmedium [options] SOURCE MEDIUM"},
      {"a b --label 0123456789012345678901234567890123456789", "1 to 32 characters"}};
  for (const auto& [arguments, told] : contradictions) {
    const ProgramRun run = RunProgram(MkmediumProgram(), scratch.path, arguments);
    EXPECT_EQ(run.exitCode, 64) << arguments;
    EXPECT_TRUE(Names(run, told)) << arguments << ": " << run.output;
  }
}

TEST(Mkmedium, VersionNamesTheLicenceAndTheDefaultLauncher) {
  ScratchDir scratch;
  const ProgramRun version = RunProgram(MkmediumProgram(), scratch.path, "--version");
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_TRUE(Names(version, "Copyright (c) 2026 The Vantrel authors")) << version.output;
  EXPECT_TRUE(Names(version, "Licence: MIT")) << version.output;
  // The launcher a make would take: a file that is there, or none and why.
  const std::size_t at = version.output.find("Default launcher: ");
  ASSERT_NE(at, std::string::npos) << version.output;
  std::string named = version.output.substr(at + 18);
  named = named.substr(0, named.find_first_of("\r\n"));
  if (named.rfind("none found (looked for ", 0) != 0) {
    EXPECT_TRUE(fs::is_regular_file(named)) << version.output;
  }
}

}  // namespace
