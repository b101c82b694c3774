#include "tests/fake/recording_platform.h"

#include <cstdio>
#include <cstring>

namespace {

struct FakeSearch {
  std::vector<std::string> names;
  std::size_t next;
};

void Record(const std::string& call) { World().calls.push_back(call); }

void Fill(DirEntry* entry, const std::string& name, uint32_t attributes, int32_t length) {
  CopyPath(entry->name, name.c_str());
  entry->attributes = attributes;
  entry->length = length;
  entry->lengthKnown = true;
}

const FakeFile* FindSourceFile(const std::string& path) {
  for (const FakeFile& file : World().sourceFiles) {
    if (World().currentDirectory + "\\" + file.path == path) return &file;
  }
  return nullptr;
}

PlatformWaitable* kProcess = reinterpret_cast<PlatformWaitable*>(0x100);
PlatformWaitable* kThread = reinterpret_cast<PlatformWaitable*>(0x200);
PlatformWaitable* kNoticeThread = reinterpret_cast<PlatformWaitable*>(0x300);

std::string HandleName(WaitHandle handle) {
  if (handle == kProcess) return "process";
  if (handle == kThread) return "thread";
  if (handle == kNoticeThread) return "notice";
  return "?";
}

}  // namespace

FakeWorld& World() {
  static FakeWorld world;
  return world;
}

const char* ReadCommandTail(const char* entryTail) { return entryTail; }
bool IsPlatformHelpSwitch(const char* /*argument*/) { return false; }
void RestrictLibrarySearch() { Record("restrict-library-search"); }

SearchHandle OpenDirectoryListing(const char* pattern, DirEntry* first) {
  Record(std::string("list ") + pattern);
  if (std::string(pattern) != World().currentDirectory + "\\*.*") return nullptr;
  auto* search = new FakeSearch{{".", ".."}, 0};
  for (const FakeFile& file : World().sourceFiles) search->names.push_back(file.path);
  Fill(first, search->names[search->next++], kDirectoryAttribute, 0);
  return reinterpret_cast<SearchHandle>(search);
}

bool ReadNextEntry(SearchHandle handle, DirEntry* entry) {
  auto* search = reinterpret_cast<FakeSearch*>(handle);
  if (search->next >= search->names.size()) {
    World().lastError = kErrorNoMoreFiles;
    return false;
  }
  const std::string& name = search->names[search->next++];
  const FakeFile* file = FindSourceFile(World().currentDirectory + "\\" + name);
  Fill(entry, name, file != nullptr ? 0x20u : kDirectoryAttribute,
       file != nullptr ? static_cast<int32_t>(file->bytes.size()) : 0);
  return true;
}

int CountLeftOutEntries(SearchHandle /*search*/) { return 0; }

void CloseSearch(SearchHandle handle) {
  Record("close-search");
  delete reinterpret_cast<FakeSearch*>(handle);
}

bool LookUpPath(const char* path, DirEntry* entry) {
  Record(std::string("look-up ") + path);
  const FakeFile* file = FindSourceFile(path);
  if (file == nullptr) return false;
  Fill(entry, file->path, 0x20, static_cast<int32_t>(file->bytes.size()));
  return true;
}

bool MakeDirectory(const char* path) {
  Record(std::string("make-directory ") + path);
  return true;
}
bool RemoveDirectoryPath(const char* path) {
  Record(std::string("remove-directory ") + path);
  return true;
}
bool DeleteFilePath(const char* path) {
  Record(std::string("delete ") + path);
  return true;
}
bool ReadTempPath(PathBuffer& out) { return CopyPath(out, World().tempPath.c_str()); }
bool ReadCurrentDirectory(PathBuffer& out) {
  Record("read-current-directory");
  return CopyPath(out, World().currentDirectory.c_str());
}
bool ChangeCurrentDirectory(const char* path) {
  Record(std::string("change-directory ") + path);
  return true;
}
bool IsDirectoryWithin(const char* inner, const char* outer) {
  Record(std::string("within ") + inner + " " + outer);
  return false;
}
bool IsFileSystemRoot(const char* path) {
  Record(std::string("root ") + path);
  return false;
}

// A copy that another launcher holds exists and cannot be taken.
HeldDirectory CreatePrivateDirectory(const char* path) {
  Record(std::string("create-private-directory ") + path);
  World().lastError = kErrorAlreadyExists;
  return World().lockHeld ? nullptr : reinterpret_cast<HeldDirectory>(0x600);
}
HeldDirectory TakeEarlierCopy(const char* path) {
  Record(std::string("take-earlier ") + path);
  World().lastError = World().lockHeld ? kErrorSharingViolation : kErrorFileNotFound;
  return nullptr;
}
void FormatHeldIdentity(HeldDirectory /*held*/, char (&out)[kHeldIdentitySize]) {
  for (int digit = 0; digit < kHeldIdentitySize - 1; ++digit) out[digit] = '6';
  out[kHeldIdentitySize - 1] = '\0';
}
HeldDirectory RenewEarlierCopy(HeldDirectory emptied, const char* path) {
  Record(std::string("renew ") + path);
  return emptied;
}
bool MoveHeldCopyAside(HeldDirectory /*held*/, const char* asidePath) {
  Record(std::string("move-aside ") + asidePath);
  return false;
}
bool RemoveHeldDirectory(HeldDirectory held, const char* path) {
  if (held == nullptr) return false;
  Record(std::string("remove-held ") + path);
  return true;
}

// The fake's held directories are empty.
HeldDirectory OpenDirectoryForRemoval(const char* path) {
  Record(std::string("open-for-removal ") + path);
  return reinterpret_cast<HeldDirectory>(0x700);
}
HeldDirectory OpenChildDirectory(HeldDirectory /*parent*/, const HeldName& /*name*/) {
  Record("open-child");
  return nullptr;
}
bool ReadHeldEntry(HeldDirectory /*directory*/, HeldEntry* /*entry*/) {
  Record("read-held-entry");
  return false;
}
void RewindHeldDirectory(HeldDirectory /*directory*/) { Record("rewind"); }
bool DeleteChildFile(HeldDirectory /*parent*/, const HeldName& /*name*/) {
  Record("delete-child");
  return true;
}
bool RemoveChildDirectory(HeldDirectory /*parent*/, const HeldName& /*name*/) {
  Record("remove-child");
  return true;
}
void SuspendHeldDirectory(HeldDirectory /*directory*/) { Record("suspend"); }
bool ResumeHeldDirectory(HeldDirectory /*directory*/, HeldDirectory /*child*/) {
  Record("resume");
  return true;
}
void CloseHeldDirectory(HeldDirectory directory) {
  if (directory != nullptr) Record("close-held");
}

void* AllocateFileBuffer(std::size_t size) { return new unsigned char[size]; }
bool CanUseSse2() { return false; }
void ReleaseFileBuffer(void* buffer, std::size_t /*size*/) {
  delete[] static_cast<unsigned char*>(buffer);
}

struct PlatformFile {
  std::string path;
  std::string bytes;
  std::size_t at;
  bool writing;
};

FileHandle OpenFileForRead(const char* path) {
  const FakeFile* file = FindSourceFile(path);
  if (file == nullptr || file->unreadable) return nullptr;
  return new PlatformFile{path, file->bytes, 0, false};
}
bool ReadFileSize(FileHandle file, uint64_t* size) {
  *size = file->bytes.size();
  return true;
}
FileHandle OpenFileForWrite(const char* path, bool /*mustBeNew*/) {
  return new PlatformFile{path, "", 0, true};
}
int64_t ReadFileBytes(FileHandle file, void* buffer, std::size_t size) {
  const std::size_t count = std::min(size, file->bytes.size() - file->at);
  std::memcpy(buffer, file->bytes.data() + file->at, count);
  file->at += count;
  return static_cast<int64_t>(count);
}
bool WriteFileBytes(FileHandle file, const void* buffer, std::size_t size) {
  file->bytes.append(static_cast<const char*>(buffer), size);
  return true;
}
bool CloseFile(FileHandle file) {
  if (file->writing) {
    Record("write " + file->path);
    World().written.push_back(file->bytes);
  }
  delete file;
  return true;
}
// A pending file is recorded as written when it takes its name.
bool CreatePendingFile(const char* path, PendingFile* pending) {
  *pending = {OpenFileForWrite(path, true), true};
  return true;
}
bool NamePendingFile(PendingFile* pending, const char* /*path*/) {
  return CloseFile(pending->file);
}
void DiscardPendingFile(PendingFile* pending, const char* path) {
  pending->file->writing = false;
  CloseFile(pending->file);
  DeleteFilePath(path);
}

bool CreateProcessFromRequest(const ProcessRequest& request, ProcessRecord* created) {
  FakeWorld& world = World();
  Record(std::string("create-process ") + request.applicationName + " | " + request.commandLine +
         " | " + request.currentDirectory);
  world.lastRequest = request;
  world.lastCommandLine = request.commandLine;
  world.lastStartupTitle = request.startup->title;
  world.lastStartupLength = request.startup->length;
  world.lastProcessSecurityLength = request.processSecurity->length;
  world.lastProcessInherit = request.processSecurity->inheritHandle;
  world.lastThreadInherit = request.threadSecurity->inheritHandle;
  *created = {kProcess, kThread, 10, 11};
  return true;
}

WaitHandle StartThread(const SecurityRecord* /*security*/, ThreadRoutine /*routine*/,
                       void* /*parameter*/, uint32_t* threadId) {
  Record("start-notice-thread");
  *threadId = 77;
  return kNoticeThread;
}

uint32_t WaitForObject(WaitHandle handle, uint32_t milliseconds) {
  Record("wait " + HandleName(handle) + " " + std::to_string(milliseconds));
  if (handle == kThread) return World().installerWait;
  if (handle == kNoticeThread) return World().boxAppears ? kWaitObjectEnded : kWaitTimedOut;
  return kWaitFailed;
}

void ReleaseHandle(WaitHandle handle) { Record("release " + HandleName(handle)); }
uint32_t ReadLastError() { return World().lastError; }
void DescribeError(uint32_t code, char* out, std::size_t size) {
  (void)std::snprintf(out, size, "error %u.", code);
}

int ShowMessageBox(const char* /*text*/, const char* title, uint32_t /*type*/) {
  Record(std::string("message-box ") + title);
  return 1;
}
WindowHandle FindThreadWindow(uint16_t classAtom, const char* title, uint32_t threadId) {
  Record("find-window " + std::to_string(classAtom) + " " + title + " " + std::to_string(threadId));
  return World().boxAppears ? reinterpret_cast<WindowHandle>(0x400) : nullptr;
}
void SendWindowMessage(WindowHandle /*window*/, uint32_t message) {
  Record("send-message " + std::to_string(message));
}
