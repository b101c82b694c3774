// mkmedium on Linux, where a tree can hold what Windows cannot: such names,
// links and case twins are refused; failures leave nothing; the ISO image
// and a real tree come back through the launcher.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <set>

#include "tests/support/test_programs.h"

namespace {

// Quoted for the shell, quotes inside included.
std::string Quoted(const fs::path& path) {
  std::string quoted = "'";
  for (const char c : path.string()) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

ProgramRun RunMkmedium(const fs::path& directory, const std::string& arguments) {
  return RunProgram(MkmediumProgram(), directory,
                    arguments + " --launcher " + Quoted(LauncherProgram()));
}

ProgramRun RunShell(const std::string& command) {
  return RunProgram("/bin/sh", "/", "-c " + Quoted(command));
}

TEST(MkmediumPosix, RefusesNamesWindowsCannotHoldLinksAndCaseTwins) {
  ScratchDir scratch;
  const fs::path source = scratch.path / "source";
  WriteBytes(source / "SETUP.EXE", TextBytes("installer"));
  const std::vector<std::string> refusedNames = {"con.txt", "LPT1",   "a:b",      "what?",
                                                 "trail.",  "blank ", "tab\tname"};
  for (const auto& name : refusedNames) WriteBytes(source / "names" / name, {});
  WriteBytes(source / "case" / "Readme", {});
  WriteBytes(source / "case" / "README", {});
  fs::create_directories(source / "case" / "setup.xex");  // where the installer is kept
  WriteBytes(source / "case" / "Setup.exe", {});
  WriteBytes(source / "backslash" / "back\\slash", {});  // no launcher path spells it
  ASSERT_EQ(mkfifo((source / "fifo").c_str(), 0644), 0);
  fs::create_symlink("/etc/passwd", source / "passwd");
  fs::create_directory_symlink("/etc", source / "etc");
  const fs::path medium = scratch.path / "medium";

  const ProgramRun run = RunMkmedium(scratch.path, Quoted(source) + " " + Quoted(medium));
  EXPECT_EQ(run.exitCode, 2) << run.output;
  for (const auto& name : refusedNames) {
    EXPECT_NE(run.output.find("refused: names\\" + name + ": "), std::string::npos) << name;
  }
  EXPECT_NE(run.output.find("\"README\" and \"Readme\" differ"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("Setup.exe (kept as setup.xex)\" and \"setup.xex\""), std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("refused: backslash: 1 name holding a backslash"), std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("refused: fifo: not a regular file"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("refused: passwd: a link"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("refused: etc: a link"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("13 refused; nothing written"), std::string::npos) << run.output;
  EXPECT_FALSE(fs::exists(medium));
}

TEST(MkmediumPosix, AFullDiskLeavesTheMediumAsItWas) {
  ScratchDir scratch;
  const fs::path source = scratch.path / "source";
  WriteBytes(source / "SETUP.EXE", TextBytes("installer"));
  WriteBytes(source / "a" / "first", PatternBytes(10000, 2));
  WriteBytes(source / "a" / "second", PatternBytes(1 << 20, 3));
  // A file-size limit stands for a full disk: writes past 64 KiB fail.
  const auto makeWithFullDisk = [&](const fs::path& medium) {
    return RunShell("trap '' XFSZ; ulimit -f 64; exec " + Quoted(MkmediumProgram()) + " " +
                    Quoted(source) + " " + Quoted(medium) + " --launcher " +
                    Quoted(LauncherProgram()));
  };
  const fs::path fresh = scratch.path / "fresh";
  const ProgramRun failed = makeWithFullDisk(fresh);
  EXPECT_EQ(failed.exitCode, 1) << failed.output;
  EXPECT_NE(failed.output.find("nothing kept in"), std::string::npos) << failed.output;
  EXPECT_FALSE(fs::exists(fresh));

  const fs::path empty = scratch.path / "empty";
  fs::create_directories(empty);
  EXPECT_EQ(makeWithFullDisk(empty).exitCode, 1);
  EXPECT_TRUE(fs::is_directory(empty));
  EXPECT_TRUE(fs::is_empty(empty));
}

TEST(MkmediumPosix, DrawsItsProgressBarOnlyOnATerminal) {
  ScratchDir scratch;
  const fs::path source = scratch.path / "source";
  WriteBytes(source / "SETUP.EXE", TextBytes("installer"));
  WriteBytes(source / "data", PatternBytes(100000, 3));
  const std::string make = Quoted(MkmediumProgram()) + " " + Quoted(source) + " " +
                           Quoted(scratch.path / "medium") + " --launcher " +
                           Quoted(LauncherProgram());
  const ProgramRun onTerminal = RunShell("script -qec \"" + make + "\" /dev/null");
  EXPECT_NE(onTerminal.output.find("\r[##############################] 100%  2/2 files"),
            std::string::npos)
      << onTerminal.output;
  const ProgramRun quiet =
      RunShell("script -qec \"" + make + " --quiet\" /dev/null; ls " + Quoted(scratch.path));
  EXPECT_EQ(quiet.output.find('['), std::string::npos) << quiet.output;
}

TEST(MkmediumPosix, TheImageHoldsTheMediumUnderItsJolietNames) {
  ScratchDir scratch;
  const fs::path source = scratch.path / "source";
  WriteBytes(source / "SETUP.EXE", ReadBytes(TestInstallerProgram()));
  const std::string longName(100, 'j');
  WriteBytes(source / "Mixed Case" / longName, PatternBytes(70000, 5));
  WriteBytes(source / "deep/1/2/3/4/5/6/7/8/9/leaf.txt", TextBytes("below ISO's depth 8"));
  const fs::path image = scratch.path / "medium.iso";
  const ProgramRun made =
      RunMkmedium(scratch.path, Quoted(source) + " " + Quoted(scratch.path / "medium") + " --iso " +
                                    Quoted(image));
  ASSERT_EQ(made.exitCode, 0) << made.output;

  // Read back the Joliet tree alone, as Windows reads it.
  const fs::path fromImage = scratch.path / "from-image";
  const ProgramRun extracted = RunShell("xorriso -osirrox on -indev " + Quoted(image) +
                                        " -rockridge off -extract / " + Quoted(fromImage));
  ASSERT_EQ(extracted.exitCode, 0) << extracted.output;
  const ProgramRun check = RunProgram(MkmediumProgram(), scratch.path,
                                      "--check " + Quoted(source) + " " + Quoted(fromImage));
  EXPECT_EQ(check.exitCode, 0) << check.output;

  const fs::path restored = scratch.path / "restored";
  fs::permissions(fromImage, fs::perms::owner_all, fs::perm_options::add);
  fs::permissions(fromImage / "setup.exe", fs::perms::owner_exec, fs::perm_options::add);
  EXPECT_EQ(RunProgram(fromImage / "setup.exe", fromImage, Quoted(restored)).exitCode, 1);
  EXPECT_EQ(ReadBytes(restored / "Mixed Case" / longName), PatternBytes(70000, 5));
  EXPECT_EQ(ReadBytes(restored / "deep/1/2/3/4/5/6/7/8/9/leaf.txt"),
            TextBytes("below ISO's depth 8"));
}

// /usr/share/doc as a vendor would ship it: links taken as their files, and
// one of each pair of names Windows would take for the same.
std::uintmax_t CopyShippableTree(const fs::path& from, const fs::path& to) {
  std::set<std::string> folded;
  std::uintmax_t files = 0;
  for (auto it = fs::recursive_directory_iterator(from); it != fs::recursive_directory_iterator();
       ++it) {
    std::error_code error;
    if (!it->is_regular_file(error)) continue;
    const fs::path relative = fs::relative(it->path(), from);
    std::string key = relative.string();
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!folded.insert(key).second) continue;
    fs::create_directories(to / relative.parent_path());
    if (fs::copy_file(it->path(), to / relative, error)) ++files;
  }
  return files;
}

TEST(MkmediumPosix, ARealTreeComesBackThroughTheLauncher) {
  ScratchDir scratch;
  const fs::path source = scratch.path / "source";
  ASSERT_GT(CopyShippableTree("/usr/share/doc", source), 100u);
  WriteBytes(source / "SETUP.EXE", ReadBytes(TestInstallerProgram()));
  const fs::path medium = scratch.path / "medium";
  const ProgramRun made = RunMkmedium(scratch.path, Quoted(source) + " " + Quoted(medium));
  ASSERT_EQ(made.exitCode, 0) << made.output;
  EXPECT_EQ(RunProgram(MkmediumProgram(), scratch.path,
                       "--check " + Quoted(source) + " " + Quoted(medium))
                .exitCode,
            0);
  const fs::path restored = scratch.path / "restored";
  EXPECT_EQ(RunProgram(medium / "setup.exe", medium, Quoted(restored)).exitCode, 1);
  EXPECT_EQ(ListTree(restored), ListTree(source));
  const ProgramRun same = RunShell("diff -r " + Quoted(source) + " " + Quoted(restored));
  EXPECT_EQ(same.exitCode, 0) << same.output.substr(0, 2000);
}

}  // namespace
