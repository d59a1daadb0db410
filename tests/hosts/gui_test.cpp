// `quillmar gui` as a user runs it: a real window on a private Xvfb, clicked, dragged and
// scrolled with xdotool, read back from the server, closed by its close button; audio played
// into a file device of a test-local ALSA configuration.
#include <signal.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>

#include "cli_harness.h"
#include "engine/bands.h"
#include "engine/inst.h"
#include "engine/params.h"
#include "framework/IGraphics.h"
#include "framework/bitmap/RasterBitmap.h"
#include "hosts/cli/session.h"
#include "hosts/cli/snapshot.h"
#include "plugin/Quillmar.h"
#include "support/xvfb.h"
#include "support/editor_screen.h"  // last: it brings Xlib

namespace {

class Gui : public CliTest {
 protected:
  static void SetUpTestSuite() { server = new xvfb_t; }
  static void TearDownTestSuite() { delete server; }
  void SetUp() override {
    CliTest::SetUp();
    if (!server->ok()) GTEST_SKIP() << "no Xvfb";
    setenv("DISPLAY", server->display().c_str(), 1);
    x = XOpenDisplay(nullptr);
  }
  void TearDown() override {
    if (x) XCloseDisplay(x);
    CliTest::TearDown();
  }

  std::vector<std::string> env() const { return {"DISPLAY=" + server->display()}; }
  // The program's window once it is shown (0 when none shows within the time).
  Window wait_window() {
    FILE* f = popen("timeout 20 xdotool search --sync --onlyvisible --name '^Quillmar$' 2>/dev/null", "r");
    unsigned long id = 0;
    if (f) {
      if (std::fscanf(f, "%lu", &id) != 1) id = 0;
      pclose(f);
    }
    return id;
  }
  void xdo(const std::string& args) { ASSERT_EQ(run_on_display(*server, "xdotool " + args), 0) << args; }
  // What a window manager sends when the user closes the window.
  void close_window(Window w) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(x, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = XInternAtom(x, "WM_DELETE_WINDOW", False);
    XSendEvent(x, w, False, NoEventMask, &e);
    XFlush(x);
  }
  std::vector<double> state(const std::string& name) {
    std::ifstream f(path(name), std::ios::binary);
    std::vector<double> v(PARAM_COUNT, NAN);
    f.read(reinterpret_cast<char*>(v.data()), PARAM_COUNT * sizeof(double));
    return f ? v : std::vector<double>();
  }

  static xvfb_t* server;
  Display* x = nullptr;
};
xvfb_t* Gui::server = nullptr;

TEST_F(Gui, TheWindowShowsTheEditorFrameAndTheMouseEditsTheCurve) {
  const pid_t pid = start({"gui", "--save-state", "state.bin"}, env());
  const Window w = wait_window();
  ASSERT_NE(w, 0u) << finish(pid, 1).err;
  // The pointer over the curve area, away from the bands: the grids shown in full, the
  // information line naming the place.
  const int px = 300, py = 450;
  plug_ptr plug = same_editor(path("config"), px, py);
  ASSERT_TRUE(plug);
  const RasterBitmap& want = *plug->GetGUI()->GetDrawBitmap();
  xdo("mousemove --window " + std::to_string(w) + " " + std::to_string(px) + " " + std::to_string(py) + " sleep 0.5");
  const int far = pixels_unlike(window_pixels(x, w), want);
  ASSERT_GE(far, 0) << "the window is not of the editor's size";
  // Only the selected band's glow, which moves with the frame count, may differ.
  EXPECT_LT(far, want.Width() * want.Height() / 500) << "pixels of the window unlike the headless frame";

  // Band B's point dragged up and to the right; a wheel step up over the curve zooms in.
  const eqband_t& B = plug->Inst()->bands[1];
  const int bx = int(std::lround(B.point_px)), by = int(std::lround(B.point_py));
  const std::string win = " --window " + std::to_string(w) + " ";
  xdo("mousemove" + win + std::to_string(bx) + " " + std::to_string(by) + " sleep 0.2 mousedown 1" +
      " mousemove" + win + std::to_string(bx + 40) + " " + std::to_string(by - 30) + " sleep 0.1 mousemove" + win +
      std::to_string(bx + 80) + " " + std::to_string(by - 60) + " sleep 0.1 mouseup 1 sleep 0.3 click 4 sleep 0.3");
  close_window(w);
  const cli_result_t r = finish(pid);
  EXPECT_EQ(r.status, 0) << r.err;
  const std::vector<double> s = state("state.bin");
  ASSERT_EQ(s.size(), size_t(PARAM_COUNT));
  EXPECT_GT(s[PARAM_BAND_GAIN + 1], 5);
  EXPECT_GT(s[PARAM_BAND_FREQ + 1], 500);
  EXPECT_GT(s[PARAM_HOR_ZOOM], 1);
}

TEST_F(Gui, PlaysWhatRenderGivesIntoAnAlsaDeviceAndStopsCleanly) {
  const int frames = 22050;
  write_wav("in.wav", noise(2, frames, 7, 0.3f));
  const std::vector<std::string> sets = {"--set", "Band B gain=6", "--set", "Band D gain=-12"};
  std::vector<std::string> args = {"render", "in.wav", "want.wav"};
  args.insert(args.end(), sets.begin(), sets.end());
  ASSERT_EQ(run(args).status, 0);
  std::ofstream(path("asoundrc")) << "pcm.capture_file {\n  type file\n  slave.pcm { type null }\n  file \""
                                  << path("played.raw") << "\"\n  format \"raw\"\n}\n";
  args = {"gui", "in.wav", "--device", "capture_file"};
  args.insert(args.end(), sets.begin(), sets.end());
  std::vector<std::string> e = env();
  e.push_back("ALSA_CONFIG_PATH=" + path("asoundrc"));
  const pid_t pid = start(args, e);
  const Window w = wait_window();
  ASSERT_NE(w, 0u) << finish(pid, 1).err;
  // Played at real-time pace: the first pass of the file takes half a second.
  const std::streamoff bytes = std::streamoff(frames) * 2 * sizeof(float);
  for (int t = 0; t < 500 && std::ifstream(path("played.raw"), std::ios::ate).tellg() < bytes; ++t) usleep(10000);
  close_window(w);  // while it plays
  const cli_result_t r = finish(pid);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");

  const audio_t want = read_wav("want.wav");
  std::ifstream f(path("played.raw"), std::ios::binary);
  std::vector<float> played(size_t(frames) * 2);
  ASSERT_TRUE(f.read(reinterpret_cast<char*>(played.data()), bytes)) << "less was played than the file";
  int differ = 0;
  for (int i = 0; i < frames; ++i)
    for (int c = 0; c < 2; ++c) differ += played[size_t(i) * 2 + c] != want.ch[c][i];
  EXPECT_EQ(differ, 0);
}

TEST_F(Gui, RefusesWhatItCannotDoWithOneLineAndWritesNothing) {
  write_wav("in.wav", noise(1, 4410, 7, 0.3f));
  // No display, or one that does not answer: exit 1, nothing written, not even the settings.
  for (const char* display : {"DISPLAY=", "DISPLAY=:4999"}) {
    const cli_result_t r = run({"gui", "in.wav", "--save-state", "s.bin"}, {display});
    EXPECT_EQ(r.status, 1) << display;
    EXPECT_EQ(r.err_lines(), 1) << r.err;
    EXPECT_NE(r.err.find("display"), std::string::npos) << r.err;
    EXPECT_FALSE(exists("s.bin"));
    EXPECT_FALSE(exists("config/Quillmar Preferences.dat"));
  }
  // A state file in a folder that does not exist: refused before a window opens.
  cli_result_t r = run({"gui", "--save-state", "nowhere/s.bin"}, env());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err_lines(), 1) << r.err;
  EXPECT_EQ(run({"gui", "--device", "x", "--no-audio"}, env()).status, 2);
  // A copy without its skin opens no window without text, and keeps no size for it.
  ASSERT_EQ(std::system(("cp " + std::string(QUILLMAR_BIN) + " " + path("quillmar")).c_str()), 0);
  use_binary(path("quillmar"));
  std::vector<std::string> no_skin = env();
  no_skin.push_back("QUILLMAR_RESOURCES=");
  r = finish(start({"gui", "--no-audio", "--size", "2"}, no_skin), 20);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err_lines(), 1);
  EXPECT_EQ(r.err.find("quillmar: the editor cannot be drawn without its skin: "), 0u) << r.err;
  EXPECT_FALSE(exists("config/Quillmar Preferences.dat"));
  use_binary(QUILLMAR_BIN);

  // A device that does not exist: one line, then the window plays silently until SIGTERM.
  const pid_t pid = start({"gui", "in.wav", "--device", "no_such_device", "--save-state", "s.bin"}, env());
  ASSERT_NE(wait_window(), 0u);
  kill(pid, SIGTERM);
  r = finish(pid);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "quillmar: audio device \"no_such_device\" did not open (No such file or directory); playing "
                   "silently\n");
  EXPECT_TRUE(exists("s.bin"));
}

using Snapshot = CliTest;

TEST_F(Snapshot, HasTheSizeOfTheEditorAndLeavesThePreferencesAlone) {
  const int sizes[3][2] = {{780, 566}, {1060, 566}, {1220, 666}};
  for (int s = 0; s < 3; ++s) {
    const std::string png = "snap" + std::to_string(s) + ".png";
    const cli_result_t r = run({"snapshot", png, "--size", std::to_string(s), "--frames", "5"});
    ASSERT_EQ(r.status, 0) << r.err;
    RasterBitmap b;
    std::string err;
    ASSERT_TRUE(b.LoadPNG(path(png), &err)) << err;
    EXPECT_EQ(b.Width(), sizes[s][0]);
    EXPECT_EQ(b.Height(), sizes[s][1]);
  }
  EXPECT_FALSE(exists("config/Quillmar Preferences.dat"));
  write_wav("in.wav", noise(2, 4410, 7, 0.3f));
  EXPECT_EQ(run({"snapshot", "in.png", "--input", "in.wav", "--set", "Colour=0"}).status, 0);
  EXPECT_EQ(run({"snapshot", "x.png", "--input", "missing.wav"}).status, 1);
  EXPECT_EQ(run({"snapshot", "x.png", "--size", "3"}).status, 2);
  EXPECT_FALSE(exists("x.png"));
}

}  // namespace
