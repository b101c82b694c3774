// Proof that an image restores to its source as each system reads it: the
// Joliet tree (what Windows reads: its names, letter case and lengths) and
// the Rock Ridge tree (what Linux reads), each extracted by xorriso into the
// scratch folder, checked as a medium folder is, then removed.
#include <cstdio>

#include "payload/payload_tree.h"
#include "platform/platform_ops.h"
#include "tools/mkmedium/medium_tasks.h"
#include "tools/mkmedium/xorriso_run.h"

namespace {

struct ImageTree {
  const char* name;
  const char* folder;
  const char* readFs;  // xorriso's -read_fs: which tree to load
};

// The names exactly as the tree holds them ("unmapped": nothing stripped,
// nothing mapped), and made writable in the loaded tree so that the
// extracted copy can be removed again; nothing is ever written back.
bool ExtractTree(const char* image, const ImageTree& tree, const char* into, const char* log) {
  PathBuffer imageOperand;
  PathBuffer folderOperand;
  if (!MakeOperandPath(imageOperand, image) || !MakeOperandPath(folderOperand, into)) {
    (void)std::fprintf(stderr, "mkmedium: %s: path too long to read the image\n", image);
    return false;
  }
  // A warning fails too: a truncated image is one, where the end lost is
  // only padding. Files are read in the order they lie in the image.
  const char* const arguments[] = {"xorriso",    "-no_rc",       "-return_with",   "WARNING",
                                   "32",         "-abort_on",    "FAILURE",        "-local_charset",
                                   "UTF-8",      "-read_fs",     tree.readFs,      "-joliet_map",
                                   "unmapped",   "-ecma119_map", "unmapped",       "-indev",
                                   imageOperand, "-chmod_r",     "u+rwx",          "/",
                                   "--",         "-osirrox",     "on:sort_lba_on", "-extract",
                                   "/",          folderOperand,  "-rollback_end",  nullptr};
  char what[kPathBufferSize + 32];
  (void)std::snprintf(what, sizeof what, "the %s tree of %s", tree.name, image);
  return RunXorriso(arguments, log, what);
}

int CheckTree(const ImageCheck& check, const char* image, const char* shown, const ImageTree& tree,
              const char* scratch) {
  PathBuffer folder;
  PathBuffer log;
  if (!MakeScratchPath(folder, scratch, tree.folder) ||
      !MakeScratchPath(log, scratch, "xorriso.log")) {
    (void)std::printf("cannot read: %s: the scratch folder's path is too long\n", shown);
    return 1;
  }
  int differences = 1;
  if (ExtractTree(image, tree, folder, log)) {
    differences = CheckMedium(check.source, *check.plan, folder, check.launcher);
  } else {
    (void)std::printf("cannot read: the %s tree of %s\n", tree.name, shown);
  }
  RemoveTree(folder);
  if (differences != 0) {
    (void)std::printf("mkmedium: %d difference%s in the %s tree of %s\n", differences,
                      differences == 1 ? "" : "s", tree.name, shown);
  }
  return differences;
}

}  // namespace

int CheckIsoImage(const ImageCheck& check, const char* image, const char* shown,
                  const char* scratch) {
  const ImageTree trees[] = {{"Joliet", "joliet", "norock"},
                             {"Rock Ridge", "rockridge", "nojoliet"}};
  int differences = 0;
  for (const ImageTree& tree : trees) differences += CheckTree(check, image, shown, tree, scratch);
  return differences;
}
