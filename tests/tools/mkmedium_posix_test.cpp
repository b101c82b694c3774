// mkmedium on Linux, where a tree can hold what Windows cannot: such names,
// links and case twins are refused; failures leave nothing; the ISO image
// and a real tree come back through the launcher.
#include <gtest/gtest.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <set>
#include <thread>
#include <vector>

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
    EXPECT_NE(run.output.find("refused: names/" + name + ": "), std::string::npos) << name;
  }
  EXPECT_NE(run.output.find("\"README\" and \"Readme\" differ"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("Setup.exe (kept as setup.xex)\" and \"setup.xex\""), std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("refused: backslash: 1 name holding a backslash"), std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("refused: fifo: not a regular file"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("refused: passwd: a link"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("refused: etc: a link"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("13 paths refused; nothing written"), std::string::npos) << run.output;
  EXPECT_FALSE(fs::exists(medium));
}

// Every file and folder below `root` with its modification time: what a
// refusal must leave as it was.
std::vector<std::string> ListTreeWithTimes(const fs::path& root) {
  std::vector<std::string> listed;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    listed.push_back(entry.path().string() + " " +
                     std::to_string(entry.last_write_time().time_since_epoch().count()));
  }
  listed.push_back(std::to_string(fs::last_write_time(root).time_since_epoch().count()));
  std::sort(listed.begin(), listed.end());
  return listed;
}

// MEDIUM and SOURCE are compared as directories, not spellings: through a
// link, and through a bind mount (a container volume is one), both ways.
TEST(MkmediumPosix, AMediumThatIsTheSourceByAnyOtherNameIsRefusedUnwritten) {
  ScratchDir scratch;
  const fs::path source = scratch.path / "source";
  WriteBytes(source / "SETUP.EXE", TextBytes("installer"));
  fs::create_directories(source / "empty");
  fs::create_directories(source / "deep" / "er");
  fs::create_directory_symlink(source, scratch.path / "alias");
  fs::create_directories(scratch.path / "vol");
  fs::create_directories(scratch.path / "outside");
  const std::vector<std::string> before = ListTreeWithTimes(source);
  const auto make = [&](const std::string& from, const std::string& to,
                        const std::string& more = "") {
    return Quoted(MkmediumProgram()) + " --launcher " + Quoted(LauncherProgram()) + " " +
           Quoted(scratch.path / from) + " " + Quoted(scratch.path / to) + more + " 2>&1";
  };
  for (const char* medium : {"alias", "alias/empty", "alias/new", "alias/deep/er/new"}) {
    const ProgramRun run = RunShell(make("source", medium));
    EXPECT_EQ(run.exitCode, 2) << medium << ": " << run.output;
    EXPECT_NE(
        run.output.find("the source " + (scratch.path / "source").string() + "; nothing written"),
        std::string::npos)
        << run.output;
  }
  // The other way round: the source through a link to an empty MEDIUM.
  fs::create_directory_symlink(scratch.path / "outside", scratch.path / "outside-link");
  const ProgramRun reversed = RunShell(make("outside-link", "outside"));
  EXPECT_EQ(reversed.exitCode, 2) << reversed.output;
  EXPECT_NE(reversed.output.find("is the source"), std::string::npos) << reversed.output;
  EXPECT_EQ(ListTreeWithTimes(source), before);
  EXPECT_TRUE(fs::is_empty(scratch.path / "outside"));

  // A private mount namespace: the mounts end with the shell.
  if (RunShell("unshare -m true").exitCode != 0) {
    GTEST_SKIP() << "this test may not mount here (unshare -m fails): the bind mounts are "
                    "left untried";
  }
  const std::string bind =
      "mount --bind " + Quoted(source / "empty") + " " + Quoted(scratch.path / "vol") + " && ";
  const ProgramRun mounted = RunShell("unshare -m sh -c " + Quoted(bind + make("source", "vol")));
  EXPECT_EQ(mounted.exitCode, 2) << mounted.output;
  EXPECT_NE(mounted.output.find("vol lies inside the source"), std::string::npos) << mounted.output;
  const std::string bindDeep = "mount --bind " + Quoted(source / "deep" / "er") + " " +
                               Quoted(scratch.path / "vol") + " && ";
  const ProgramRun below =
      RunShell("unshare -m sh -c " + Quoted(bindDeep + make("source", "vol/new")));
  EXPECT_EQ(below.exitCode, 2) << below.output;
  const ProgramRun image =
      RunShell("unshare -m sh -c " +
               Quoted(bindDeep + make("source", "medium",
                                      " --iso " + Quoted(scratch.path / "vol" / "x.iso"))));
  EXPECT_EQ(image.exitCode, 2) << image.output;
  EXPECT_NE(image.output.find("must lie outside"), std::string::npos) << image.output;
  const ProgramRun sourceMounted = RunShell(
      "unshare -m sh -c " + Quoted("mount --bind " + Quoted(scratch.path / "outside") + " " +
                                   Quoted(scratch.path / "vol") + " && " + make("vol", "outside")));
  EXPECT_NE(sourceMounted.output.find("is the source"), std::string::npos) << sourceMounted.output;
  EXPECT_EQ(ListTreeWithTimes(source), before);
  EXPECT_FALSE(fs::exists(scratch.path / "medium"));
  EXPECT_TRUE(fs::is_empty(scratch.path / "vol"));
}

TEST(MkmediumPosix, AFullDiskLeavesTheMediumAsItWas) {
  ScratchDir scratch;
  const fs::path source = scratch.path / "source";
  WriteBytes(source / "SETUP.EXE", TextBytes("installer"));
  WriteBytes(source / "a" / "first", PatternBytes(10000, 2));
  WriteBytes(source / "a" / "second", PatternBytes(1 << 20, 3));
  // A file-size limit stands for a full disk: writes past 64 KiB fail, and
  // the tool's own SIGXFSZ, which would kill it with a partial medium left,
  // is ignored by the tool itself.
  const auto makeWithFullDisk = [&](const fs::path& medium) {
    return RunShell("ulimit -f 64; exec " + Quoted(MkmediumProgram()) + " " + Quoted(source) + " " +
                    Quoted(medium) + " --launcher " + Quoted(LauncherProgram()));
  };
  const fs::path fresh = scratch.path / "fresh";
  const ProgramRun failed = makeWithFullDisk(fresh);
  EXPECT_EQ(failed.exitCode, 1) << failed.output;
  EXPECT_NE(failed.output.find("nothing kept in"), std::string::npos) << failed.output;
  EXPECT_NE(
      failed.output.find("cannot write " + (fresh / "a" / "second").string() + ": File too large."),
      std::string::npos)
      << failed.output;
  EXPECT_FALSE(fs::exists(fresh));

  // The vendor's own folder stays itself, its mode kept, only emptied.
  const fs::path empty = scratch.path / "empty";
  fs::create_directories(empty);
  ASSERT_EQ(chmod(empty.c_str(), 0750), 0);
  struct stat before = {};
  ASSERT_EQ(stat(empty.c_str(), &before), 0);
  EXPECT_EQ(makeWithFullDisk(empty).exitCode, 1);
  struct stat after = {};
  ASSERT_EQ(stat(empty.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mode, before.st_mode);
  EXPECT_TRUE(fs::is_empty(empty));
}

// As a user, not root (who reads everything, as CI runs): a folder that can
// be listed but not searched, one that cannot be listed, a file that cannot
// be opened. The make refuses each, unwritten, saying what helps; the check
// compares nothing it cannot read and passes nothing it did not compare.
TEST(MkmediumPosix, AsAUserWhatCannotBeReadIsRefusedUnwrittenAndNeverPassed) {
  constexpr const char* kUser = "65534";  // nobody
  std::string asUser;
  if (geteuid() == 0) {
    if (RunShell("command -v setpriv").exitCode != 0) GTEST_SKIP() << "no setpriv to drop root";
    asUser = std::string("setpriv --reuid=") + kUser + " --regid=" + kUser + " --clear-groups ";
  }
  ScratchDir scratch;
  const fs::path source = scratch.path / "source";
  const fs::path medium = scratch.path / "medium";
  WriteBytes(source / "SETUP.EXE", TextBytes("installer"));
  WriteBytes(source / "locked" / "inside.txt", TextBytes("inside"));
  WriteBytes(source / "sealed" / "hidden.txt", TextBytes("hidden"));
  WriteBytes(source / "secret.txt", TextBytes("secret"));
  ASSERT_EQ(RunMkmedium(scratch.path, Quoted(source) + " " + Quoted(medium)).exitCode, 0);
  if (geteuid() == 0) {
    ASSERT_EQ(RunShell("chown -R " + std::string(kUser) + ":" + kUser + " " + Quoted(scratch.path))
                  .exitCode,
              0);
  }
  const auto runAsUser = [&](const std::string& arguments) {
    return RunProgram("/bin/sh", scratch.path,
                      "-c " + Quoted(asUser + Quoted(MkmediumProgram()) + " " + arguments +
                                     " --launcher " + Quoted(LauncherProgram())));
  };
  const auto expectTold = [](const ProgramRun& run, const std::vector<std::string>& lines) {
    for (const std::string& told : lines) {
      EXPECT_NE(run.output.find(told), std::string::npos) << told << "\n" << run.output;
    }
  };
  fs::permissions(medium / "locked", fs::perms(0644));
  fs::permissions(source / "secret.txt", fs::perms(0));
  const ProgramRun check = runAsUser("--check " + Quoted(source) + " " + Quoted(medium));
  EXPECT_NE(check.exitCode, 0) << check.output;
  EXPECT_EQ(check.output.find("restores to"), std::string::npos) << check.output;
  expectTold(check, {"cannot compare: locked/inside.txt in the medium: cannot be looked up: ",
                     "cannot compare: secret.txt in the source: "});

  fs::permissions(source / "locked", fs::perms(0644));
  fs::permissions(source / "sealed", fs::perms(0300));
  const fs::path fresh = scratch.path / "fresh";
  const ProgramRun made = runAsUser(Quoted(source) + " " + Quoted(fresh));
  EXPECT_EQ(made.exitCode, 2) << made.output;
  EXPECT_FALSE(fs::exists(fresh)) << made.output;
  const std::string help = " Run mkmedium as a user who can read it";
  expectTold(made, {"refused: locked/inside.txt: cannot be looked up: ",
                    "refused: sealed: cannot be listed: ",
                    "refused: secret.txt: cannot be opened: ", help});
  for (const fs::path& folder : {source / "locked", source / "sealed", medium / "locked"}) {
    fs::permissions(folder, fs::perms(0755));
  }
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
  // Names that xorriso would take for its options, relative to the working
  // directory, and an older image in the way.
  const fs::path image = scratch.path / "-medium.iso";
  WriteBytes(image, TextBytes("last week's image"));
  const ProgramRun made = RunProgram(
      MkmediumProgram(), scratch.path,
      "--launcher " + Quoted(LauncherProgram()) +
          " --iso -medium.iso --label \"\u00c9TIQUETTE-DU-PRODUIT\" -- source -print-size");
  ASSERT_EQ(made.exitCode, 0) << made.output;
  for (const auto& name : ListTree(scratch.path)) EXPECT_EQ(name.find(".part"), std::string::npos);
  // 20 characters, 21 bytes: the note counts characters, and the Joliet name
  // Windows shows is what it says.
  EXPECT_NE(made.output.find("it shows the first 16 of \"\u00c9TIQUETTE-DU-PRODUIT\" (20)"),
            std::string::npos)
      << made.output;
  const Bytes bytes = ReadBytes(image);
  std::string joliet;
  // The descriptors after the primary one (sector 16), up to the terminator.
  constexpr std::size_t kSector = 2048;
  for (std::size_t at = 17 * kSector; at + kSector <= bytes.size() && bytes[at] != 255;
       at += kSector) {
    if (bytes[at] != 2) continue;
    for (std::size_t unit = at + 40; unit < at + 72; unit += 2) {
      joliet += bytes[unit] == 0 ? std::string(1, static_cast<char>(bytes[unit + 1])) : "?";
    }
  }
  EXPECT_EQ(joliet, "\xc9TIQUETTE-DU-PRO") << "the first 16 characters, one of them U+00C9";
  const std::string tooLong = "\u00c9" + std::string(31, 'L');
  const ProgramRun bytesOver =
      RunMkmedium(scratch.path, "source m2 --iso m2.iso --label " + Quoted(tooLong));
  EXPECT_EQ(bytesOver.exitCode, 64) << bytesOver.output;
  EXPECT_NE(bytesOver.output.find("takes 33 bytes, where the image's primary volume name holds 32"),
            std::string::npos)
      << bytesOver.output;

  // Read back the Joliet tree alone, as Windows reads it.
  const fs::path fromImage = scratch.path / "from-image";
  const ProgramRun extracted = RunShell("xorriso -osirrox on -indev " + Quoted(image) +
                                        " -rockridge off -extract / " + Quoted(fromImage));
  ASSERT_EQ(extracted.exitCode, 0) << extracted.output;
  const ProgramRun check =
      RunMkmedium(scratch.path, "--check " + Quoted(source) + " " + Quoted(fromImage));
  EXPECT_EQ(check.exitCode, 0) << check.output;
  EXPECT_EQ(ListTree(fromImage), ListTree(scratch.path / "-print-size"));

  const fs::path restored = scratch.path / "restored";
  fs::permissions(fromImage, fs::perms::owner_all, fs::perm_options::add);
  fs::permissions(fromImage / "setup.exe", fs::perms::owner_exec, fs::perm_options::add);
  EXPECT_EQ(RunProgram(fromImage / "setup.exe", fromImage, Quoted(restored)).exitCode, 1);
  EXPECT_EQ(ReadBytes(restored / "Mixed Case" / longName), PatternBytes(70000, 5));
  EXPECT_EQ(ReadBytes(restored / "deep/1/2/3/4/5/6/7/8/9/leaf.txt"),
            TextBytes("below ISO's depth 8"));
}

TEST(MkmediumPosix, AFailedImageLeavesWhatStoodAtItsPath) {
  ScratchDir scratch;
  const fs::path source = scratch.path / "source";
  WriteBytes(source / "SETUP.EXE", TextBytes("installer"));
  const fs::path image = scratch.path / "medium.iso";
  WriteBytes(image, TextBytes("last week's image"));
  const std::string make = Quoted(source) + " " + Quoted(scratch.path / "medium") + " --iso " +
                           Quoted(image) + " --launcher " + Quoted(LauncherProgram());
  const ProgramRun longLabel =
      RunProgram(MkmediumProgram(), scratch.path, make + " --label " + std::string(40, 'L'));
  EXPECT_EQ(longLabel.exitCode, 64) << longLabel.output;
  const ProgramRun noXorriso =
      RunShell("PATH=/nonexistent exec " + Quoted(MkmediumProgram()) + " " + make + " 2>&1");
  EXPECT_EQ(noXorriso.exitCode, 1) << noXorriso.output;
  EXPECT_NE(noXorriso.output.find("--iso needs xorriso, which cannot be started: install it"),
            std::string::npos)
      << noXorriso.output;
}

TEST(MkmediumPosix, NamesBeyondAsciiMeetTheCodePageAndTheCaseFoldOfWindows) {
  ScratchDir scratch;
  const fs::path source = scratch.path / "source";
  WriteBytes(source / "SETUP.EXE", ReadBytes(TestInstallerProgram()));
  WriteBytes(source / "M\u00fcller.txt", TextBytes("umlaut"));
  WriteBytes(source / "\u65e5\u672c.txt", TextBytes("kanji"));
  WriteBytes(source / "twins" / "r\u00e9sum\u00e9.txt", {});
  WriteBytes(source / "twins" / "R\u00c9SUM\u00c9.txt", {});
  const fs::path medium = scratch.path / "medium";
  const ProgramRun western = RunMkmedium(scratch.path, Quoted(source) + " " + Quoted(medium));
  EXPECT_EQ(western.exitCode, 2) << western.output;
  EXPECT_NE(western.output.find("refused: \u65e5\u672c.txt: code page 1252 cannot hold"),
            std::string::npos)
      << western.output;
  EXPECT_NE(
      western.output.find("\"R\u00c9SUM\u00c9.txt\" and \"r\u00e9sum\u00e9.txt\" differ only"),
      std::string::npos)
      << western.output;
  EXPECT_NE(western.output.find("2 paths refused"), std::string::npos) << western.output;

  fs::remove_all(source / "twins");
  const ProgramRun japanese =
      RunMkmedium(scratch.path, Quoted(source) + " " + Quoted(medium) + " --code-page 932");
  EXPECT_EQ(japanese.exitCode, 2) << japanese.output;
  EXPECT_NE(japanese.output.find("refused: M\u00fcller.txt: code page 932"), std::string::npos)
      << japanese.output;
  fs::remove(source / "M\u00fcller.txt");
  ASSERT_EQ(RunMkmedium(scratch.path, Quoted(source) + " " + Quoted(medium) + " --code-page 932")
                .exitCode,
            0);
  const fs::path restored = scratch.path / "restored";
  EXPECT_EQ(RunProgram(medium / "setup.exe", medium, Quoted(restored)).exitCode, 1);
  EXPECT_EQ(ReadBytes(restored / "\u65e5\u672c.txt"), TextBytes("kanji"));
}

// What a vendor's build reads and greps: refusals first, sorted, counted,
// each with what would help; notes one line a kind unless --verbose; SOURCE
// and MEDIUM as given; what stands in a MEDIUM in use; sizes and counts as a
// person says them; an image time xorriso would refuse, before anything is
// written.
TEST(MkmediumPosix, TellsWhatAVendorActsOnInTheFormsABuildGreps) {
  ScratchDir scratch;
  const fs::path source = scratch.path / "src";
  WriteBytes(source / "SETUP.EXE", TextBytes("installer"));
  for (const char* name : {"caf\u00e9.txt", "na\u00efve.txt", "\u00e9t\u00e9.txt"}) {
    WriteBytes(source / "notes" / name, TextBytes(name));
  }
  WriteBytes(source / "\u65e5\u672c.txt", TextBytes("kanji"));
  WriteBytes(source / "con.txt", {});
  const ProgramRun refused = RunMkmedium(scratch.path, "src medium");
  EXPECT_EQ(refused.exitCode, 2) << refused.output;
  const std::size_t device = refused.output.find("refused: con.txt: a reserved device name");
  const std::size_t kanji = refused.output.find(
      "refused: \u65e5\u672c.txt: code page 1252 cannot hold this name: the launcher would lose "
      "it; --code-page 932 or 936 or 949 or 950 hold it");
  ASSERT_NE(device, std::string::npos) << refused.output;
  ASSERT_NE(kanji, std::string::npos) << refused.output;
  EXPECT_LT(device, kanji) << "sorted";
  EXPECT_NE(refused.output.find("2 paths refused; nothing written to medium\n"), std::string::npos)
      << refused.output;
  const std::size_t notes = refused.output.find("note: 3 names, notes/");
  EXPECT_NE(notes, std::string::npos) << refused.output;
  EXPECT_GT(notes, kanji) << "notes after the refusals";
  EXPECT_NE(refused.output.find("(--verbose lists them)"), std::string::npos) << refused.output;
  const ProgramRun verbose = RunMkmedium(scratch.path, "src medium --verbose");
  std::size_t noteLines = 0;
  for (std::size_t at = verbose.output.find("note: notes/"); at != std::string::npos;
       at = verbose.output.find("note: notes/", at + 1)) {
    ++noteLines;
  }
  EXPECT_EQ(noteLines, 3u) << verbose.output;
  EXPECT_FALSE(fs::exists(scratch.path / "medium"));

  const fs::path lone = scratch.path / "lone";
  WriteBytes(lone / "Setup.exe", TextBytes("installer"));
  const ProgramRun single = RunMkmedium(scratch.path, "lone out");
  EXPECT_EQ(single.exitCode, 0) << single.output;
  EXPECT_NE(single.output.find("stored 1 file, 9 bytes, in out with the launcher"),
            std::string::npos)
      << single.output;
  EXPECT_NE(single.output.find("note: Setup.exe: comes back named \"SETUP.EXE\""),
            std::string::npos)
      << single.output;
  const ProgramRun inUse = RunMkmedium(scratch.path, "src out");
  EXPECT_EQ(inUse.exitCode, 2) << inUse.output;
  EXPECT_NE(inUse.output.find("refused: out must be a new or empty directory; it holds "),
            std::string::npos)
      << inUse.output;
  for (const char* name : {"a", "b", "c", "d"}) WriteBytes(scratch.path / "full" / name, {});
  EXPECT_NE(RunMkmedium(scratch.path, "lone full").output.find(" and 1 more\n"), std::string::npos);

  fs::remove_all(scratch.path / "empty-src");
  fs::create_directories(scratch.path / "empty-src");
  const ProgramRun noInstaller = RunMkmedium(scratch.path, "empty-src m");
  EXPECT_NE(noInstaller.output.find("refused: empty-src: no \"SETUP.EXE\" at the root"),
            std::string::npos)
      << noInstaller.output;
  EXPECT_NE(noInstaller.output.find("1 path refused"), std::string::npos) << noInstaller.output;

  const ProgramRun leadingZero = RunShell(
      "cd " + Quoted(scratch.path) + " && SOURCE_DATE_EPOCH=00000000001 exec " +
      Quoted(MkmediumProgram()) + " lone m2 --iso m2.iso --launcher " + Quoted(LauncherProgram()));
  EXPECT_EQ(leadingZero.exitCode, 1) << leadingZero.output;
  EXPECT_NE(leadingZero.output.find("no leading zero, not \"00000000001\""), std::string::npos)
      << leadingZero.output;
  EXPECT_FALSE(fs::exists(scratch.path / "m2"));
}

// The bar moves by bytes, inside a file too, and --check draws its own,
// through each tree of an image as well.
TEST(MkmediumPosix, TheCheckAndTheImageShowTheirOwnProgressOnATerminal) {
  ScratchDir scratch;
  const fs::path source = scratch.path / "source";
  WriteBytes(source / "SETUP.EXE", TextBytes("installer"));
  WriteBytes(source / "big", PatternBytes(8 << 20, 4));
  const std::string tool = Quoted(MkmediumProgram()) + " --launcher " + Quoted(LauncherProgram());
  const std::string operands = Quoted(source) + " " + Quoted(scratch.path / "medium");
  const ProgramRun made = RunShell("script -qec \"" + tool + " " + operands + " --iso " +
                                   Quoted(scratch.path / "m.iso") + "\" /dev/null");
  EXPECT_EQ(made.exitCode, 0) << made.output;
  // 1 MiB of the 8 MiB file stored: 12%, with the file not yet counted.
  EXPECT_NE(made.output.find(" 12%  0/2 files  1.0/8.0 MiB  storing"), std::string::npos)
      << made.output;
  // The bar ends at the image's size: the medium and its records.
  char written[64];
  const double mebibytes = static_cast<double>(fs::file_size(scratch.path / "m.iso")) / (1 << 20);
  (void)std::snprintf(written, sizeof written, "] 100%%  %.1f/%.1f MiB  xorriso writing the image",
                      mebibytes, mebibytes);
  EXPECT_NE(made.output.find(written), std::string::npos) << made.output;
  for (const char* tree : {"Joliet", "Rock Ridge"}) {
    EXPECT_NE(made.output.find(std::string("100%  2/2 files  8.0/8.0 MiB  checking the ") + tree +
                               " tree"),
              std::string::npos)
        << made.output;
  }
  const ProgramRun checked =
      RunShell("script -qec \"" + tool + " --check " + operands + "\" /dev/null");
  EXPECT_NE(checked.output.find("100%  2/2 files  8.0/8.0 MiB  checking"), std::string::npos)
      << checked.output;
  const ProgramRun offTerminal = RunShell(tool + " --check " + operands + " 2>&1");
  EXPECT_EQ(offTerminal.output.find('%'), std::string::npos) << offTerminal.output;
}

// mkmedium with TMPDIR inside the scratch folder, so that its scratch
// folders can be seen to go again.
ProgramRun RunWithTemp(const fs::path& temp, const std::string& environment,
                       const std::string& arguments) {
  fs::create_directories(temp);
  return RunShell("TMPDIR=" + Quoted(temp) + " " + environment + " exec " +
                  Quoted(MkmediumProgram()) + " " + arguments + " --launcher " +
                  Quoted(LauncherProgram()));
}

TEST(MkmediumPosix, TheSameSourceMakesTheSameImageWheneverAndWhereverItIsMade) {
  ScratchDir scratch;
  const fs::path source = scratch.path / "a" / "source";
  WriteBytes(source / "SETUP.EXE", TextBytes("installer"));
  WriteBytes(source / "data" / "one", PatternBytes(70000, 6));
  WriteBytes(source / "z first", TextBytes("made first, listed last"));
  const fs::path temp = scratch.path / "tmp";
  const auto make = [&](const fs::path& from, const std::string& name, const std::string& epoch) {
    const fs::path made = scratch.path / name;
    const std::string operands =
        Quoted(from) + " " + Quoted(made) + " --iso " + Quoted(made.string() + ".iso") + " --quiet";
    const ProgramRun run = RunWithTemp(temp, epoch, operands);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.output, "") << "quiet, xorriso's banner too";
    return ReadBytes(made.string() + ".iso");
  };
  const Bytes first = make(source, "first", "");
  // Later, elsewhere, the files listed in another order: the dates come
  // from the source's newest file.
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  const fs::path copy = scratch.path / "b" / "deeper" / "source";
  ASSERT_EQ(RunShell("mkdir -p " + Quoted(copy) + " && cd " + Quoted(source) +
                     " && cp -a 'z first' data SETUP.EXE " + Quoted(copy))
                .exitCode,
            0);
  EXPECT_TRUE(make(copy, "b/second", "") == first);
  const Bytes epoch = make(copy, "epoch", "SOURCE_DATE_EPOCH=1700000000");
  EXPECT_TRUE(make(source, "epoch2", "SOURCE_DATE_EPOCH=1700000000") == epoch);
  constexpr std::size_t kCreationDate = 16 * 2048 + 813;  // in the primary volume descriptor
  EXPECT_EQ(std::string(epoch.begin() + kCreationDate, epoch.begin() + kCreationDate + 16),
            "2023111422132000");
  Bytes changed = ReadBytes(copy / "data" / "one");
  changed[100] ^= 1;
  WriteBytes(copy / "data" / "one", changed);
  EXPECT_FALSE(make(copy, "changed", "SOURCE_DATE_EPOCH=1700000000") == epoch);
  EXPECT_TRUE(fs::is_empty(temp));
}

TEST(MkmediumPosix, TheImageCheckReadsBothTreesAndFailsForAFlippedByteAMissingFileAndATruncation) {
  ScratchDir scratch;
  const fs::path source = scratch.path / "source";
  WriteBytes(source / "SETUP.EXE", TextBytes("installer"));
  WriteBytes(source / "data" / "flip", PatternBytes(5000, 7));
  WriteBytes(source / "data" / "gone", TextBytes("left out of an image"));
  WriteBytes(source / "data" / std::string(40, 'n'), TextBytes("deep under a long TMPDIR"));
  const fs::path medium = scratch.path / "medium";
  const fs::path image = scratch.path / "medium.iso";
  const fs::path temp = scratch.path / "tmp";
  ASSERT_EQ(RunWithTemp(temp, "", Quoted(source) + " " + Quoted(medium) + " --iso " + Quoted(image))
                .exitCode,
            0);
  const auto check = [&](const fs::path& checked) {
    return RunWithTemp(temp, "", "--check " + Quoted(source) + " " + Quoted(checked));
  };
  const ProgramRun exact = check(image);
  EXPECT_EQ(exact.exitCode, 0) << exact.output;

  Bytes flipped = ReadBytes(image);
  const Bytes stored = Complemented(PatternBytes(5000, 7));
  const auto at = std::search(flipped.begin(), flipped.end(), stored.begin(), stored.end());
  ASSERT_NE(at, flipped.end());
  at[4321] ^= 0x01;
  WriteBytes(scratch.path / "flipped.iso", flipped);
  fs::remove(medium / "data" / "gone");
  ASSERT_EQ(RunShell("xorriso -as mkisofs -r -J -joliet-long -o " +
                     Quoted(scratch.path / "missing.iso") + " " + Quoted(medium) + " 2>&1")
                .exitCode,
            0);
  Bytes truncated = ReadBytes(image);
  truncated.resize(truncated.size() - 2048);
  WriteBytes(scratch.path / "truncated.iso", truncated);
  for (const auto& [name, told] : std::vector<std::pair<std::string, std::string>>{
           {"flipped", "differs: data/flip: contents differ"},
           {"missing", "missing: data/gone"},
           {"truncated", "cannot read: the Joliet tree of"}}) {
    const ProgramRun spoiled = check(scratch.path / (name + ".iso"));
    EXPECT_EQ(spoiled.exitCode, 1) << spoiled.output;
    EXPECT_NE(spoiled.output.find(told), std::string::npos) << spoiled.output;
    for (const char* tree : {"Joliet", "Rock Ridge"}) {
      EXPECT_NE(spoiled.output.find(std::string("in the ") + tree + " tree of"), std::string::npos)
          << spoiled.output;
    }
  }
  EXPECT_TRUE(fs::is_empty(temp));

  // A Joliet tree whose names Windows reads otherwise: written without
  // long Joliet names, the 100-character name is cut to 64 there alone.
  WriteBytes(source / "data" / std::string(100, 'j'), TextBytes("long name"));
  fs::remove_all(medium);
  ASSERT_EQ(RunWithTemp(temp, "", Quoted(source) + " " + Quoted(medium)).exitCode, 0);
  ASSERT_EQ(RunShell("xorriso -as mkisofs -r -J -o " + Quoted(scratch.path / "short.iso") + " " +
                     Quoted(medium) + " 2>&1")
                .exitCode,
            0);
  const ProgramRun shortNames = check(scratch.path / "short.iso");
  EXPECT_EQ(shortNames.exitCode, 1) << shortNames.output;
  EXPECT_NE(shortNames.output.find("missing: data/" + std::string(100, 'j')), std::string::npos)
      << shortNames.output;
  EXPECT_NE(shortNames.output.find("2 differences in the Joliet tree"), std::string::npos)
      << shortNames.output;
  EXPECT_EQ(shortNames.output.find("in the Rock Ridge tree"), std::string::npos)
      << shortNames.output;
  EXPECT_TRUE(fs::is_empty(temp));
}

// A RAM disk under /dev, which xorriso takes for drives unless told: the
// image made and checked there, its scratch there too; and a check that
// fails leaves the last image where it stood.
TEST(MkmediumPosix, AnImageUnderDevIsMadeAndCheckedAndAFailedOneLeavesTheLastInPlace) {
  ScratchDir scratch;
  const fs::path shm = "/dev/shm/mkmedium-test-" + std::to_string(getpid());
  fs::remove_all(shm);
  fs::create_directories(shm / "tmp");
  const fs::path source = scratch.path / "source";
  WriteBytes(source / "SETUP.EXE", TextBytes("installer"));
  WriteBytes(source / "data" / "flip", PatternBytes(5000, 8));
  const fs::path image = shm / "medium.iso";
  const ProgramRun made = RunWithTemp(
      shm / "tmp", "", Quoted(source) + " " + Quoted(shm / "medium") + " --iso " + Quoted(image));
  EXPECT_EQ(made.exitCode, 0) << made.output;
  const ProgramRun checked =
      RunWithTemp(shm / "tmp", "", "--check " + Quoted(source) + " " + Quoted(image));
  EXPECT_EQ(checked.exitCode, 0) << checked.output;
  // Checked against another launcher, the check says what the image holds.
  const ProgramRun otherLauncher = RunShell(
      "TMPDIR=" + Quoted(shm / "tmp") + " " + Quoted(MkmediumProgram()) + " --check " +
      Quoted(source) + " " + Quoted(image) + " --launcher " + Quoted(source / "SETUP.EXE"));
  EXPECT_NE(
      otherLauncher.output.find("differs: setup.exe (the launcher): contents differ, against " +
                                (source / "SETUP.EXE").string() +
                                "; the medium's is a Linux program, which Windows cannot start"),
      std::string::npos)
      << otherLauncher.output;

  // An xorriso that spoils what it writes stands first on the path: a
  // faulty writer is not to be had otherwise.
  const fs::path faulty = scratch.path / "faulty";
  WriteBytes(faulty / "xorriso", TextBytes(R"sh(#!/bin/sh
out= last=
for a in "$@"; do [ "$last" = -o ] && out=${a#stdio:}; last=$a; done
/usr/bin/xorriso "$@" || exit $?
[ -n "$out" ] || exit 0
lba=$(/usr/bin/xorriso -indev "stdio:$out" -find /data/flip -exec report_lba -- 2>/dev/null |
      sed -n 's/^File data lba: *0 *, *\([0-9]*\).*/\1/p')
at=$((lba * 2048 + 100))
b=$(dd if="$out" bs=1 skip=$at count=1 2>/dev/null | od -An -tu1 | tr -d ' ')
printf "\\$(printf %03o $((b ^ 1)))" | dd of="$out" bs=1 seek=$at conv=notrunc 2>/dev/null
)sh"));
  fs::permissions(faulty / "xorriso", fs::perms::owner_all);
  const Bytes last = ReadBytes(image);
  const ProgramRun failed =
      RunWithTemp(shm / "tmp", "PATH=" + Quoted(faulty) + ":$PATH",
                  Quoted(source) + " " + Quoted(shm / "again") + " --iso " + Quoted(image));
  EXPECT_EQ(failed.exitCode, 1) << failed.output;
  EXPECT_NE(failed.output.find("differs: data/flip: contents differ"), std::string::npos)
      << failed.output;
  EXPECT_NE(failed.output.find("no image made; " + image.string() + " is left as it was"),
            std::string::npos)
      << failed.output;
  EXPECT_TRUE(ReadBytes(image) == last);
  EXPECT_FALSE(fs::exists(shm / "again"));
  EXPECT_TRUE(fs::is_empty(shm / "tmp"));
  EXPECT_EQ(ListTree(shm),
            (std::vector<std::string>{"medium.iso", "medium/", "medium/data/", "medium/data/flip",
                                      "medium/setup.exe", "medium/setup.xex", "tmp/"}));
  fs::remove_all(shm);
}

// An image's directory records, as a test that crafts one reaches them:
// each tree walked from its root, the primary tree first, then Joliet's.
constexpr std::size_t kIsoBlock = 2048;

uint32_t ReadLittle32(const Bytes& bytes, std::size_t at) {
  return uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16 |
         uint32_t{bytes[at + 3]} << 24;
}

// A both-endian field of ISO 9660: little-endian, then big-endian.
void WriteBoth32(Bytes& bytes, std::size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
    bytes[at + 7 - i] = static_cast<unsigned char>(value >> (8 * i));
  }
}

struct FoundRecord {
  int tree;  // 0 the primary tree, 1 Joliet's
  std::size_t at;
};

// Every record below the trees' roots whose extent starts at `block`.
std::vector<FoundRecord> FindRecords(const Bytes& image, uint32_t block) {
  std::vector<FoundRecord> found;
  for (std::size_t descriptor = 16 * kIsoBlock; image[descriptor] != 255; descriptor += kIsoBlock) {
    const int tree = image[descriptor] == 1 ? 0 : 1;
    std::vector<std::pair<uint32_t, uint32_t>> toRead = {
        {ReadLittle32(image, descriptor + 158), ReadLittle32(image, descriptor + 166)}};
    std::set<uint32_t> read;
    while (!toRead.empty()) {
      const auto [start, length] = toRead.back();
      toRead.pop_back();
      if (!read.insert(start).second) continue;
      for (std::size_t at = start * kIsoBlock; at < start * kIsoBlock + length;) {
        if (image[at] == 0) {
          at = (at / kIsoBlock + 1) * kIsoBlock;
          continue;
        }
        const bool dot = image[at + 32] == 1 && image[at + 33] <= 1;
        if (!dot && (image[at + 25] & 2) != 0) {
          toRead.emplace_back(ReadLittle32(image, at + 2), ReadLittle32(image, at + 10));
        }
        if (!dot && ReadLittle32(image, at + 2) == block) found.push_back({tree, at});
        at += image[at];
      }
    }
  }
  return found;
}

// Makes the record at `at` the first of two of one file: it keeps its first
// `firstLength` bytes and says more follow; a copy after it holds the rest
// at `secondBlock`. The directory's block must have room for the copy.
void SplitRecord(Bytes& image, std::size_t at, uint32_t firstLength, uint32_t secondBlock) {
  const std::size_t length = image[at];
  const std::size_t blockEnd = (at / kIsoBlock + 1) * kIsoBlock;
  ASSERT_TRUE(std::all_of(image.begin() + static_cast<std::ptrdiff_t>(blockEnd - length),
                          image.begin() + static_cast<std::ptrdiff_t>(blockEnd),
                          [](unsigned char c) { return c == 0; }));
  const uint32_t whole = ReadLittle32(image, at + 10);
  std::copy_backward(image.begin() + static_cast<std::ptrdiff_t>(at),
                     image.begin() + static_cast<std::ptrdiff_t>(blockEnd - length),
                     image.begin() + static_cast<std::ptrdiff_t>(blockEnd));
  image[at + 25] |= 0x80;
  WriteBoth32(image, at + 10, firstLength);
  WriteBoth32(image, at + length + 2, secondBlock);
  WriteBoth32(image, at + length + 10, whole - firstLength);
}

// Where xorriso says a file's bytes start.
uint32_t FindFileBlock(const fs::path& image, const std::string& path) {
  const ProgramRun found = RunShell(
      "xorriso -no_rc -indev stdio:" + Quoted(image) + " -find " + path +
      " -exec report_lba -- 2>/dev/null | sed -n 's/^File data lba: *0 *, *\\([0-9]*\\).*/\\1/p'");
  return static_cast<uint32_t>(std::stoul(found.output));
}

// The file as xorriso extracts it from one tree, or empty when it cannot.
Bytes ExtractWithXorriso(const fs::path& image, const std::string& path, bool joliet,
                         const fs::path& into) {
  fs::remove_all(into);
  fs::create_directories(into);
  const ProgramRun extracted =
      RunShell("timeout 60 xorriso -no_rc -osirrox on -indev stdio:" + Quoted(image) +
               (joliet ? " -rockridge off" : "") + " -extract " + path + " " +
               Quoted(into / "file") + " 2>&1");
  return extracted.exitCode == 0 ? ReadBytes(into / "file") : Bytes{};
}

// Images crafted from a real one the way no mkmedium writes them: the check
// reads each file extent by extent as a mounted image gives it, passes only
// what it read as xorriso extracts it, and says "cannot compare" for what
// the systems would read differently; a loop ends the check, told.
TEST(MkmediumPosix, TheImageCheckReadsCraftedRecordsAsTheSystemsDoOrSaysItCannotCompare) {
  ScratchDir scratch;
  const fs::path source = scratch.path / "source";
  WriteBytes(source / "SETUP.EXE", TextBytes("installer"));
  WriteBytes(source / "data.bin", PatternBytes(6000, 11));
  WriteBytes(source / "other.bin", PatternBytes(6000, 12));
  WriteBytes(source / "sub" / "inner.txt", TextBytes("inside"));
  const fs::path image = scratch.path / "medium.iso";
  const fs::path temp = scratch.path / "tmp";
  ASSERT_EQ(RunWithTemp(
                temp, "",
                Quoted(source) + " " + Quoted(scratch.path / "medium") + " --iso " + Quoted(image))
                .exitCode,
            0);
  const Bytes real = ReadBytes(image);
  const uint32_t data = FindFileBlock(image, "/data.bin");
  const uint32_t other = FindFileBlock(image, "/other.bin");
  const uint32_t volume = ReadLittle32(real, 16 * kIsoBlock + 80);
  const std::vector<FoundRecord> dataRecords = FindRecords(real, data);
  ASSERT_EQ(dataRecords.size(), 2u);
  struct Craft {
    std::string name;
    std::function<void(Bytes&)> spoil;
    int exitCode;
    std::string told;
  };
  const auto split = [&](uint32_t first, uint32_t second, bool jolietOnly) {
    return [=](Bytes& bytes) {
      // From the last record back: a split shifts what follows it.
      std::vector<FoundRecord> records = FindRecords(bytes, data);
      std::reverse(records.begin(), records.end());
      for (const FoundRecord& record : records) {
        if (!jolietOnly || record.tree == 1) SplitRecord(bytes, record.at, first, second);
      }
    };
  };
  const std::vector<Craft> crafts = {
      {"whole blocks", split(4096, data + 2, false), 0, "restores to"},
      {"second elsewhere", split(4096, other, false), 1, "differs: data.bin: contents differ"},
      {"first of any size", split(3000, data + 1, false), 1,
       "cannot compare: data.bin in the medium: an extent before its last ends inside a block"},
      {"trees disagree", split(4096, other, true), 1,
       "cannot compare: data.bin in the medium: the Joliet and the Rock Ridge tree disagree"},
      {"past the volume",
       [&](Bytes& bytes) {
         for (const FoundRecord& record : FindRecords(bytes, data)) {
           WriteBoth32(bytes, record.at + 2, volume + 10);
         }
       },
       1, "cannot compare: data.bin in the medium: an extent past the end of the volume"},
      {"interleaved",
       [&](Bytes& bytes) {
         for (const FoundRecord& record : FindRecords(bytes, data)) bytes[record.at + 26] = 1;
       },
       // xorriso reads no such image: the check cannot list it.
       1, "cannot read: the Joliet tree of"},
      {"Joliet loop",
       [&](Bytes& bytes) {
         const std::size_t joliet = 17 * kIsoBlock;
         ASSERT_EQ(bytes[joliet], 2);
         const uint32_t root = ReadLittle32(bytes, joliet + 158);
         // The Joliet record of "sub" leads back to the root.
         for (std::size_t at = root * kIsoBlock; bytes[at] != 0; at += bytes[at]) {
           const bool dot = bytes[at + 32] == 1 && bytes[at + 33] <= 1;
           if (!dot && (bytes[at + 25] & 2) != 0) {
             WriteBoth32(bytes, at + 2, root);
             WriteBoth32(bytes, at + 10, ReadLittle32(bytes, joliet + 166));
           }
         }
       },
       1, "a directory that leads back to one read before, a loop"},
      // A UDF tree, which Windows reads first and could hold other files.
      {"UDF beside",
       [&](Bytes& bytes) {
         const std::size_t after = 18 * kIsoBlock;
         ASSERT_EQ(bytes[after], 255);
         std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(after),
                   bytes.begin() + static_cast<std::ptrdiff_t>(after + kIsoBlock), 0);
         std::memcpy(&bytes[after + 1], "NSR03", 5);
         bytes[after + 6] = 1;
       },
       1, "cannot compare: the image holds a UDF file system (NSR03) beside ISO 9660 and Joliet"}};
  for (const Craft& craft : crafts) {
    SCOPED_TRACE(craft.name);
    Bytes crafted = real;
    craft.spoil(crafted);
    const fs::path craftedImage = scratch.path / "crafted.iso";
    WriteBytes(craftedImage, crafted);
    const ProgramRun check =
        RunShell("TMPDIR=" + Quoted(temp) + " timeout 60 " + Quoted(MkmediumProgram()) +
                 " --check " + Quoted(source) + " " + Quoted(craftedImage) + " --launcher " +
                 Quoted(LauncherProgram()) + " 2>&1");
    EXPECT_EQ(check.exitCode, craft.exitCode) << check.output;
    EXPECT_NE(check.output.find(craft.told), std::string::npos) << check.output;
    EXPECT_TRUE(fs::is_empty(temp));
    if (craft.name == "Joliet loop") continue;  // xorriso would be lost in it
    // Whatever the check passes, xorriso extracts as the source stored it.
    const Bytes stored = Complemented(ReadBytes(source / "data.bin"));
    for (const bool joliet : {false, true}) {
      const Bytes extracted =
          ExtractWithXorriso(craftedImage, "/data.bin", joliet, scratch.path / "extracted");
      if (check.exitCode == 0) {
        EXPECT_EQ(extracted, stored) << "joliet " << joliet;
      }
      if (craft.name == "second elsewhere") {
        EXPECT_NE(extracted, stored) << "joliet " << joliet;
      }
    }
  }

  // The file's two extents past 4 GiB, in a sparse image, as a file of more
  // than 4 GiB has its later ones: read at their 64-bit offsets, in order.
  constexpr auto kFarBlock = static_cast<uint32_t>((uint64_t{4} << 30) / kIsoBlock + 64);
  Bytes crafted = real;
  split(4096, data + 2, false)(crafted);
  for (const uint32_t block : {data, data + 2}) {
    for (const FoundRecord& record : FindRecords(crafted, block)) {
      WriteBoth32(crafted, record.at + 2, kFarBlock + (block - data));
    }
  }
  for (const std::size_t descriptor : {16 * kIsoBlock, 17 * kIsoBlock}) {
    WriteBoth32(crafted, descriptor + 80, kFarBlock + 3);
  }
  const fs::path far = scratch.path / "far.iso";
  WriteBytes(far, crafted);
  {
    std::fstream file(far, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(static_cast<std::streamoff>(std::uintmax_t{kFarBlock} * kIsoBlock));
    file.write(reinterpret_cast<const char*>(&real[data * kIsoBlock]), 3 * kIsoBlock);
  }
  struct stat held = {};
  ASSERT_EQ(stat(far.c_str(), &held), 0);
  if (held.st_blocks * 512 > (std::int64_t{64} << 20)) {
    fs::remove(far);
    GTEST_SKIP() << "the scratch folder's file system holds no sparse file of 4 GiB";
  }
  const ProgramRun farCheck =
      RunWithTemp(temp, "", "--check " + Quoted(source) + " " + Quoted(far));
  EXPECT_EQ(farCheck.exitCode, 0) << farCheck.output;
  const Bytes stored = Complemented(ReadBytes(source / "data.bin"));
  EXPECT_EQ(ExtractWithXorriso(far, "/data.bin", true, scratch.path / "extracted"), stored);
  fs::remove(far);
}

// Runs mkmedium in the background with `environment`, waits until the
// shell test `ready` holds, sends it alone `signal` (none: "") and waits for
// it; then tells its exit code, its output, and which of the processes whose
// ids stand in `marks`/*.pid still run.
ProgramRun RunStoppedMkmedium(const std::string& environment, const std::string& arguments,
                              const std::string& ready, const std::string& signal,
                              const fs::path& marks) {
  fs::create_directories(marks);
  const fs::path out = marks / "out.txt";
  const std::string script =
      environment + " " + Quoted(MkmediumProgram()) + " " + arguments + " --launcher " +
      Quoted(LauncherProgram()) + " >" + Quoted(out) + " 2>&1 & pid=$!\n" + "n=0; until " + ready +
      " || [ $n -ge 200000 ]; do n=$((n+1)); done\n" +
      (signal.empty() ? "" : "kill -STOP $pid; kill -" + signal + " $pid; kill -CONT $pid\n") +
      "wait $pid; code=$?; cat " + Quoted(out) + "\n" + "for p in $(cat " + Quoted(marks) +
      "/*.pid 2>/dev/null); do\n" +
      "  ps -o stat= -p $p | grep -qv Z && echo \"still running: $p\"; done\n" + "exit $code";
  return RunShell(script);
}

// A stop of a make, an --iso or a --check, by SIGINT or SIGTERM to mkmedium
// alone, or xorriso past its limit: xorriso and what it started are ended,
// no .part nor scratch is left, MEDIUM is as before, and the run says what
// it stopped and removed. An xorriso that holds the step named in HOLD_AT
// stands first on the path: it records itself and a child, and waits.
TEST(MkmediumPosix, AStopOrAnXorrisoPastItsLimitTakesBackWhatTheRunWrote) {
  ScratchDir scratch;
  const fs::path source = scratch.path / "source";
  WriteBytes(source / "SETUP.EXE", TextBytes("installer"));
  WriteBytes(source / "big", {});
  fs::resize_file(source / "big", std::uintmax_t{256} << 20);  // sparse in the source
  const fs::path image = scratch.path / "medium.iso";
  const fs::path medium = scratch.path / "medium";
  const fs::path temp = scratch.path / "tmp";
  fs::create_directories(temp);
  const fs::path holding = scratch.path / "holding";
  WriteBytes(holding / "xorriso", TextBytes(R"sh(#!/bin/sh
case "$*" in *"$HOLD_AT"*) ;; *) exec /usr/bin/xorriso "$@" ;; esac
echo $$ > "$MARKS/xorriso.pid"
sleep 600 &
echo $! > "$MARKS/child.pid"
wait
)sh"));
  fs::permissions(holding / "xorriso", fs::perms::owner_all);
  const auto environment = [&](const std::string& holdAt, const fs::path& marks) {
    return "TMPDIR=" + Quoted(temp) + " MARKS=" + Quoted(marks) + " HOLD_AT=" + holdAt +
           " PATH=" + Quoted(holding) + ":$PATH";
  };
  const auto leftBehind = [&] {
    std::vector<std::string> left;
    for (const auto& name : ListTree(scratch.path)) {
      if (name.find(".part") != std::string::npos) left.push_back(name);
    }
    if (!fs::is_empty(temp)) left.emplace_back("scratch in TMPDIR");
    return left;
  };
  // The image, and the source the held --iso and --check run on, are small:
  // xorriso is held before it reads them.
  const fs::path small = scratch.path / "small";
  WriteBytes(small / "SETUP.EXE", TextBytes("installer"));
  const ProgramRun made = RunWithTemp(
      temp, "", Quoted(small) + " " + Quoted(scratch.path / "m") + " --iso " + Quoted(image));
  ASSERT_EQ(made.exitCode, 0) << made.output;
  fs::remove_all(scratch.path / "m");
  const Bytes lastImage = ReadBytes(image);

  int run = 0;
  for (const auto& [signal, code] :
       std::vector<std::pair<std::string, int>>{{"INT", 130}, {"TERM", 143}}) {
    SCOPED_TRACE(signal);
    const fs::path marks = scratch.path / ("marks" + std::to_string(run++));
    // A make into a new MEDIUM, stopped while it stores the big file.
    const ProgramRun make = RunStoppedMkmedium(
        environment("none", marks / "make"), Quoted(source) + " " + Quoted(medium),
        "[ -e " + Quoted(medium / "big") + " ]", signal, marks / "make");
    EXPECT_EQ(make.exitCode, code) << make.output;
    EXPECT_NE(make.output.find("nothing kept in " + medium.string()), std::string::npos)
        << make.output;
    EXPECT_NE(make.output.find("stopped by SIG" + signal), std::string::npos) << make.output;
    EXPECT_FALSE(fs::exists(medium));

    // An --iso into an empty MEDIUM, stopped while xorriso writes.
    fs::create_directories(medium);
    const ProgramRun iso = RunStoppedMkmedium(
        environment("mkisofs", marks / "iso"),
        Quoted(small) + " " + Quoted(medium) + " --iso " + Quoted(image),
        "[ -s " + Quoted(marks / "iso" / "child.pid") + " ]", signal, marks / "iso");
    EXPECT_EQ(iso.exitCode, code) << iso.output;
    for (const std::string& told :
         {std::string("the image: xorriso stopped, and all it started"),
          std::string("removed the unfinished image " + image.string() + ".0.part"),
          std::string("removed the scratch folder " + temp.string() + "/mkmedium-"),
          std::string("nothing kept in " + medium.string()), "stopped by SIG" + signal}) {
      EXPECT_NE(iso.output.find(told), std::string::npos) << told << "\n" << iso.output;
    }
    EXPECT_EQ(iso.output.find("still running"), std::string::npos) << iso.output;
    EXPECT_TRUE(fs::is_directory(medium) && fs::is_empty(medium));

    // A --check of the image, stopped while xorriso lists its trees.
    const ProgramRun check = RunStoppedMkmedium(
        environment("report_lba", marks / "check"),
        "--check " + Quoted(small) + " " + Quoted(image),
        "[ -s " + Quoted(marks / "check" / "child.pid") + " ]", signal, marks / "check");
    EXPECT_EQ(check.exitCode, code) << check.output;
    EXPECT_NE(check.output.find("xorriso stopped, and all it started"), std::string::npos)
        << check.output;
    EXPECT_EQ(check.output.find("still running"), std::string::npos) << check.output;
    EXPECT_EQ(check.output.find("restores to"), std::string::npos) << check.output;
    EXPECT_EQ(leftBehind(), std::vector<std::string>{});
    fs::remove_all(medium);
  }
  EXPECT_TRUE(ReadBytes(image) == lastImage);

  // xorriso lost in an image's trees is stopped at a limit set by the
  // image's size, and the check says it cannot read them.
  const ProgramRun lost = RunStoppedMkmedium(environment("report_lba", scratch.path / "lost"),
                                             "--check " + Quoted(small) + " " + Quoted(image),
                                             "true", "", scratch.path / "lost");
  EXPECT_EQ(lost.exitCode, 1) << lost.output;
  for (const std::string& told :
       {std::string("xorriso stopped after 10 seconds"),
        "cannot read: the Joliet tree of " + image.string() + ": xorriso could not list it",
        "cannot read: the Rock Ridge tree of " + image.string() + ": xorriso could not list it"}) {
    EXPECT_NE(lost.output.find(told), std::string::npos) << told << "\n" << lost.output;
  }
  EXPECT_EQ(lost.output.find("still running"), std::string::npos) << lost.output;
  EXPECT_EQ(leftBehind(), std::vector<std::string>{});
}

// What the check cannot compare is a difference, and a file past 4 GiB,
// where 32-bit counts turn over twice, is stored and compared to its end.
TEST(MkmediumPosix, TheCheckPassesOnlyWhatItCompared) {
  ScratchDir scratch;
  const fs::path source = scratch.path / "source";
  WriteBytes(source / "SETUP.EXE", TextBytes("installer"));
  WriteBytes(source / "plain", TextBytes("plain"));
  constexpr std::uintmax_t kLongest = (std::uintmax_t{4} << 30) + (std::uintmax_t{1} << 20) + 3;
  if (!HasRoomFor(scratch.path, kLongest)) GTEST_SKIP() << "no room on this disk for 4 GiB more";
  WriteSparseStored(source / "big", kLongest, 31);  // sparse in the source
  const fs::path medium = scratch.path / "medium";
  const ProgramRun made = RunMkmedium(scratch.path, Quoted(source) + " " + Quoted(medium));
  ASSERT_EQ(made.exitCode, 0) << made.output;
  const std::string check = "--check " + Quoted(source) + " " + Quoted(medium);
  const ProgramRun exact = RunMkmedium(scratch.path, check);
  EXPECT_EQ(exact.exitCode, 0) << exact.output;

  {
    std::fstream big(medium / "big", std::ios::in | std::ios::out | std::ios::binary);
    big.seekg(static_cast<std::streamoff>(kLongest - 1));
    const int last = big.get();
    big.seekp(static_cast<std::streamoff>(kLongest - 1));
    big.put(static_cast<char>(~last));  // the last byte, past 4 GiB
  }
  fs::remove(medium / "plain");
  ASSERT_EQ(mkfifo((medium / "plain").c_str(), 0644), 0);
  fs::create_symlink("/etc/passwd", medium / "link");
  // Past 259 characters of path in both trees, garbage on the medium.
  const std::string far = std::string(200, 'd') + "/" + std::string(40, 'f');
  WriteBytes(source / far, TextBytes("real"));
  WriteBytes(medium / far, TextBytes("garbage"));
  const ProgramRun spoiled = RunMkmedium(scratch.path, check);
  EXPECT_EQ(spoiled.exitCode, 2) << "the source's long path is refused too\n" << spoiled.output;
  const std::string farKey = std::string(200, 'd') + "/" + std::string(40, 'f');
  for (const std::string& told :
       {std::string("differs: big: contents differ"),
        std::string("cannot compare: plain in the medium: not a regular file"),
        std::string("cannot compare: link in the medium: a link"),
        "cannot compare: " + farKey + " in the source: longer than the 259",
        "cannot compare: " + farKey + " in the medium: longer than the 259"}) {
    EXPECT_NE(spoiled.output.find(told), std::string::npos) << told << "\n" << spoiled.output;
  }
  fs::remove(medium / "big");  // 4 GiB of disk back at once
}

// What the make would store for a source it refuses, written by hand: files
// complemented, an installer as setup.xex (of two, the last one wins).
void StoreByHand(const fs::path& source, const fs::path& medium) {
  for (const auto& entry : fs::recursive_directory_iterator(source)) {
    fs::path stored = medium / fs::relative(entry.path(), source);
    if (strcasecmp(stored.filename().c_str(), "setup.exe") == 0) {
      stored.replace_filename("setup.xex");
    }
    if (!entry.is_directory()) WriteBytes(stored, Complemented(ReadBytes(entry.path())));
  }
  fs::copy_file(LauncherProgram(), medium / "setup.exe");
}

TEST(MkmediumPosix, TheCheckNeverPassesASourceTheMakeRefuses) {
  const std::string deep = std::string(89, 'd') + "/" + std::string(90, 'f');
  // A file beside SETUP.EXE and a.txt, the options, what the check tells.
  const std::vector<std::array<std::string, 3>> cases = {
      {"A.TXT", "", "\"A.TXT\" and \"a.txt\" differ only in letter case"},
      {"CON", "", "refused: CON: a reserved device name"},
      {"a:b", "", "refused: a:b: one of"},
      {deep, "", "261 characters from a source folder of 80"},
      {deep, " --source-length 3", "restores to"},
      {"\u65e5\u672c.txt", "", "code page 1252 cannot hold this name"},
      {"\u65e5\u672c.txt", " --code-page 932", "restores to"},
      {"Setup.exe", "", "\"SETUP.EXE\" and \"Setup.exe\" differ only in letter case"},
  };
  for (const auto& [file, options, told] : cases) {
    ScratchDir scratch;
    const fs::path source = scratch.path / "source";
    WriteBytes(source / "SETUP.EXE", TextBytes("installer"));
    WriteBytes(source / "a.txt", TextBytes("a"));
    WriteBytes(source / file, TextBytes(file));
    StoreByHand(source, scratch.path / "medium");
    const ProgramRun check =
        RunMkmedium(scratch.path,
                    "--check " + Quoted(source) + " " + Quoted(scratch.path / "medium") + options);
    const ProgramRun make =
        RunMkmedium(scratch.path, Quoted(source) + " " + Quoted(scratch.path / "m") + options);
    EXPECT_EQ(check.exitCode, make.exitCode) << file << options << "\n" << check.output;
    EXPECT_NE(check.output.find(told), std::string::npos) << check.output;
  }
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
  EXPECT_EQ(RunMkmedium(scratch.path, "--check " + Quoted(source) + " " + Quoted(medium)).exitCode,
            0);
  const fs::path restored = scratch.path / "restored";
  EXPECT_EQ(RunProgram(medium / "setup.exe", medium, Quoted(restored)).exitCode, 1);
  EXPECT_EQ(ListTree(restored), ListTree(source));
  const ProgramRun same = RunShell("diff -r " + Quoted(source) + " " + Quoted(restored));
  EXPECT_EQ(same.exitCode, 0) << same.output.substr(0, 2000);
}

}  // namespace
