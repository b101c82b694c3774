// Starting the restored installer and waiting a bounded time for it.
#pragma once

#include <cstdint>

constexpr uint32_t kInstallerWaitMs = 360000;
constexpr char kInstallerAppName[] = "Setup.exe";
constexpr char kInstallerCommandFormat[] = "%s\\SETUP.EXE";
constexpr char kInstallerWindowTitle[] = "Please close this Window when it is done";

// CREATE_DEFAULT_ERROR_MODE | CREATE_NEW_PROCESS_GROUP | NORMAL_PRIORITY_CLASS
// | DETACHED_PROCESS
constexpr uint32_t kInstallerCreationFlags = 0x04000228;
constexpr uint32_t kStartupRecordLength = 68;
constexpr uint16_t kStartupShowWindow = 15;

// Returns LaunchInstaller's result, or a path-length error when the command
// line does not fit its buffer.
uint32_t RunRestoredInstaller(const char* targetDirectory);

// 0 when the installer's primary thread ended in time, 258 when the wait ran
// out, 0xFFFFFFFF when the wait failed, else the error that stopped the start.
uint32_t LaunchInstaller(const char* applicationName, const char* workingDirectory,
                         char* commandLine);
