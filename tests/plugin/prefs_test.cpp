#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "engine/inst.h"
#include "engine/params.h"
#include "plug_env.h"
#include "framework/IControl.h"
#include "framework/IGraphics.h"
#include "plugin/prefs.h"
#include "support/comma_locale.h"

namespace {

using Prefs = PlugTest;

// The names in a folder but those starting with a dot, sorted; only its folders if asked.
std::vector<std::string> names_in(const std::string& dir, bool folders_only) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.' && (!folders_only || e->d_type == DT_DIR)) names.push_back(e->d_name);
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Every knob shows its parameter's position.
void expect_knobs_show_their_parameters(Quillmar* p) {
  IGraphics* g = p->GetGUI();
  for (int k = 0; k < g->GetNControls(); ++k) {
    const int i = g->GetControl(k)->ParamIdx();
    if (i >= 0) {
      EXPECT_NEAR(g->GetControl(k)->GetValue(), p->GetParam(i)->GetNormalized(), 1e-12) << k;
    }
  }
}

TEST_F(Prefs, MissingFileLeavesTheDefaults) {
  PlugPtr p = make();
  EXPECT_EQ(p->Inst()->ui_size, 1);
  EXPECT_EQ(p->GetParam(PARAM_COLOUR)->Value(), 2);
  EXPECT_EQ(p->GetParam(PARAM_RESOLUTION)->Value(), 1);
  EXPECT_EQ(p->GetParam(PARAM_INPUT_BUFFER_SIZE)->Value(), 0.2);
  EXPECT_EQ(p->GetParam(PARAM_GAMMA)->Value(), 1.1);
  EXPECT_EQ(p->Inst()->prefs_dirty, 0);
}

TEST_F(Prefs, SettingsAreReadInAnyOrderClampedAndApplied) {
  write_prefs(
      "Vertical range 1\n"
      "Something else 12\n"
      "Colour gain 12.5\n"
      "Resolution 100\n"
      "\n"
      "Quillmar Prefs 1.2\n"
      "Delay 0\n"
      "Limiter -6\n"
      "Colour gamma 1.5\n"
      "Colour scheme 0\n"
      "Interface size 2\n"
      "Colour wheel 7\n");
  PlugPtr p = make();
  inst_t* inst = p->Inst();
  EXPECT_EQ(p->GetParam(PARAM_VERT_RANGE)->Value(), 3.0);
  EXPECT_NEAR(inst->vscale, 21.44764827301084, 1e-13);
  EXPECT_EQ(p->GetParam(PARAM_RESOLUTION)->Value(), 16.0);
  EXPECT_EQ(p->GetParam(PARAM_COLOUR_GAIN)->Value(), 12.5);
  EXPECT_EQ(inst->colour_gain, 12.5);
  EXPECT_EQ(p->GetParam(PARAM_INPUT_BUFFER_SIZE)->Value(), 0.0);
  EXPECT_EQ(p->GetParam(PARAM_LIMITER)->Value(), -6.0);
  EXPECT_EQ(p->GetParam(PARAM_GAMMA)->Value(), 1.5);
  EXPECT_EQ(inst->colour_scheme, 0);
  EXPECT_EQ(inst->ui_size, 2);
  // The engine was sized for the stored Resolution and Delay.
  EXPECT_EQ(p->Engine().kernel_size, 16401);
  EXPECT_EQ(p->Engine().fft_size, 17280);  // the fast size for 16400 + 128
  EXPECT_EQ(inst->prefs_dirty, 1);  // an editor would rewrite the file
  expect_knobs_show_their_parameters(p.get());
}

TEST_F(Prefs, VersionOneFilesForceTheStereoColours) {
  write_prefs("Quillmar Prefs 1\nColour scheme 0\n");
  EXPECT_EQ(make()->GetParam(PARAM_COLOUR)->Value(), 2);
  write_prefs("Quillmar Prefs 1.2\nColour scheme 0\n");
  EXPECT_EQ(make()->GetParam(PARAM_COLOUR)->Value(), 0);
  write_prefs("Colour scheme 0\n");
  EXPECT_EQ(make()->GetParam(PARAM_COLOUR)->Value(), 0);
}

TEST_F(Prefs, UnreadableValuesAreSkipped) {
  write_prefs("Resolution lots\nLimiter nan\nDelay inf\nColour gain 3\nInterface size -7\n");
  PlugPtr p = make();
  EXPECT_EQ(p->GetParam(PARAM_RESOLUTION)->Value(), 1.0);
  EXPECT_EQ(p->GetParam(PARAM_LIMITER)->Value(), 0.0);
  EXPECT_EQ(p->GetParam(PARAM_INPUT_BUFFER_SIZE)->Value(), 0.2);
  EXPECT_EQ(p->GetParam(PARAM_COLOUR_GAIN)->Value(), 3.0);
  EXPECT_EQ(p->Inst()->ui_size, 0);  // clamped to the sizes the layout knows
}

// In the C locale and under a host's decimal-comma locale alike.
TEST_F(Prefs, SavedFileHasTheExactFormatAndRoundTrips) {
  c_locale_after_t restore;
  for (const bool comma : {false, true}) {
    ASSERT_TRUE(!comma || use_comma_locale());
    std::remove(prefs_file().c_str());
    PlugPtr p = make();
    p->GetParam(PARAM_COLOUR_GAIN)->Set(8.5994652879529);  // 15 digits, where 16 print another
    p->GetParam(PARAM_LIMITER)->Set(-3.25);
    p->GetParam(PARAM_GAMMA)->Set(4.0 / 3);
    p->save_prefs();
    EXPECT_EQ(read_prefs(),
              "Quillmar Prefs 1.2\n"
              "Interface size 1\n"
              "Preset path \n"
              "Resolution 1\n"
              "Delay 0.2\n"
              "Limiter -3.25\n"
              "Colour scheme 2\n"
              "Colour gain 8.5994652879529\n"
              "Colour gamma 1.3333333333333333\n"
              "Vertical range 64.34294481903252\n")
        << comma;
    PlugPtr q = make();
    EXPECT_EQ(q->GetParam(PARAM_LIMITER)->Value(), -3.25) << comma;
    EXPECT_EQ(q->GetParam(PARAM_COLOUR_GAIN)->Value(), 8.5994652879529) << comma;
    EXPECT_EQ(q->GetParam(PARAM_GAMMA)->Value(), 4.0 / 3) << comma;
    // Read back exactly, the default range keeps the scale at exactly 1.
    EXPECT_EQ(q->Inst()->vscale, 1.0) << comma;
    EXPECT_STREQ(pres_dir().Get(), "") << comma;
    // The texts a host shows, and reads back from its user.
    char text[32];
    q->GetParam(PARAM_LIMITER)->GetDisplayForHost(text, sizeof text);
    EXPECT_STREQ(text, "-3.25") << comma;
    IGraphics* g = q->GetGUI();
    ASSERT_NE(g, nullptr);
    int k = 0;
    while (k < g->GetNControls() && g->GetControl(k)->ParamIdx() != PARAM_LIMITER) ++k;
    ASSERT_LT(k, g->GetNControls());
    EXPECT_TRUE(g->SetFromStringAfterPrompt(g->GetControl(k), q->GetParam(PARAM_LIMITER), "-6.5")) << comma;
    EXPECT_EQ(q->GetParam(PARAM_LIMITER)->Value(), -6.5) << comma;
  }
}

// A preferences file that is a link stays one, and the file it names is written with the
// permissions it had; a file missing later leaves no preset folder behind.
TEST_F(Prefs, ALinkedFileStaysALinkAndKeepsItsPermissions) {
  const std::string real = test_config_dir() + "/dotfiles-prefs.dat";
  write_prefs("Preset path /home/someone/My Presets\n");
  ASSERT_EQ(std::rename(prefs_file().c_str(), real.c_str()), 0);
  ASSERT_EQ(chmod(real.c_str(), 0644), 0);
  ASSERT_EQ(symlink("dotfiles-prefs.dat", prefs_file().c_str()), 0);
  PlugPtr p = make();
  p->GetParam(PARAM_LIMITER)->Set(-3.25);
  p->save_prefs();
  struct stat st;
  ASSERT_EQ(lstat(prefs_file().c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
  EXPECT_NE(read_prefs().find("Limiter -3.25\n"), std::string::npos);
  EXPECT_STREQ(pres_dir().Get(), "/home/someone/My Presets");
  std::remove(prefs_file().c_str());
  PlugPtr q = make();
  EXPECT_STREQ(pres_dir().Get(), "");
}

TEST_F(Prefs, PresetPathIsCarriedFromTheFileBackToTheFile) {
  write_prefs("Preset path /home/someone/My Presets\nResolution 2\n");
  PlugPtr p = make();
  EXPECT_STREQ(pres_dir().Get(), "/home/someone/My Presets");
  p->save_prefs();
  EXPECT_NE(read_prefs().find("Preset path /home/someone/My Presets\n"), std::string::npos);
  EXPECT_NE(read_prefs().find("Resolution 2\n"), std::string::npos);
}

// A path is taken only if its line, written back, fits 2000 bytes; the end of a longer line is
// never read as a setting line of its own.
TEST_F(Prefs, ALongLineIsReadWholeAndALongPathComesBackWhole) {
  const std::string longest(1986, 'p');
  const struct {
    std::string line;
    const char* dir;
    double delay;
  } cases[] = {
      {"Preset path " + longest + "\n", longest.c_str(), 0.2},
      {"Preset path " + longest + "p\n", "", 0.2},
      {"Preset path\"" + longest + "p\n", "", 0.2},
      {"Preset path " + longest + "p" + "Delay 0.5\n", "", 0.2},
      {"Delay 0.5" + std::string(1990, ' ') + "Limiter -6\n", "", 0.5},
  };
  for (const auto& c : cases) {
    write_prefs(c.line + "Resolution 2\n");
    PlugPtr p = make();
    EXPECT_STREQ(pres_dir().Get(), c.dir);
    EXPECT_EQ(p->GetParam(PARAM_INPUT_BUFFER_SIZE)->Value(), c.delay);
    EXPECT_EQ(p->GetParam(PARAM_LIMITER)->Value(), 0);
    EXPECT_EQ(p->GetParam(PARAM_RESOLUTION)->Value(), 2);
    p->save_prefs();
    const std::string first = read_prefs();
    EXPECT_NE(first.find("Preset path " + std::string(c.dir) + "\nResolution 2\n"), std::string::npos);
    PlugPtr q = make();
    q->save_prefs();
    EXPECT_EQ(read_prefs(), first);
  }
}

TEST_F(Prefs, TwoProcessesWritingNeverShowAReaderAPartOrAMixedFile) {
  PlugPtr a = make(), b = make();
  b->GetParam(PARAM_COLOUR_GAIN)->Set(7.5);
  std::string whole[2];
  PlugPtr* plugs[2] = {&a, &b};
  for (int i = 0; i < 2; ++i) {
    (*plugs[i])->save_prefs();
    whole[i] = read_prefs();
  }
  ASSERT_NE(whole[0], whole[1]);
  pid_t writers[2];
  for (int i = 0; i < 2; ++i) {
    writers[i] = fork();
    if (writers[i] == 0) {
      for (int n = 0; n < 400; ++n) (*plugs[i])->save_prefs();
      _exit(0);
    }
  }
  int reads = 0, bad = 0, running = 2;
  while (running > 0) {
    const std::string s = read_prefs();
    ++reads;
    bad += s != whole[0] && s != whole[1];
    for (pid_t& w : writers)
      if (w > 0 && waitpid(w, nullptr, WNOHANG) == w) w = 0, --running;
  }
  EXPECT_EQ(bad, 0) << "of " << reads << " reads";
  EXPECT_GT(reads, 100);
}

// The settings folder: the override, else the XDG folder when it is an absolute path, else the
// home's. Every folder made is the user's alone, and no folder but those of the path is made.
TEST_F(Prefs, SettingsFolderFromTheEnvironment) {
  PlugPtr p = make();  // the first instance makes the paths
  EXPECT_EQ(path_prefs(), prefs_file());
  EXPECT_EQ(path_layout(), test_config_dir() + "/Quillmar Layout.dat");
  const std::string b = test_config_dir(), over = b + "/over/a", xdg = b + "/xdg", home = b + "/home";
  const struct {
    std::string over, xdg, home, path;
  } rows[] = {
      {over, xdg, home, over + "/f"},
      {"", xdg, home, xdg + "/Quillmar/f"},
      {"", "xdg", home, home + "/.config/Quillmar/f"},
      {"", "", home, home + "/.config/Quillmar/f"},
      {"", "", "", ""},
      {"o/n", xdg, home, "o/n/f"},  // relative, in the working folder; a one-letter first folder
  };
  const char* names[] = {"QUILLMAR_CONFIG_DIR", "XDG_CONFIG_HOME", "HOME"};
  std::string kept[3];
  bool had[3];
  for (int k = 0; k < 3; ++k) {
    const char* v = std::getenv(names[k]);
    had[k] = v != nullptr;
    kept[k] = v ? v : "";
  }
  const mode_t mask = umask(0);
  char cwd[4096];
  ASSERT_TRUE(getcwd(cwd, sizeof cwd));
  ASSERT_EQ(chdir(b.c_str()), 0);
  for (const auto& r : rows) {
    const std::string* values[] = {&r.over, &r.xdg, &r.home};
    for (int k = 0; k < 3; ++k) setenv(names[k], values[k]->c_str(), 1);
    EXPECT_EQ(make_settings_path("f"), r.path) << r.over << "|" << r.xdg << "|" << r.home;
  }
  umask(mask);
  EXPECT_EQ(chdir(cwd), 0);
  for (int k = 0; k < 3; ++k) had[k] ? setenv(names[k], kept[k].c_str(), 1) : unsetenv(names[k]);
  struct stat st;
  for (const std::string& dir : {b + "/over", over, xdg + "/Quillmar", home + "/.config", home + "/.config/Quillmar", b + "/o", b + "/o/n"}) {
    ASSERT_EQ(stat(dir.c_str(), &st), 0) << dir;
    EXPECT_EQ(st.st_mode & 0777, 0700u) << dir;
  }
  EXPECT_EQ(names_in(b, true), (std::vector<std::string>{"home", "o", "over", "xdg"}));
}

// A write that fails (here the name is taken by a folder) leaves the folder as it was.
TEST_F(Prefs, AFailedWriteLeavesNoTemporaryFile) {
  PlugPtr p = make();
  ASSERT_EQ(mkdir(prefs_file().c_str(), 0700), 0);
  p->save_prefs();
  EXPECT_EQ(names_in(test_config_dir(), false), std::vector<std::string>{"Quillmar Preferences.dat"});
  rmdir(prefs_file().c_str());
}

}  // namespace
