// The temporary copy's guards: a named mutex for one run at a time, an
// access list that keeps an elevated run's copy to administrators, and the
// copy held open without delete sharing so that it cannot be swapped.
#include <aclapi.h>
#include <sddl.h>

#include <cstring>

#include "platform/win32/held_directory_win32.h"
#include "platform/win32/nt_files_win32.h"
#include "platform/win32/win32_handles.h"

namespace {

constexpr char kRunLockPrefix[] = "Local\\Vantrel-";
constexpr unsigned kIdentityDigits = 24;  // volume serial, file index
// Rights that change a directory or what is in it.
constexpr DWORD kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                FILE_DELETE_CHILD | FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC |
                                WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
// What the copy is held open with: a handle that may list keeps a rename
// out; one with attribute rights only does not (so Wine behaves).
constexpr DWORD kHoldRights = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL;
constexpr DWORD kTokenUserSize = 128;

// The name of the one-run mutex: the identity of the folder that holds the
// copy, read from an opened handle, so that every spelling of that folder
// (another drive letter mapped onto it, a link, its short name) meets the
// same mutex.
bool FormatRunLockName(const char* directory, char* name, std::size_t size) {
  PathBuffer parent;
  if (!CopyPath(parent, directory)) return false;
  char* last = std::strrchr(parent, '\\');
  if (last == nullptr) return false;
  last[1] = '\0';
  HANDLE folder = CreateFileA(parent, FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION identity;
  const bool read = GetFileInformationByHandle(folder, &identity) != 0;
  CloseHandle(folder);
  if (!read) return false;
  const DWORD parts[] = {identity.dwVolumeSerialNumber, identity.nFileIndexHigh,
                         identity.nFileIndexLow};
  const std::size_t prefix = sizeof kRunLockPrefix - 1;
  if (size < prefix + kIdentityDigits + 1) return false;
  std::memcpy(name, kRunLockPrefix, prefix);
  for (unsigned i = 0; i < kIdentityDigits; ++i) {
    name[prefix + i] = "0123456789abcdef"[(parts[i / 8] >> (28 - 4 * (i % 8))) & 0xF];
  }
  name[prefix + kIdentityDigits] = '\0';
  return true;
}

// One piece of what the run's own token says about it.
bool ReadOwnToken(TOKEN_INFORMATION_CLASS piece, void* out, DWORD size) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  DWORD used = 0;
  const bool read = GetTokenInformation(token, piece, out, size, &used) != 0;
  CloseHandle(token);
  return read;
}

bool IsElevatedRun() {
  TOKEN_ELEVATION elevation = {};
  return ReadOwnToken(TokenElevation, &elevation, sizeof elevation) &&
         elevation.TokenIsElevated != 0;
}

// The run's own user, SYSTEM and Administrators may change the copy.
bool IsTrustedChanger(PSID sid, PSID user) {
  return EqualSid(sid, user) || IsWellKnownSid(sid, WinLocalSystemSid) ||
         IsWellKnownSid(sid, WinBuiltinAdministratorsSid);
}

bool ReadTokenUser(BYTE (&buffer)[kTokenUserSize], PSID* user) {
  if (!ReadOwnToken(TokenUser, buffer, sizeof buffer)) return false;
  *user = reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid;
  return true;
}

// Owned by a trusted account, and every entry that grants a change names one.
bool IsChangedOnlyByTrusted(HANDLE directory) {
  BYTE userBuffer[kTokenUserSize];
  PSID user = nullptr;
  if (!ReadTokenUser(userBuffer, &user)) return false;
  PSID owner = nullptr;
  PACL access = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(directory, SE_FILE_OBJECT,
                      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                      &access, nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  // No access list at all lets everybody change everything.
  bool trusted = owner != nullptr && access != nullptr && IsTrustedChanger(owner, user);
  for (DWORD i = 0; trusted && i < access->AceCount; ++i) {
    void* entry = nullptr;
    if (!GetAce(access, i, &entry)) {
      trusted = false;
      break;
    }
    const auto* header = static_cast<const ACE_HEADER*>(entry);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE)) {
      continue;
    }
    const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
    auto* sid = reinterpret_cast<PSID>(const_cast<DWORD*>(&allowed->SidStart));
    if ((allowed->Mask & kChangeRights) != 0 && !IsTrustedChanger(sid, user)) trusted = false;
  }
  LocalFree(descriptor);
  return trusted;
}

}  // namespace

bool BuildAdministratorsOnlyDescriptor(PSECURITY_DESCRIPTOR* descriptor) {
  // Protected from what the temporary-files folder would pass down; full
  // control for SYSTEM and Administrators on the folder and all below it.
  return ConvertStringSecurityDescriptorToSecurityDescriptorA(
             kAdministratorsOnlyAccess, SDDL_REVISION_1, descriptor, nullptr) != 0;
}

RunLockHandle TakeRunLock(const char* directory) {
  char name[sizeof kRunLockPrefix + kIdentityDigits];
  if (!FormatRunLockName(directory, name, sizeof name)) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return nullptr;
  }
  // Not inheritable: an installer that outlives the run must not keep it.
  HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
  if (mutex == nullptr) return nullptr;  // another's, out of this run's reach
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    SetLastError(ERROR_ALREADY_EXISTS);
    return nullptr;
  }
  return reinterpret_cast<RunLockHandle>(mutex);
}

void ReleaseRunLock(RunLockHandle lock) {
  if (lock != nullptr) CloseHandle(ToWin32Handle(lock));
}

HeldDirectory CreatePrivateDirectory(const char* path) {
  // Created and opened in one call, held without delete sharing from its
  // first moment: nothing can take its place before it is held.
  PathBuffer full;
  const DWORD length = GetFullPathNameA(path, kPathBufferSize, full, nullptr);
  if (length == 0 || length >= static_cast<DWORD>(kPathBufferSize)) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return nullptr;
  }
  const bool share = full[0] == '\\' && full[1] == '\\';
  WCHAR native[kPathBufferSize + 8] = L"\\??\\";
  USHORT prefix = 4;
  if (share) {
    std::memcpy(native + prefix, L"UNC", 3 * sizeof(WCHAR));
    prefix += 3;
  }
  USHORT units = 0;
  NtFileCalls calls;
  if (!WidenName(full + (share ? 1 : 0), native + prefix, kPathBufferSize, &units)) {
    SetLastError(ERROR_INVALID_NAME);
    return nullptr;
  }
  if (!FindNtFileCalls(&calls)) return nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (IsElevatedRun() && !BuildAdministratorsOnlyDescriptor(&descriptor)) return nullptr;
  const NtOpenRequest request = {nullptr,
                                 native,
                                 static_cast<USHORT>(prefix + units),
                                 kHoldRights | SYNCHRONIZE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 FILE_CREATE,
                                 FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT,
                                 descriptor};
  HANDLE made = INVALID_HANDLE_VALUE;
  const bool created = OpenNtFile(calls, request, &made);
  const DWORD error = GetLastError();
  if (descriptor != nullptr) LocalFree(descriptor);
  SetLastError(error);
  return created ? HoldOpenedDirectory(made, &calls) : nullptr;
}

HeldDirectory HoldPrivateDirectory(const char* path) {
  // Without delete sharing, and the link itself opened, never what it leads to.
  HeldDirectory held = HoldOpenedDirectory(
      CreateFileA(path, kHoldRights, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr),
      nullptr);
  if (held != nullptr && !IsChangedOnlyByTrusted(held->directory)) {
    CloseHeldDirectory(held);
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  return held;
}

bool ReleaseHeldDirectory(HeldDirectory held, const char* path) {
  if (held == nullptr) return false;
  HANDLE now = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                           nullptr);
  BY_HANDLE_FILE_INFORMATION info;
  const bool same = now != INVALID_HANDLE_VALUE && GetFileInformationByHandle(now, &info) != 0 &&
                    (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
                    info.dwVolumeSerialNumber == held->identity.dwVolumeSerialNumber &&
                    info.nFileIndexHigh == held->identity.nFileIndexHigh &&
                    info.nFileIndexLow == held->identity.nFileIndexLow;
  if (now != INVALID_HANDLE_VALUE) CloseHandle(now);
  CloseHeldDirectory(held);
  return same;
}
