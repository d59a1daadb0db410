// Runs the quillmar program as a user would, in a temporary folder, with its settings folder
// there too.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hosts/cli/audio_file.h"

struct cli_result_t {
  int status = -1;
  std::string out, err;
  int err_lines() const;
};

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Runs `quillmar <args>`; arguments are quoted for the shell. The prefix is shell text run
  // first in the same shell (e.g. a ulimit).
  cli_result_t run(const std::vector<std::string>& args, const std::string& prefix = "");
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  bool exists(const std::string& name) const;
  // Writes a float WAV with the given channels.
  void write_wav(const std::string& name, const std::vector<std::vector<float>>& ch,
                 int rate = 44100);
  audio_t read_wav(const std::string& name);

 private:
  std::string dir_;
};
