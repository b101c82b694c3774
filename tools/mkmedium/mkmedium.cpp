// mkmedium SOURCE MEDIUM [--launcher FILE]
// Writes every file of SOURCE into MEDIUM in stored form, the installer
// "SETUP.EXE" (any case, any depth) as "setup.xex", and the launcher as
// "setup.exe" at the root. Storing is the restore transform run once more.
#include <cstdio>
#include <cstring>

#include "common/paths.h"
#include "payload/payload_tree.h"
#include "platform/platform_ops.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitUsage = 64;
constexpr int kExitFailed = 1;

struct StoreCount {
  int files;
  int failures;
};

void StoreTree(const char* source, const char* medium, StoreCount* count) {
  PathBuffer pattern;
  DirEntry entry;
  SearchHandle search =
      MakeListPattern(pattern, source) ? OpenDirectoryListing(pattern, &entry) : nullptr;
  if (search == nullptr) {
    ++count->failures;
    return;
  }
  do {
    if (IsDotEntry(entry) || IsLinkEntry(entry)) continue;
    const bool isInstaller =
        !IsDirectoryEntry(entry) && NamesMatchIgnoringCase(entry.name, kInstallerFileName);
    PathBuffer from;
    PathBuffer to;
    if (!JoinPath(from, source, entry.name) ||
        !JoinPath(to, medium, isInstaller ? kStoredInstallerFileName : entry.name)) {
      (void)std::fprintf(stderr, "mkmedium: path too long: %s\\%s\n", source, entry.name);
      ++count->failures;
      continue;
    }
    if (IsDirectoryEntry(entry)) {
      MakeDirectory(to);
      StoreTree(from, to, count);
    } else if (RestorePayloadFile(from, to, kNoOverwrite) == kRestoreDone) {
      ++count->files;
    } else {
      (void)std::fprintf(stderr, "mkmedium: cannot store %s\n", from);
      ++count->failures;
    }
  } while (ReadNextEntry(search, &entry));
  CloseSearch(search);
}

bool CopyLauncher(const char* launcher, const char* medium) {
  PathBuffer to;
  if (!JoinPath(to, medium, kLauncherFileName)) return false;
  DirEntry found;
  if (!LookUpPath(launcher, &found) || found.lengthHigh != 0 || found.length < 0) return false;
  const auto length = static_cast<std::size_t>(found.length);
  void* bytes = AllocateFileBuffer(length + 1);
  FileHandle in = bytes != nullptr ? OpenFileForRead(launcher) : nullptr;
  bool copied = false;
  if (in != nullptr) {
    copied = ReadFileBytes(in, bytes, length) == static_cast<int64_t>(length);
    CloseFile(in);
  }
  FileHandle out = copied ? OpenFileForWrite(to, true) : nullptr;
  copied = out != nullptr && WriteFileBytes(out, bytes, length);
  if (out != nullptr) copied = CloseFile(out) && copied;
  if (bytes != nullptr) ReleaseFileBuffer(bytes, length + 1);
  return copied;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && !(argc == 5 && std::strcmp(argv[3], "--launcher") == 0)) {
    (void)std::fprintf(stderr, "usage: mkmedium SOURCE MEDIUM [--launcher FILE]\n");
    return kExitUsage;
  }
  const char* launcher = argc == 5 ? argv[4] : nullptr;
  if (!MakeDirectory(argv[2])) {
    DirEntry existing;
    if (!LookUpPath(argv[2], &existing) || !IsDirectoryEntry(existing)) {
      (void)std::fprintf(stderr, "mkmedium: cannot create %s\n", argv[2]);
      return kExitFailed;
    }
  }
  StoreCount count = {0, 0};
  StoreTree(argv[1], argv[2], &count);
  if (launcher != nullptr && !CopyLauncher(launcher, argv[2])) {
    (void)std::fprintf(stderr, "mkmedium: cannot copy the launcher %s\n", launcher);
    ++count.failures;
  }
  (void)std::printf("mkmedium: stored %d files in %s\n", count.files, argv[2]);
  return count.failures == 0 ? kExitDone : kExitFailed;
}
