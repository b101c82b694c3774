// A tree made into a medium by mkmedium comes back byte for byte through the
// launcher, the installer under its stored name included.
#include <gtest/gtest.h>

#include <cctype>

#include "tests/support/test_programs.h"

namespace {

std::vector<std::string> Folded(std::vector<std::string> names) {
  for (auto& name : names) {
    for (auto& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return names;
}

TEST(MkmediumRoundTrip, TheLauncherRestoresWhatMkmediumStored) {
  ScratchDir scratch;
  const fs::path source = scratch.path / "source";
  WriteBytes(source / "SETUP.EXE", ReadBytes(TestInstallerProgram()));
  WriteBytes(source / "docs" / "readme.txt", TextBytes("read me"));
  WriteBytes(source / "docs" / "empty", {});
  WriteBytes(source / "bin" / "ones", Bytes(4097, 0xFF));
  WriteBytes(source / "bin" / "Setup.Exe", TextBytes("a nested installer"));
  WriteBytes(source / "bin" / "random", PatternBytes(300000, 4));
  fs::create_directories(source / "emptydir");

  const fs::path medium = scratch.path / "medium";
  const ProgramRun made = RunProgram(MkmediumProgram(), scratch.path,
                                     "\"" + source.string() + "\" \"" + medium.string() +
                                         "\" --launcher \"" + LauncherProgram().string() + "\"");
  ASSERT_EQ(made.exitCode, 0) << made.output;
  EXPECT_TRUE(fs::exists(medium / "setup.xex"));
  EXPECT_TRUE(fs::exists(medium / "bin" / "setup.xex"));
  EXPECT_EQ(ReadBytes(medium / "docs" / "readme.txt"), Complemented(TextBytes("read me")));
  EXPECT_EQ(ReadBytes(medium / "setup.exe"), ReadBytes(LauncherProgram()));

  const ProgramRun checked = RunProgram(MkmediumProgram(), scratch.path,
                                        "--check \"" + source.string() + "\" \"" + medium.string() +
                                            "\" --launcher \"" + LauncherProgram().string() + "\"");
  EXPECT_EQ(checked.exitCode, 0) << checked.output;

  const fs::path target = scratch.path / "restored";
  fs::permissions(medium / "setup.exe", fs::perms::owner_exec, fs::perm_options::add);
  EXPECT_EQ(RunProgram(medium / "setup.exe", medium, "\"" + target.string() + "\"").exitCode, 1);
  // Names of the installer come back upper case: compare names case-folded.
  EXPECT_EQ(Folded(ListTree(target)), Folded(ListTree(source)));
  for (const auto& entry : fs::recursive_directory_iterator(source)) {
    if (!entry.is_regular_file()) continue;
    fs::path restored = target / fs::relative(entry.path(), source);
    if (Folded({restored.filename().string()})[0] == "setup.exe") {
      restored.replace_filename("SETUP.EXE");
    }
    EXPECT_EQ(ReadBytes(restored), ReadBytes(entry.path())) << entry.path();
  }
}

}  // namespace
