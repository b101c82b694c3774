// What only the Windows layer does: the command-line tail taken by the
// launcher's own rule from the full command line.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "platform/platform_ops.h"

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
