// Launcher paths in their Windows spelling, mapped onto this file system.
#pragma once

#include <dirent.h>
#include <sys/stat.h>

#include "common/paths.h"

// A leading drive ("C:") names the root; "\" and "/" both separate.
// False, with errno ENAMETOOLONG, when the path does not fit.
bool TranslatePath(const char* path, PathBuffer& out);

// "/proc/self/fd/N": a path that names the very file a descriptor holds,
// for the calls that take no descriptor.
constexpr int kDescriptorPathSize = 32;
void FormatDescriptorPath(int fd, char (&out)[kDescriptorPathSize]);

// Windows error code for an errno value.
uint32_t MapErrno(int error);

// The attribute word of an entry from the kind its directory records, or 0
// when only a look-up can tell: a link (what does it lead to?), or a file
// system that records no kinds.
uint32_t AttributesFromListedKind(unsigned char kind);

void FillEntryFromStat(int directoryFd, const char* name, DirEntry* entry, bool* found);

// Windows deletes neither a directory nor a read-only file as a file; a
// file without its owner-write bit stands for the latter. Sets errno.
bool MayDeleteAsFile(const struct stat& own);

// The attributes of a listed entry whose name is already in `entry`: the
// kind from the directory where it records one, the length then left to a
// look-up; else from a look-up. False when the entry has gone meanwhile.
bool FillEntryFromListing(int directoryFd, const dirent& found, DirEntry* entry);
