// What stands behind a HeldDirectory on Linux: an open descriptor of the
// directory, what it was when opened, and the listing read through it once
// a removal asks for entries; while suspended, neither is open, and where
// the listing stood is kept.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdint>

#include "platform/platform_ops.h"

struct PlatformHeldDirectory {
  int fd;  // -1 while suspended
  struct stat own;
  // Which mount it was reached through: a bind mount of a folder of the
  // same file system has the same device. 0 where the kernel does not say.
  uint64_t mountId;
  DIR* listing;
  long listingPlace;  // telldir's, while suspended; -1 when never listed
};

// A link opens no descriptor at all.
constexpr int kHoldDirectoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Takes over `fd` (a failed open's -1 included): held when it is a
// directory, else closed (nullptr; EACCES, or ENOMEM without a record).
HeldDirectory HoldOpenedDirectory(int fd);
// True when `held` is still what `now` is: the same file on the same mount.
bool IsSameDirectory(const PlatformHeldDirectory& held, const struct stat& now, uint64_t mountId);
// The mount a descriptor was reached through, 0 where the kernel does not say.
uint64_t ReadMountId(int fd);
