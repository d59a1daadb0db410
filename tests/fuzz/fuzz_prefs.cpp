// The preferences file as any user's disk may hold it: both passes of the reader, then the
// settings in use. Input: the file's bytes.
#include <string>

#include "engine/inst.h"
#include "fuzz_plug.h"
#include "plugin/io.h"
#include "plugin/prefs.h"

namespace {

enum { BLOCK = 256 };

void write(const std::string& path, const void* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  FUZZ_CHECK(f, "cannot write %s", path.c_str());
  std::fwrite(data, 1, size, f);
  std::fclose(f);
}

std::string read(const std::string& path) {
  std::string s;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) s.append(buf, n);
    std::fclose(f);
  }
  return s;
}

void load(Quillmar* plug) {
  load_prefs(plug->Inst(), 0);
  const int size = plug->Inst()->ui_size;
  FUZZ_CHECK(size >= 0 && size <= 2, "interface size %d", size);
  load_prefs(plug->Inst(), 1);
  fuzz_check_params(plug);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Quillmar* plug = fuzz_fresh_instance(BLOCK);
  const std::string& path = path_prefs();
  write(path, data, size);
  load(plug);
  // The settings work: the engine re-sizes for them and runs.
  plug->ServePendingChanges();
  fuzz_check_sizes(plug);
  fuzz_process(plug, BLOCK, 2, static_cast<uint32_t>(size));
  // What was read is written back whole, and reads back the same.
  save_prefs(plug->Inst());
  const std::string first = read(path);
  load(plug);
  save_prefs(plug->Inst());
  FUZZ_CHECK(read(path) == first, "a second round trip changed the file:\n%s", first.c_str());
  return 0;
}
