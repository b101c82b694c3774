// What only the Windows layer does: the command-line tail taken by the
// launcher's own rule from the full command line.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>

#include <cstring>

#include "platform/platform_ops.h"
#include "platform/win32/win32_handles.h"

namespace {

TEST(Win32CommandLine, TailComesFromTheFullCommandLine) {
  const char* full = GetCommandLineA();
  const char* tail = ReadCommandTail("ignored");
  ASSERT_NE(tail, nullptr);
  EXPECT_GE(tail, full);
  EXPECT_LE(tail, full + std::strlen(full));
}

TEST(Win32Files, ReadOnlyFilesAndDirectoriesAreNotDeletedAsFiles) {
  char temp[MAX_PATH];
  ASSERT_NE(GetTempPathA(MAX_PATH, temp), 0u);
  const std::string dir = std::string(temp) + "vantrel-win32-test";
  CreateDirectoryA(dir.c_str(), nullptr);
  EXPECT_FALSE(DeleteFilePath(dir.c_str()));
  const std::string file = dir + "\\locked";
  FileHandle out = OpenFileForWrite(file.c_str(), true);
  ASSERT_NE(out, nullptr);
  EXPECT_TRUE(CloseFile(out));
  EXPECT_EQ(OpenFileForWrite(file.c_str(), true), nullptr) << "must be new";
  SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(DeleteFilePath(file.c_str()));
  SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_TRUE(DeleteFilePath(file.c_str()));
  EXPECT_TRUE(RemoveDirectoryPath(dir.c_str()));
}

}  // namespace

namespace {

extern "C" uintptr_t __stack_chk_guard;

// Seeded before the program's first line, by the launcher's own start-up.
TEST(Win32StackGuard, IsSeededAtStart) {
  EXPECT_NE(__stack_chk_guard, 0u);
  EXPECT_EQ(__stack_chk_guard & 0xFF, 0u) << "a zero byte stops string overruns";
}

// Once restricted, a bare name no longer finds the DLL beside the program.
TEST(Win32LibrarySearch, ADllBesideTheProgramIsNoLongerFound) {
  HMODULE before = LoadLibraryA("probe_library.dll");
  ASSERT_NE(before, nullptr) << "the probe lies beside the suite";
  FreeLibrary(before);
  RestrictLibrarySearch();
  HMODULE after = LoadLibraryA("probe_library.dll");
  EXPECT_EQ(after, nullptr);
  if (after != nullptr) FreeLibrary(after);
}

TEST(Win32TemporaryCopy, ElevatedCopiesAreForAdministratorsAndHeldAgainstRenames) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_TRUE(BuildAdministratorsOnlyDescriptor(&descriptor));
  char* text = nullptr;
  ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorA(
      descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr));
  EXPECT_STREQ(text, "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)")
      << "protected, inherited by files and folders, nobody else";
  LocalFree(text);
  LocalFree(descriptor);

  char temp[MAX_PATH];
  ASSERT_NE(GetTempPathA(MAX_PATH, temp), 0u);
  const std::string copy = std::string(temp) + "vantrel-held-test";
  HeldDirectory held = CreatePrivateDirectory(copy.c_str());
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(CreatePrivateDirectory(copy.c_str()), nullptr);
  EXPECT_EQ(ReadLastError(), kErrorAlreadyExists);
  EXPECT_FALSE(MoveFileA(copy.c_str(), (copy + "-moved").c_str()));
  EXPECT_FALSE(RemoveDirectoryA(copy.c_str())) << "not even by the run itself";
  EXPECT_TRUE(ReleaseHeldDirectory(held, copy.c_str()));
  EXPECT_TRUE(RemoveDirectoryA(copy.c_str()));
}

}  // namespace
