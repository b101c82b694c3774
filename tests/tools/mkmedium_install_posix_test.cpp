// mkmedium installed as a vendor's build server installs it: into a prefix
// with cmake --install, and from the Debian package; a medium made from
// there carries the 32-bit Windows launcher that ships with it, and one
// named otherwise is taken with a note.
#include <gtest/gtest.h>

#include "tests/support/test_programs.h"

namespace {

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

ProgramRun RunShell(const std::string& command) {
  return RunProgram("/bin/sh", "/", "-c \"" + command + "\"");
}

bool Names(const ProgramRun& run, const std::string& text) {
  return run.output.find(text) != std::string::npos;
}

// The Windows launcher this build installs, from the win32 build.
const fs::path kWindowsLauncher = VANTREL_WINDOWS_LAUNCHER;

// A small source tree with its installer.
fs::path MakeSource(const fs::path& scratch) {
  fs::path source = scratch / "source";
  WriteBytes(source / "SETUP.EXE", ReadBytes(TestInstallerProgram()));
  WriteBytes(source / "data" / "one", PatternBytes(300000, 9));
  return source;
}

// Makes and checks a medium with the tool under `root`, taking its default
// launcher, which must be the one installed under `root` beside it.
void MakeWithTheShippedLauncher(const fs::path& root, const fs::path& scratch) {
  const fs::path tool = root / "bin" / "mkmedium";
  const fs::path shipped = root / "share" / "vantrel" / "setup.exe";
  const fs::path source = MakeSource(scratch);
  const fs::path medium = scratch / "medium";
  const ProgramRun made = RunProgram(tool, scratch, Quoted(source) + " " + Quoted(medium));
  ASSERT_EQ(made.exitCode, 0) << made.output;
  EXPECT_TRUE(Names(made, "with the launcher " + shipped.string())) << made.output;
  EXPECT_FALSE(Names(made, "note: the launcher")) << made.output;
  EXPECT_TRUE(ReadBytes(medium / "setup.exe") == ReadBytes(kWindowsLauncher));
  const ProgramRun checked =
      RunProgram(tool, scratch, "--check " + Quoted(source) + " " + Quoted(medium));
  EXPECT_EQ(checked.exitCode, 0) << checked.output;
  EXPECT_TRUE(
      Names(checked, "carries the launcher " + shipped.string() + " (a 32-bit Windows program)"))
      << checked.output;
}

// cmake --install into a prefix of the scratch folder.
fs::path InstallInto(const fs::path& scratch) {
  fs::path prefix = scratch / "prefix";
  const ProgramRun installed = RunShell("cmake --install " + Quoted(BuildDirectory()) +
                                        " --prefix " + Quoted(prefix) + " 2>&1");
  EXPECT_EQ(installed.exitCode, 0) << installed.output;
  // The programs stripped as they are installed, the build's own kept whole.
  for (const fs::path& program : {prefix / "bin" / "mkmedium", prefix / "share/vantrel/setup"}) {
    EXPECT_FALSE(Names(RunShell("readelf -S " + Quoted(program)), ".symtab")) << program;
  }
  EXPECT_TRUE(Names(RunShell("readelf -S " + Quoted(LauncherProgram())), ".symtab"));
  const Bytes page = ReadBytes(prefix / "share/man/man1/mkmedium.1");
  const std::string text(page.begin(), page.end());
  EXPECT_EQ(text.rfind(".TH MKMEDIUM 1 \"2026\" \"vantrel ", 0), 0u) << text;
  EXPECT_EQ(text.find('@'), std::string::npos) << "the version filled in";
  if (fs::exists(kWindowsLauncher)) {
    EXPECT_TRUE(ReadBytes(prefix / "share/vantrel/setup.exe") == ReadBytes(kWindowsLauncher));
  }
  return prefix;
}

// The Windows launcher comes from the win32 build, which a fresh checkout
// builds after the native one: until then there is none to ship.
#define SKIP_WITHOUT_WINDOWS_LAUNCHER()                                                 \
  if (!fs::exists(kWindowsLauncher)) {                                                  \
    GTEST_SKIP() << "no " << kWindowsLauncher << " to install: build the win32 preset"; \
  }

TEST(MkmediumInstall, AnInstalledToolMakesMediaWithTheWindowsLauncherItShips) {
  SKIP_WITHOUT_WINDOWS_LAUNCHER();
  ScratchDir scratch;
  MakeWithTheShippedLauncher(InstallInto(scratch.path), scratch.path);
}

// Without it only a named launcher is taken: the Linux one, with a note,
// and the medium then restores on Linux.
TEST(MkmediumInstall, WithoutAWindowsLauncherOnlyANamedOneIsTaken) {
  ScratchDir scratch;
  const fs::path prefix = InstallInto(scratch.path);
  const fs::path shipped = prefix / "share" / "vantrel";
  fs::remove(shipped / "setup.exe");
  const fs::path source = MakeSource(scratch.path);
  const fs::path medium = scratch.path / "medium";
  const std::string operands = Quoted(source) + " " + Quoted(medium);
  const ProgramRun none = RunProgram(prefix / "bin" / "mkmedium", scratch.path, operands);
  EXPECT_EQ(none.exitCode, 1) << none.output;
  EXPECT_TRUE(Names(none, "no 32-bit Windows launcher found (looked for " +
                              (prefix / "bin" / "setup.exe").string() + ", " +
                              (shipped / "setup.exe").string()))
      << none.output;
  EXPECT_TRUE(Names(none, "name one with --launcher FILE")) << none.output;
  EXPECT_FALSE(fs::exists(medium));
  const ProgramRun named = RunProgram(prefix / "bin" / "mkmedium", scratch.path,
                                      operands + " --launcher " + Quoted(shipped / "setup"));
  ASSERT_EQ(named.exitCode, 0) << named.output;
  EXPECT_TRUE(Names(named, "note: the launcher " + (shipped / "setup").string() +
                               " is a Linux program, which Windows cannot start"))
      << named.output;
  const ProgramRun checked =
      RunProgram(prefix / "bin" / "mkmedium", scratch.path,
                 "--check " + operands + " --launcher " + Quoted(shipped / "setup"));
  EXPECT_TRUE(Names(checked, "(a Linux program, which Windows cannot start)")) << checked.output;
  const fs::path restored = scratch.path / "restored";
  EXPECT_EQ(RunProgram(medium / "setup.exe", medium, Quoted(restored)).exitCode, 1);
  EXPECT_TRUE(ReadBytes(restored / "data" / "one") == PatternBytes(300000, 9));
}

// The package a build server installs with apt-get install ./FILE.deb: its
// files, its needs, and the tool run from where it unpacks.
TEST(MkmediumInstall, TheDebianPackageHoldsTheToolAndTheWindowsLauncher) {
  ScratchDir scratch;
  // Started elsewhere, as the README starts it, cpack packs into the build.
  const ProgramRun packed = RunShell("cd " + Quoted(scratch.path) + " && cpack -G DEB --config " +
                                     Quoted(BuildDirectory() / "CPackConfig.cmake") + " 2>&1");
  ASSERT_EQ(packed.exitCode, 0) << packed.output;
  EXPECT_EQ(ListTree(scratch.path), std::vector<std::string>{}) << packed.output;
  fs::create_directories(scratch.path / "package");
  std::vector<fs::path> packages;
  for (const auto& entry : fs::directory_iterator(BuildDirectory())) {
    if (entry.path().extension() != ".deb") continue;
    packages.push_back(scratch.path / "package" / entry.path().filename());
    fs::rename(entry.path(), packages.back());
  }
  ASSERT_EQ(packages.size(), 1u) << packed.output;
  const ProgramRun contents = RunShell("dpkg-deb -c " + Quoted(packages[0]));
  for (const char* file :
       {"./usr/bin/mkmedium", "./usr/share/vantrel/setup", "./usr/share/man/man1/mkmedium.1",
        "./usr/share/doc/vantrel-mkmedium/copyright"}) {
    EXPECT_TRUE(Names(contents, std::string(file) + "\n")) << file << "\n" << contents.output;
  }
  const ProgramRun fields = RunShell("dpkg-deb -f " + Quoted(packages[0]) + " Recommends Depends");
  EXPECT_TRUE(Names(fields, "Recommends: xorriso")) << fields.output;
  EXPECT_TRUE(Names(fields, "libc6")) << fields.output;
  SKIP_WITHOUT_WINDOWS_LAUNCHER();
  EXPECT_TRUE(Names(contents, "./usr/share/vantrel/setup.exe\n")) << contents.output;

  const fs::path root = scratch.path / "root";
  ASSERT_EQ(RunShell("dpkg-deb -x " + Quoted(packages[0]) + " " + Quoted(root)).exitCode, 0);
  const Bytes copyrightBytes = ReadBytes(root / "usr/share/doc/vantrel-mkmedium/copyright");
  const std::string copyright(copyrightBytes.begin(), copyrightBytes.end());
  EXPECT_TRUE(copyright.find("Copyright: 2026 The Vantrel authors\nLicense: Expat\n Permission "
                             "is hereby granted") != std::string::npos)
      << copyright;
  EXPECT_EQ(ReadBytes(root / "usr/share/vantrel/setup.exe"), ReadBytes(kWindowsLauncher))
      << "the launcher packed as built";
  MakeWithTheShippedLauncher(root / "usr", scratch.path);
}

}  // namespace
