#include "cli_harness.h"

#include <ftw.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

namespace {

std::string slurp(const std::string& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

int remove_entry(const char* p, const struct stat*, int, struct FTW*) { return std::remove(p); }

}  // namespace

std::vector<std::vector<float>> noise(int channels, int frames, unsigned seed, float amplitude) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> u(-amplitude, amplitude);
  std::vector<std::vector<float>> ch(channels, std::vector<float>(frames));
  for (auto& c : ch)
    for (float& x : c) x = u(rng);
  return ch;
}

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

void CliTest::TearDown() {
  // A test that stopped early leaves no program of its own running.
  for (const pid_t pid : running_) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  running_.clear();
  nftw(dir_.c_str(), remove_entry, 8, FTW_DEPTH | FTW_PHYS);
}

bool CliTest::exists(const std::string& name) const {
  struct stat st;
  return stat(path(name).c_str(), &st) == 0;
}

std::string CliTest::bytes(const std::string& name) const { return slurp(path(name)); }

pid_t CliTest::start(const std::vector<std::string>& args, const std::vector<std::string>& env,
                     const std::string& prefix) {
  const pid_t pid = fork();
  if (pid > 0) running_.push_back(pid);
  if (pid != 0) return pid;
  if (chdir(dir_.c_str()) != 0) _exit(126);
  setenv("QUILLMAR_CONFIG_DIR", path("config").c_str(), 1);
  for (const std::string& e : env) {
    const size_t eq = e.find('=');
    if (eq + 1 == e.size()) unsetenv(e.substr(0, eq).c_str());
    else setenv(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), 1);
  }
  if (!freopen("/dev/null", "r", stdin) || !freopen(path(".stdout").c_str(), "w", stdout) ||
      !freopen(path(".stderr").c_str(), "w", stderr))
    _exit(126);
  // With a prefix, a shell runs it and then becomes the program.
  const std::string script = prefix + "exec \"$0\" \"$@\"";
  std::vector<char*> argv;
  if (!prefix.empty()) argv = {const_cast<char*>("sh"), const_cast<char*>("-c"), const_cast<char*>(script.c_str())};
  argv.push_back(const_cast<char*>(binary_.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  if (prefix.empty()) execv(binary_.c_str(), argv.data());
  else execv("/bin/sh", argv.data());
  _exit(127);
}

cli_result_t CliTest::finish(pid_t pid, double timeout) {
  cli_result_t r;
  int st = 0;
  running_.erase(std::remove(running_.begin(), running_.end(), pid), running_.end());
  for (double t = 0; waitpid(pid, &st, WNOHANG) != pid; t += 0.01) {
    if (t > timeout) {
      kill(pid, SIGKILL);
      waitpid(pid, &st, 0);
      ADD_FAILURE() << "quillmar did not end within " << timeout << " s";
      break;
    }
    usleep(10000);
  }
  // A signal's end as a shell reports it: 128 + the signal.
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : WIFSIGNALED(st) ? 128 + WTERMSIG(st) : -1;
  r.out = slurp(path(".stdout"));
  r.err = slurp(path(".stderr"));
  return r;
}

cli_result_t CliTest::run(const std::vector<std::string>& args, const std::vector<std::string>& env,
                          const std::string& prefix) {
  return finish(start(args, env, prefix));
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
