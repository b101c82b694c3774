// The payload walk on generated trees, checked against a model: every
// restorable file comes back exactly, a file that was there is untouched,
// and nothing is written outside the target or into the medium.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "common/paths.h"
#include "payload/payload_tree.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::string;

const char* const kNames[] = {"a",         "B",   "setup.exe", "SETUP.XEX", "Setup.Exe",
                              "setup.xex", "x.y", "..a",       " ",         "name with blanks",
                              "\xE9t\xE9"};
constexpr int kNameCount = sizeof kNames / sizeof kNames[0];

struct Input {
  const uint8_t* data;
  size_t size;
  size_t at;
};

unsigned NextByte(Input* in) { return in->at < in->size ? in->data[in->at++] : 0; }

std::string NextName(Input* in) {
  const unsigned pick = NextByte(in);
  if (pick % 16 == 15) return std::string(60 + pick % 200, 'L');  // names that strain 259
  return kNames[pick % kNameCount];
}

Bytes NextContent(Input* in) {
  const unsigned kind = NextByte(in);
  const size_t length = (NextByte(in) * 37u) % 5000;
  if (kind % 3 == 0) return Bytes(length, '\xFF');
  if (kind % 3 == 1) return Bytes(length, '\0');
  Bytes bytes(length, '\0');
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>((i * 131 + kind) & 0xFF);
  return bytes;
}

void WriteFile(const fs::path& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

Bytes Complement(Bytes bytes) {
  for (char& c : bytes) c = static_cast<char>(~c);
  return bytes;
}

// Every file below `root`, links reported as themselves, by relative path.
std::map<std::string, Bytes> Snapshot(const fs::path& root) {
  std::map<std::string, Bytes> files;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(root, error);
       it != fs::recursive_directory_iterator(); it.increment(error)) {
    const std::string relative = it->path().lexically_relative(root).string();
    if (it->is_symlink()) {
      files[relative] = "link:" + fs::read_symlink(it->path()).string();
    } else if (it->is_regular_file()) {
      files[relative] = ReadFile(it->path());
    } else {
      files[relative + "/"] = "";
    }
  }
  return files;
}

bool Matches(const std::string& name, const char* constant) {
  return NamesMatchIgnoringCase(name.c_str(), constant);
}

void BuildTree(Input* in, const fs::path& medium, const fs::path& target, const fs::path& outside) {
  std::vector<fs::path> stack = {fs::path()};
  for (int op = 0; op < 48 && in->at < in->size; ++op) {
    const fs::path here = stack.back();
    const std::string name = NextName(in);
    std::error_code error;
    switch (NextByte(in) % 7) {
      case 0:
      case 1:
        if (!fs::exists(medium / here / name)) WriteFile(medium / here / name, NextContent(in));
        break;
      case 2:
        if (stack.size() < 24 && fs::create_directory(medium / here / name, error)) {
          stack.push_back(here / name);
        }
        break;
      case 3:
        if (stack.size() > 1) stack.pop_back();
        break;
      case 4:  // a link back to the medium's root, or out of it
        fs::create_directory_symlink(NextByte(in) % 2 ? medium : outside, medium / here / name,
                                     error);
        break;
      case 5:
        fs::create_symlink(outside / "secret", medium / here / name, error);
        break;
      case 6:  // what the target holds already
        fs::create_directories(target / here, error);
        if (!fs::exists(target / here / name)) WriteFile(target / here / name, "already there");
        break;
    }
  }
}

// The names the walk may give a file of the medium, and from which sources.
void ExpectRestored(const fs::path& medium, const fs::path& target,
                    const std::map<std::string, Bytes>& before,
                    const std::map<std::string, Bytes>& after) {
  std::map<std::string, std::vector<Bytes>> allowed;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(medium, error);
       it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (it->is_symlink() && fs::is_directory(it->path(), error)) {
      it.disable_recursion_pending();
      continue;
    }
    const fs::path relative = it->path().lexically_relative(medium);
    if (fs::is_directory(it->path(), error)) {
      allowed[relative.string() + "/"].push_back("");
      continue;
    }
    const std::string name = relative.filename().string();
    if (Matches(name, kLauncherFileName)) continue;
    const fs::path restored = Matches(name, kStoredInstallerFileName)
                                  ? relative.parent_path() / kInstallerFileName
                                  : relative;
    allowed[restored.string()].push_back(Complement(ReadFile(it->path())));
  }
  for (const auto& file : after) {
    const auto was = before.find(file.first);
    if (was != before.end()) {
      if (was->second != file.second) __builtin_trap();  // something there was changed
      continue;
    }
    const auto may = allowed.find(file.first);
    if (may == allowed.end()) {
      (void)std::fprintf(stderr, "unmapped: %s\n", file.first.c_str());
      __builtin_trap();  // written where nothing maps
    }
    bool one = false;
    for (const Bytes& bytes : may->second) one = one || bytes == file.second;
    if (!one) __builtin_trap();  // a corrupt or cut copy
  }
  // Every restorable file whose paths fit is there: each directory above it
  // listed ("dir\\*.*"), and both of its own paths within 259 characters.
  for (const auto& file : allowed) {
    if (file.first.back() == '/' || after.count(file.first) != 0) continue;
    if (before.count(file.first + "/") != 0) continue;  // a directory stood there
    bool blocked = false;  // a file that was there stands where a directory goes
    for (fs::path above = fs::path(file.first).parent_path(); !above.empty();
         above = above.parent_path()) {
      blocked = blocked || before.count(above.string()) != 0;
    }
    if (blocked) continue;
    bool fits = (target / file.first).string().size() <= 259 &&
                (medium / file.first).string().size() <= 259;
    for (fs::path above = fs::path(file.first).parent_path(); fits; above = above.parent_path()) {
      fits = (medium / above).string().size() + 4 <= 259;
      if (above.empty()) break;
    }
    if (fits) __builtin_trap();  // a file the walk should have restored is missing
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const fs::path root = [] {
    char pattern[] = "/tmp/vantrel-fuzz-XXXXXX";
    return fs::path(mkdtemp(pattern));
  }();
  const fs::path medium = root / "medium";
  const fs::path target = root / "target";
  const fs::path outside = root / "outside";
  std::error_code error;
  fs::remove_all(medium, error);
  fs::remove_all(target, error);
  fs::remove_all(outside, error);
  fs::create_directories(medium);
  fs::create_directories(target);
  fs::create_directories(outside);
  WriteFile(outside / "secret", "the user's own file");

  Input in = {data, size, 0};
  BuildTree(&in, medium, target, outside);
  const auto mediumBefore = Snapshot(medium);
  const auto outsideBefore = Snapshot(outside);
  const auto targetBefore = Snapshot(target);
  CopyPayloadTree(medium.c_str(), target.c_str());
  if (Snapshot(medium) != mediumBefore) __builtin_trap();    // the medium is only read
  if (Snapshot(outside) != outsideBefore) __builtin_trap();  // nothing written outside
  ExpectRestored(medium, target, targetBefore, Snapshot(target));
  return 0;
}
