// What a user reads: the guide's pictures are what `quillmar snapshot` draws today, the man
// page renders without a warning and has every section, and the bash completion completes.
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "cli_harness.h"
#include "framework/bitmap/RasterBitmap.h"
#include "hosts/cli/help.h"

namespace {

std::string slurp(const std::string& file) {
  std::ifstream f(file);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// A picture is current when every channel of every pixel is within two steps (of 255) of the
// committed one: a one-step change of rounding elsewhere leaves it current, a changed label,
// curve or colour does not.
constexpr int kPictureTolerance = 2;

bool same_within_tolerance(const RasterBitmap& a, const RasterBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(a.Pixels());
  const unsigned char* q = reinterpret_cast<const unsigned char*>(b.Pixels());
  const size_t bytes = size_t(a.Width()) * a.Height() * sizeof(srgb_t);
  for (size_t i = 0; i < bytes; ++i)
    if (std::abs(int(p[i]) - int(q[i])) > kPictureTolerance) return false;
  return true;
}

class Docs : public CliTest {
 protected:
  // Runs a shell command in the test's folder: its standard output and error, and status.
  cli_result_t shell(const std::string& command) {
    cli_result_t r;
    r.status = std::system(("cd '" + path("") + "' && (" + command + ") >.sh-out 2>.sh-err").c_str());
    r.out = bytes(".sh-out");
    r.err = bytes(".sh-err");
    return r;
  }
};


TEST_F(Docs, TheGuidesPicturesAreWhatSnapshotDrawsToday) {
  const std::string dir = QUILLMAR_SOURCE_DIR "/docs/guide/";
  std::ifstream list(dir + "pictures.txt");
  ASSERT_TRUE(list) << dir << "pictures.txt";
  std::string stale;
  int pictures = 0;
  for (std::string line; std::getline(list, line);) {
    std::istringstream words(line);
    std::string name;
    if (!(words >> name) || name[0] == '#') continue;
    std::vector<std::string> args = {"snapshot", "new.png"};
    for (std::string w; words >> w;) args.push_back(w);
    const cli_result_t r = run(args);
    ASSERT_EQ(r.status, 0) << name << ": " << r.err;
    RasterBitmap committed, drawn;
    std::string err;
    ASSERT_TRUE(committed.LoadPNG(dir + name, &err)) << err;
    ASSERT_TRUE(drawn.LoadPNG(path("new.png"), &err)) << err;
    if (!same_within_tolerance(committed, drawn)) stale += " " + name;
    ++pictures;
  }
  EXPECT_GE(pictures, 8);
  // The tolerance: a step of one in every channel is the same picture, three in one is not.
  RasterBitmap a, b;
  std::string err;
  ASSERT_TRUE(a.LoadPNG(dir + "editor.png", &err) && b.LoadPNG(dir + "editor.png", &err)) << err;
  unsigned char* px = reinterpret_cast<unsigned char*>(b.Pixels());
  const size_t bytes = size_t(b.Width()) * b.Height() * sizeof(srgb_t);
  for (size_t i = 0; i < bytes; ++i) px[i] = px[i] ? px[i] - 1 : 1;
  EXPECT_TRUE(same_within_tolerance(a, b));
  px[bytes / 2 + 1] = static_cast<unsigned char>(px[bytes / 2 + 1] > 127 ? px[bytes / 2 + 1] - 2 : px[bytes / 2 + 1] + 4);
  EXPECT_FALSE(same_within_tolerance(a, b));
  EXPECT_EQ(stale, "") << "stale guide pictures; `make guide-pictures` draws them again, look at each";
  // Each picture the guide shows is one the list draws.
  const std::string g = slurp(QUILLMAR_SOURCE_DIR "/docs/GUIDE.md"), listed = slurp(dir + "pictures.txt");
  for (size_t at = 0; (at = g.find("](guide/", at)) != std::string::npos; ++at) {
    const std::string name = g.substr(at + 8, g.find(')', at) - at - 8);
    if (name.size() < 4 || name.compare(name.size() - 4, 4, ".png") != 0) continue;
    EXPECT_NE(listed.find("\n" + name + " "), std::string::npos) << name;
  }
}

TEST_F(Docs, TheManPageRendersEverySectionWithoutAWarning) {
  const cli_result_t r = shell("MANWIDTH=80 man --warnings -l " QUILLMAR_DOC_DIR "/quillmar.1");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  for (const char* section : {"NAME", "SYNOPSIS", "DESCRIPTION", "COMMANDS", "PARAMETERS", "OUTPUT FILES",
                              "FILES", "ENVIRONMENT", "EXIT STATUS", "EXAMPLES"})
    EXPECT_NE(r.out.find("\n" + std::string(section) + "\n"), std::string::npos) << section;
  // Justified lines may widen a space.
  std::string text;
  for (char c : r.out)
    if (!(c == ' ' && !text.empty() && text.back() == ' ')) text += c;
  for (const char* says : {"QUILLMAR_CONFIG_DIR", "QUILLMAR_RESOURCES", "LV2_PATH", "presets/NAME.state",
                           "Quillmar Preferences.dat"})
    EXPECT_NE(text.find(says), std::string::npos) << says;
  for (const command_t& c : commands()) {
    EXPECT_NE(r.out.find("   quillmar " + std::string(c.name)), std::string::npos) << c.name;
    for (const option_t& o : c.options) EXPECT_NE(r.out.find("       " + std::string(o.name)), std::string::npos) << o.name;
  }
}

TEST_F(Docs, TheBashCompletionCompletesCommandsOptionsAndValues) {
  const std::string bin = QUILLMAR_BIN;
  const struct {
    const char* words;  // the command line up to the word being completed (last, maybe empty)
    const char* offers;
  } cases[] = {
      {"quillmar ren", "render"},
      {"quillmar render in.wav out.wav --pre", "--preset"},
      {"quillmar snapshot x.png --size \"\"", "0 1 2"},
      {"quillmar render a b --format pcm", "pcm16 pcm24"},
      {"quillmar help sn", "snapshot"},
      {"quillmar info --preset tele", "telephone"},
      {"quillmar info --preset lou", "loudness-soft"},
      {"quillmar render a b --state comp", "completion-me"},
  };
  std::ofstream(path("completion-me")) << "";
  for (const auto& c : cases) {
    const cli_result_t r = shell("PATH=\"" + bin.substr(0, bin.rfind('/')) + ":$PATH\" bash -c '. " QUILLMAR_DOC_DIR
                                        "/quillmar.bash-completion; COMP_WORDS=(" + std::string(c.words) +
                                        "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _quillmar; echo \"${COMPREPLY[*]}\"'");
    EXPECT_EQ(r.out, std::string(c.offers) + "\n") << c.words << r.err;
  }
}

}  // namespace
