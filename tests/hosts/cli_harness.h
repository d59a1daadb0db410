// Runs the quillmar program as a user would, in a temporary folder, with its settings folder
// there too.
#pragma once
#include <gtest/gtest.h>
#include <sys/types.h>

#include <string>
#include <vector>

#include "hosts/cli/audio_file.h"

struct cli_result_t {
  int status = -1;
  std::string out, err;
  int err_lines() const;
};

// Uniform noise in [-amplitude, amplitude), one vector per channel, the same for a seed.
std::vector<std::vector<float>> noise(int channels, int frames, unsigned seed = 1, float amplitude = 0.5f);

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Runs `quillmar <args>` to the end. env: more variables, "NAME=VALUE" ("NAME=" unsets);
  // prefix: shell text run first in the same shell (e.g. a ulimit).
  cli_result_t run(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                   const std::string& prefix = "");
  // Starts it in the background; finish waits for it (killing it after timeout seconds).
  pid_t start(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
              const std::string& prefix = "");
  cli_result_t finish(pid_t pid, double timeout = 60);
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  bool exists(const std::string& name) const;
  // The whole content of a file of the test's folder ("" when there is none).
  std::string bytes(const std::string& name) const;
  // Runs another copy of the program from now on (a copied or installed one).
  void use_binary(const std::string& path) { binary_ = path; }
  // Writes a float WAV with the given channels.
  void write_wav(const std::string& name, const std::vector<std::vector<float>>& ch,
                 int rate = 44100);
  audio_t read_wav(const std::string& name);

 private:
  std::string dir_;
  std::vector<pid_t> running_;  // started and not finished: killed at the test's end
  std::string binary_ = QUILLMAR_BIN;
};
