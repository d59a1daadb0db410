#include "cli_harness.h"

#include <ftw.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string slurp(const std::string& p) {
  std::ifstream f(p);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

int remove_entry(const char* p, const struct stat*, int, struct FTW*) { return std::remove(p); }

}  // namespace

int cli_result_t::err_lines() const {
  int n = 0;
  for (char c : err) n += c == '\n';
  return n;
}

void CliTest::SetUp() {
  char tmpl[] = "/tmp/quillmar-cli-XXXXXX";
  dir_ = mkdtemp(tmpl);
  mkdir(path("config").c_str(), 0700);
}

void CliTest::TearDown() { nftw(dir_.c_str(), remove_entry, 8, FTW_DEPTH | FTW_PHYS); }

bool CliTest::exists(const std::string& name) const {
  struct stat st;
  return stat(path(name).c_str(), &st) == 0;
}

cli_result_t CliTest::run(const std::vector<std::string>& args, const std::string& prefix) {
  std::string cmd = prefix + "cd " + quote(dir_) + " && QUILLMAR_CONFIG_DIR=" + quote(path("config")) +
                    " " + quote(QUILLMAR_BIN);
  for (const std::string& a : args) cmd += " " + quote(a);
  cmd += " >" + quote(path(".stdout")) + " 2>" + quote(path(".stderr")) + " </dev/null";
  cli_result_t r;
  const int st = std::system(cmd.c_str());
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  r.out = slurp(path(".stdout"));
  r.err = slurp(path(".stderr"));
  return r;
}

void CliTest::write_wav(const std::string& name, const std::vector<std::vector<float>>& ch,
                        int rate) {
  audio_t a;
  a.channels = static_cast<int>(ch.size());
  a.samplerate = rate;
  a.ch = ch;
  std::string err;
  ASSERT_TRUE(write_audio(path(name), a, sample_format::float32, &err)) << err;
}

audio_t CliTest::read_wav(const std::string& name) {
  audio_t a;
  std::string err;
  EXPECT_TRUE(read_audio(path(name), &a, &err)) << err;
  return a;
}
