// mkmedium on Linux, where a tree can hold what Windows cannot: such names,
// links and case twins are refused; failures leave nothing; the ISO image
// and a real tree come back through the launcher.
#include <gtest/gtest.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <fstream>
#include <set>
#include <thread>

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
      "--launcher " + Quoted(LauncherProgram()) + " --iso -medium.iso -- source -print-size");
  ASSERT_EQ(made.exitCode, 0) << made.output;
  for (const auto& name : ListTree(scratch.path)) EXPECT_EQ(name.find(".part"), std::string::npos);

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
  // A file the image's check could not read back: refused, nothing written.
  WriteBytes(source / "big", {});
  fs::resize_file(source / "big", std::uintmax_t{2} << 30);  // sparse: no disk used
  const ProgramRun big = RunProgram(MkmediumProgram(), scratch.path, make);
  EXPECT_EQ(big.exitCode, 2) << big.output;
  EXPECT_NE(big.output.find("big: 2 GiB or more: an image cannot hold it"), std::string::npos)
      << big.output;
  EXPECT_EQ(ReadBytes(image), TextBytes("last week's image"));
  EXPECT_EQ(ListTree(scratch.path),
            (std::vector<std::string>{"medium.iso", "source/", "source/SETUP.EXE", "source/big"}));
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
