// The temporary copy's guards: the copy held open without delete sharing
// from its creation to its removal, which is the lock between runs (another
// run's open for deletion meets a sharing violation, whatever the spelling
// of the folder) and keeps it from being renamed or swapped; and an access
// list that keeps an elevated run's copy to administrators.
#include <aclapi.h>
#include <sddl.h>

#include <cstddef>

#include "platform/win32/held_directory_win32.h"
#include "platform/win32/nt_files_win32.h"
#include "platform/win32/win32_handles.h"

namespace {

// Rights that change a directory or what is in it.
constexpr DWORD kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                FILE_DELETE_CHILD | FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC |
                                WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
// What the copy is held open with: a handle that may list keeps a rename
// out; one with attribute rights only does not (so Wine behaves).
constexpr DWORD kHoldRights = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL;
// An earlier copy is taken to be cleared, renamed or deleted through its hold.
constexpr DWORD kTakeRights = kHoldRights | DELETE | FILE_WRITE_ATTRIBUTES;
// Every opener but one that would delete or rename: the lock.
constexpr DWORD kShareButDelete = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD kOpenFolderAsItself = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;
constexpr DWORD kTokenUserSize = 128;

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

// The held directory lies where `path` names it: in the folder that `path`
// names it in, as that folder's own handle reads back its name, under the
// copy's name exactly, on that folder's volume. Windows opens a link or
// junction as itself, which the hold refuses; Wine ignores that for a Unix
// link and opens what it leads to, whose name reads back as its own.
bool LiesWhereNamed(HeldDirectory held, const char* path) {
  const char* name = path;
  for (const char* c = path; *c != '\0'; ++c) {
    if (*c == '\\' || *c == '/') name = c + 1;
  }
  PathBuffer folder;
  HeldName own = {0, {}};
  USHORT units = 0;
  if (name == path || *name == '\0' || !CopyPath(folder, path) ||
      !WidenName(name, reinterpret_cast<WCHAR*>(own.bytes), kHeldNameBytes / sizeof(WCHAR),
                 &units)) {
    return false;
  }
  own.size = static_cast<uint16_t>(units * sizeof(WCHAR));
  // A drive's root keeps its separator: "C:" alone is a current directory.
  const auto before = static_cast<std::size_t>(name - path);
  const std::size_t cut = before == 3 && path[1] == ':' ? 3 : before - 1;
  folder[cut] = '\0';
  HANDLE parent = CreateFileA(folder, FILE_READ_ATTRIBUTES, kShareButDelete | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (parent == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION parentInfo;
  VolumeName parentName;
  VolumeName heldName;
  bool lies = GetFileInformationByHandle(parent, &parentInfo) != 0 &&
              parentInfo.dwVolumeSerialNumber == held->identity.dwVolumeSerialNumber &&
              ReadVolumeName(held->calls, parent, &parentName);
  if (lies) {
    lies = ReadVolumeName(held->calls, held->directory, &heldName);
    if (lies) {
      lies = IsParentAndName(heldName, parentName, false, own);
      ReleaseVolumeName(&heldName);
    }
    ReleaseVolumeName(&parentName);
  }
  CloseHandle(parent);
  return lies;
}

// Held, and where it was named; else given up, as no directory of its own.
HeldDirectory ProveHeldWhereNamed(HeldDirectory held, const char* path) {
  if (held == nullptr || LiesWhereNamed(held, path)) return held;
  CloseHeldDirectory(held);
  SetLastError(ERROR_DIRECTORY);
  return nullptr;
}

}  // namespace

bool BuildAdministratorsOnlyDescriptor(PSECURITY_DESCRIPTOR* descriptor) {
  // Protected from what the temporary-files folder would pass down; full
  // control for SYSTEM and Administrators on the folder and all below it.
  return ConvertStringSecurityDescriptorToSecurityDescriptorA(
             kAdministratorsOnlyAccess, SDDL_REVISION_1, descriptor, nullptr) != 0;
}

HeldDirectory CreatePrivateDirectory(const char* path) {
  // Created and opened in one call, held without delete sharing from its
  // first moment: nothing can take its place before it is held.
  WCHAR native[kNtPathUnits];
  USHORT units = 0;
  NtFileCalls calls;
  if (!BuildNtPath(path, native, &units) || !FindNtFileCalls(&calls)) return nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (IsElevatedRun() && !BuildAdministratorsOnlyDescriptor(&descriptor)) return nullptr;
  const NtOpenRequest request = {nullptr,
                                 native,
                                 units,
                                 kHoldRights | SYNCHRONIZE,
                                 kShareButDelete,
                                 FILE_CREATE,
                                 FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT,
                                 descriptor};
  HANDLE made = INVALID_HANDLE_VALUE;
  const bool created = OpenNtFile(calls, request, &made);
  const DWORD error = GetLastError();
  if (descriptor != nullptr) LocalFree(descriptor);
  SetLastError(error);
  return created ? ProveHeldWhereNamed(HoldOpenedDirectory(made, &calls, false), path) : nullptr;
}

HeldDirectory TakeEarlierCopy(const char* path) {
  // For deletion, without delete sharing, the link itself opened, never what
  // it leads to: a run that holds the copy, or its installer working in it,
  // makes this a sharing violation (32).
  HANDLE opened = CreateFileA(path, kTakeRights, kShareButDelete, nullptr, OPEN_EXISTING,
                              kOpenFolderAsItself, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return nullptr;
  HeldDirectory held = HoldOpenedDirectory(opened, nullptr, true);
  // A file, link or junction stands there: the hold refuses all of them.
  if (held == nullptr && GetLastError() == ERROR_ACCESS_DENIED) SetLastError(ERROR_DIRECTORY);
  held = ProveHeldWhereNamed(held, path);
  if (held != nullptr && !IsChangedOnlyByTrusted(held->directory)) {
    CloseHeldDirectory(held);
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  return held;
}

void FormatHeldIdentity(HeldDirectory held, char (&out)[kHeldIdentitySize]) {
  // The file index: a rename keeps it. The volume's serial is left out, as
  // Wine makes it from the drive letter it finds, which a mapping changes.
  const ULONGLONG index =
      (static_cast<ULONGLONG>(held->identity.nFileIndexHigh) << 32) | held->identity.nFileIndexLow;
  for (int digit = 0; digit < kHeldIdentitySize - 1; ++digit) {
    out[digit] = "0123456789abcdef"[(index >> (4 * (kHeldIdentitySize - 2 - digit))) & 0xF];
  }
  out[kHeldIdentitySize - 1] = '\0';
}

HeldDirectory RenewEarlierCopy(HeldDirectory emptied, const char* path) {
  if (emptied == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  // Gone when the hold closes; made anew, with a new copy's access list.
  const bool marked = MarkForDeletion(emptied->calls, emptied->directory, emptied->identity);
  const DWORD error = GetLastError();
  CloseHeldDirectory(emptied);
  if (!marked) {
    SetLastError(error);
    return nullptr;
  }
  return CreatePrivateDirectory(path);
}

bool MoveHeldCopyAside(HeldDirectory held, const char* asidePath) {
  ForgetHeldName(held);
  return RenameNtFile(held->calls, held->directory, asidePath);
}

bool RemoveHeldDirectory(HeldDirectory held, const char* path) {
  if (held == nullptr) return false;
  if (held->deletable) {
    const bool marked = MarkForDeletion(held->calls, held->directory, held->identity);
    CloseHeldDirectory(held);
    return marked;
  }
  // The run's own copy was held without delete access, which the installer's
  // current directory would not have shared. Let go and opened again for
  // deletion, it must be the very directory held, not one put in its place.
  // Its identity as the hold reads it now: Wine makes a volume's serial from
  // the drive letter it finds for a folder, which a letter mapped meanwhile
  // changes.
  const NtFileCalls calls = held->calls;
  BY_HANDLE_FILE_INFORMATION was = held->identity;
  GetFileInformationByHandle(held->directory, &was);
  CloseHeldDirectory(held);
  HANDLE now = CreateFileA(path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                           kShareButDelete, nullptr, OPEN_EXISTING, kOpenFolderAsItself, nullptr);
  if (now == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  const bool same = GetFileInformationByHandle(now, &info) != 0 &&
                    (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
                    info.dwVolumeSerialNumber == was.dwVolumeSerialNumber &&
                    info.nFileIndexHigh == was.nFileIndexHigh &&
                    info.nFileIndexLow == was.nFileIndexLow;
  const bool marked = same && MarkForDeletion(calls, now, info);
  const DWORD error = same ? GetLastError() : static_cast<DWORD>(ERROR_ACCESS_DENIED);
  CloseHandle(now);
  SetLastError(error);
  return marked;
}
