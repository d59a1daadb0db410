// The bundle in the LV2 hosts Debian ships: the lilv tools, lv2proc, jalv and jalv.gtk3 (under
// Xvfb, driven by xdotool), each run as a user would. A missing host fails the test with the
// package to install; nothing is skipped.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

#include "engine/bands.h"
#include "engine/inst.h"
#include "hosts/cli/audio_file.h"
#include "hosts/lv2/quillmar_lv2.h"
#include "support/process.h"
#include "support/xvfb.h"
#include "support/editor_screen.h"  // last: it brings Xlib

namespace {

const std::string kBundle = QUILLMAR_LV2_BUNDLE;

std::string slurp(const std::string& path) {
  std::ifstream f(path);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t p = 0; (p = text.find(what, p)) != std::string::npos; p += what.size()) ++n;
  return n;
}

::testing::AssertionResult installed(const std::vector<std::string>& programs) {
  for (const std::string& p : programs)
    if (!have_program(p))
      return ::testing::AssertionFailure()
             << p << " is not installed: run `make deps-hosts` (it installs the LV2 hosts)";
  return ::testing::AssertionSuccess();
}

// A steep curve, as each host spells it.
struct setting_t {
  const char *symbol, *name, *value;
};
const setting_t kSteep[] = {{"band_b_gain", "Band B gain", "24"},
                            {"band_b_slope", "Band B slope", "100"},
                            {"band_c_gain", "Band C gain", "-60"},
                            {"resolution", "Resolution", "4"}};

class RealHosts : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/quillmar-lv2-XXXXXX";
    dir_ = mkdtemp(tmpl);
    mkdir(path("config").c_str(), 0700);
    setenv("LV2_PATH", (kBundle + "/..").c_str(), 1);
    setenv("QUILLMAR_CONFIG_DIR", path("config").c_str(), 1);
    unsetenv("QUILLMAR_RESOURCES");
  }
  void TearDown() override {
    jalv_.stop();
    helpers_.clear();
    jackd_.stop();
    xvfb_.reset();
    shell("rm -rf " + shell_quote(dir_));
  }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }

  // A second of pink-ish noise and a sweep, mono or stereo, as a float WAV.
  void write_input(const std::string& name, int channels) {
    audio_t a;
    a.channels = channels;
    a.samplerate = 44100;
    a.ch.assign(channels, std::vector<float>(44100));
    std::mt19937 rng(7);
    std::normal_distribution<float> n(0.0f, 0.1f);
    for (int c = 0; c < channels; ++c)
      for (int i = 0; i < 44100; ++i)
        a.ch[c][i] = n(rng) + 0.3f * std::sin(2 * M_PI * (50.0 + 4000.0 * i / 44100.0) * i /
                                              44100.0 * (c + 1));
    std::string err;
    ASSERT_TRUE(write_audio(path(name), a, sample_format::float32, &err)) << err;
  }
  double max_difference(const std::string& a, const std::string& b) {
    audio_t x, y;
    std::string err;
    EXPECT_TRUE(read_audio(path(a), &x, &err)) << err;
    EXPECT_TRUE(read_audio(path(b), &y, &err)) << err;
    EXPECT_EQ(x.channels, y.channels);
    EXPECT_EQ(x.frames(), y.frames());
    double d = x.frames() ? 0.0 : INFINITY;
    for (int c = 0; c < std::min(x.channels, y.channels); ++c)
      for (size_t i = 0; i < std::min(x.frames(), y.frames()); ++i)
        d = std::max(d, std::fabs(double(x.ch[c][i]) - y.ch[c][i]));
    return d;
  }
  void render(const std::string& in, const std::string& out, int block,
              const std::vector<std::string>& sets) {
    std::string cmd = shell_quote(QUILLMAR_BIN) + " render " + shell_quote(path(in)) + " " +
                      shell_quote(path(out)) + " --no-progress --block " + std::to_string(block);
    for (const std::string& s : sets) cmd += " --set " + shell_quote(s);
    const shell_result_t r = shell(cmd, true);
    ASSERT_EQ(r.status, 0) << r.out;
  }

  // A JACK server of our own (dummy driver, 48 kHz, 256 frames) that jalv runs against.
  void start_jack() {
    ASSERT_NE(start_jack_server(&jackd_, {"-r", "-d", "dummy", "-r", "48000", "-p", "256"}, path("jackd.log")), "")
        << slurp(path("jackd.log"));
  }
  bool jack_port(const std::string& port) {
    return count(shell("jack_lsp 2>/dev/null").out, port + "\n") > 0;
  }
  // An X server of our own on a free display.
  void start_xvfb() {
    xvfb_ = std::make_unique<xvfb_t>();
    ASSERT_TRUE(xvfb_->ok()) << "Xvfb did not start";
    setenv("DISPLAY", xvfb_->display().c_str(), 1);
    setenv("GSETTINGS_BACKEND", "memory", 1);
    setenv("NO_AT_BRIDGE", "1", 1);
  }
  // The first visible window of the jalv process whose name matches, or "".
  std::string jalv_window(const std::string& name) {
    std::string w;
    wait_until(20, [&] {
      w = shell("xdotool search --all --onlyvisible --pid " + std::to_string(jalv_.pid()) +
                " --name " + shell_quote(name) + " | head -1")
              .out;
      return !w.empty();
    });
    return w.substr(0, w.find('\n'));
  }

  // jalv.gtk3's File > Save (Ctrl+S, with the pointer and the keyboard on its main window), a
  // folder typed into the dialog, Enter: the saved state.ttl.
  void save_from_menu(const std::string& main, const std::string& folder, std::string* saved) {
    shell("xdotool mousemove 1500 950 windowfocus --sync " + main + " key ctrl+s");
    const std::string dialog = jalv_window("Save State");
    ASSERT_FALSE(dialog.empty()) << slurp(path("jalv.log"));
    shell("xdotool windowfocus --sync " + dialog + " sleep 0.5 type --delay 50 " +
          shell_quote(path(folder)));
    shell("xdotool sleep 0.3 key Return");
    ASSERT_TRUE(wait_until(20, [&] {
      *saved = slurp(path(folder + "/state.ttl"));
      return saved->find("base64Binary") != std::string::npos;
    })) << slurp(path("jalv.log"));
  }
  // The bytes of the state chunk in a saved state.ttl.
  std::string saved_chunk(const std::string& saved) {
    const size_t key = saved.find("<" QUILLMAR_LV2_CHUNK_URI ">");
    if (key == std::string::npos) return "";
    const size_t open = saved.find_first_not_of("\" ", saved.find('"', key));
    std::ofstream(path("chunk.b64")) << saved.substr(open, saved.find('"', open) - open);
    return shell("base64 -d " + shell_quote(path("chunk.b64"))).out;
  }
  // A port's value in a saved state.ttl, NaN when it is not there.
  static double saved_port(const std::string& saved, const std::string& symbol) {
    const size_t at = saved.find("lv2:symbol \"" + symbol + "\"");
    const size_t value = saved.find("pset:value", at);
    return at == std::string::npos || value == std::string::npos
               ? NAN
               : std::strtod(saved.c_str() + value + std::strlen("pset:value"), nullptr);
  }

  std::string dir_;
  std::unique_ptr<xvfb_t> xvfb_;
  process_t jackd_, jalv_;
  std::vector<std::unique_ptr<process_t>> helpers_;
};

TEST_F(RealHosts, TheSharedObjectShowsOnlyItsEntryPoints) {
  ASSERT_TRUE(installed({"nm"}));
  const shell_result_t r = shell("nm -D --defined-only " + shell_quote(kBundle + "/quillmar.so"));
  ASSERT_EQ(r.status, 0);
  std::istringstream lines(r.out);
  std::vector<std::string> names;
  for (std::string line; std::getline(lines, line);)
    names.push_back(line.substr(line.rfind(' ') + 1));
  EXPECT_EQ(names, (std::vector<std::string>{"lv2_descriptor", "lv2ui_descriptor"}));
}

TEST_F(RealHosts, TheTurtleParsesAndHostsSeeBothPluginsWithEveryPort) {
  ASSERT_TRUE(installed({"sordi", "lv2ls", "lv2info"}));
  std::string triples;
  for (const char* file : {"manifest.ttl", "quillmar.ttl"}) {
    const shell_result_t r = shell("sordi " + shell_quote(kBundle + "/" + file) + " " +
                                       shell_quote("file://" + kBundle + "/"),
                                   true);
    EXPECT_EQ(r.status, 0) << file;
    EXPECT_EQ(count(r.out, "error"), 0) << r.out;
    triples += r.out;
  }
  // Units by the units extension where it has them, ours otherwise; two plug-ins.
  const std::string units = "<http://lv2plug.in/ns/extensions/units#";
  const std::map<std::string, int> unit_ports = {
      {units + "db>", 7},  {units + "hz>", 4}, {units + "semitone12TET>", 1},
      {units + "frame>", 1}, {"<" QUILLMAR_LV2_URI "#dBPerOctave>", 4},
      {"<" QUILLMAR_LV2_URI "#times>", 5}};
  for (const auto& [unit, n] : unit_ports)
    EXPECT_EQ(count(triples, units + "unit> " + unit), 2 * n) << unit;

  const std::string listed = shell("lv2ls").out;
  for (const auto& [uri, channels] : {std::pair<std::string, int>{QUILLMAR_LV2_STEREO_URI, 2},
                                      {QUILLMAR_LV2_MONO_URI, 1}}) {
    EXPECT_EQ(count(listed, uri + "\n"), 1) << uri;
    const shell_result_t info = shell("lv2info " + uri, true);
    ASSERT_EQ(info.status, 0) << info.out;
    const std::string& t = info.out;
    EXPECT_EQ(count(t, "\tPort "), 29 + 1 + 2 * channels);
    EXPECT_EQ(count(t, "lv2core#InputPort"), 29 + channels);
    EXPECT_EQ(count(t, "lv2core#toggled"), 4);
    EXPECT_EQ(count(t, "lv2core#enumeration"), 2);
    EXPECT_EQ(count(t, "lv2core#integer"), 3);  // the two enumerations and the latency
    for (const char* s : {"Symbol:      band_d_slope", "Name:        Vert. Range",
                          "Default:     64.342941", "2 = \"Stereo\"", "0 = \"780\"",
                          "Designation: http://lv2plug.in/ns/lv2core#latency",
                          "lv2core#reportsLatency", "Has latency:       yes, reported by port 29",
                          "\t\t" QUILLMAR_LV2_UI_URI "\n", "Class:  http://lv2plug.in/ns/extensions/ui#X11UI"})
      EXPECT_EQ(count(t, s), 1) << s;
    EXPECT_EQ(count(t, "Minimum:     -68.685890"), 4);  // the band gains
  }
}

TEST_F(RealHosts, Lv2applyAndLv2procSoundExactlyAsRenderAtTheSameCallLength) {
  ASSERT_TRUE(installed({"lv2apply", "lv2proc"}));
  write_input("stereo.wav", 2);
  write_input("mono.wav", 1);
  std::vector<std::string> steep_sets;
  std::string steep_lv2apply, steep_lv2proc;
  for (const setting_t& k : kSteep) {
    steep_sets.push_back(std::string(k.name) + "=" + k.value);
    steep_lv2apply += std::string(" -c ") + k.symbol + " " + k.value;
    steep_lv2proc += std::string(" -c ") + k.symbol + ":" + k.value;
  }
  struct {
    const char* uri;
    const char* input;
    bool steep;
  } cases[] = {{QUILLMAR_LV2_STEREO_URI, "stereo.wav", false},
               {QUILLMAR_LV2_STEREO_URI, "stereo.wav", true},
               {QUILLMAR_LV2_MONO_URI, "mono.wav", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.uri) + (c.steep ? " steep" : " defaults"));
    // lv2apply runs the plug-in one frame per call, in a session without a display.
    const shell_result_t r = shell("env -u DISPLAY lv2apply -i " + shell_quote(path(c.input)) + " -o " +
                                       shell_quote(path("lv2apply.wav")) +
                                       (c.steep ? steep_lv2apply : "") + " " + c.uri,
                                   true);
    ASSERT_EQ(r.status, 0) << r.out;
    render(c.input, "render1.wav", 1, c.steep ? steep_sets : std::vector<std::string>());
    EXPECT_LE(max_difference("lv2apply.wav", "render1.wav"), 1e-6);
  }
  // lv2proc in 512-frame calls, its own latency compensation off.
  const shell_result_t r = shell("lv2proc -n 512 --with-latency -i " +
                                     shell_quote(path("stereo.wav")) + " -o " +
                                     shell_quote(path("lv2proc.wav")) + steep_lv2proc + " " +
                                     QUILLMAR_LV2_STEREO_URI,
                                 true);
  ASSERT_EQ(r.status, 0) << r.out;
  render("stereo.wav", "render512.wav", 512, steep_sets);
  EXPECT_LE(max_difference("lv2proc.wav", "render512.wav"), 1e-6);
}

TEST_F(RealHosts, APortSetFromJalvsConsoleChangesTheSound) {
  ASSERT_TRUE(installed({"jackd", "jalv", "jack_lsp", "jack_connect", "jack_simple_client",
                         "jack_rec"}));
  ASSERT_NO_FATAL_FAILURE(start_jack());
  const std::string client = "qm" + std::to_string(getpid());
  ASSERT_TRUE(jalv_.start({"jalv", "-x", "-n", client, QUILLMAR_LV2_STEREO_URI}, path("jalv.log"),
                          true));
  ASSERT_TRUE(wait_until(30, [&] { return jack_port(client + ":out_r"); })) << slurp(path("jalv.log"));
  helpers_.push_back(std::make_unique<process_t>());
  ASSERT_TRUE(helpers_.back()->start({"jack_simple_client"}, path("tone.log")));
  ASSERT_TRUE(wait_until(20, [&] { return jack_port("jack_simple_client:output2"); }));
  for (const char* link : {"jack_simple_client:output1 $:in_l", "jack_simple_client:output2 $:in_r"}) {
    std::string args = link;
    args.replace(args.find('$'), 1, client);
    ASSERT_EQ(shell("jack_connect " + args, true).status, 0) << args;
  }
  // Four seconds recorded; after the second, Overall Gain goes to -20 dB.
  helpers_.push_back(std::make_unique<process_t>());
  process_t& rec = *helpers_.back();
  ASSERT_TRUE(rec.start({"jack_rec", "-f", path("rec.wav"), "-d", "4", client + ":out_l"},
                        path("rec.log")));
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  jalv_.write("overall_gain = -20\n");
  ASSERT_TRUE(rec.wait(20)) << slurp(path("rec.log"));
  audio_t a;
  std::string err;
  ASSERT_TRUE(read_audio(path("rec.wav"), &a, &err)) << err;
  ASSERT_GE(a.frames(), 4u * 48000 - 4800);
  // The median level of 50 ms windows, so that a dropout of the loaded machine's JACK
  // server does not count.
  auto level_db = [&](size_t from, size_t to) {
    std::vector<double> levels;
    for (size_t w = from; w + 2400 <= to; w += 2400) {
      double s = 0;
      for (size_t i = w; i < w + 2400; ++i) s += double(a.ch[0][i]) * a.ch[0][i];
      levels.push_back(10 * std::log10(s / 2400 + 1e-30));
    }
    std::nth_element(levels.begin(), levels.begin() + levels.size() / 2, levels.end());
    return levels[levels.size() / 2];
  };
  const double before = level_db(12000, 60000), after = level_db(a.frames() - 48000, a.frames());
  EXPECT_GT(before, -30.0) << "the tone did not come through";
  EXPECT_NEAR(after - before, -20.0, 0.5);
}

TEST_F(RealHosts, JalvGtkSavesTheStateItLoadedBitForBit) {
  ASSERT_TRUE(installed({"jackd", "jalv.gtk3", "Xvfb", "xdotool", "lv2info"}));
  // A saved state whose chunk holds values the ports can only round.
  std::vector<double> values = {1, 1, 0, 1, 1e-6, -12.3456789012345, 1e-6, 1e-6,
                                80, 1234.56789012345, 1700, 8000, 0, 33.3333333333, 0, 0,
                                0.1, -0.7, 1, 2, 1, 1.1, 1, 1, 0.2, 0, 64.34294481903252, 1,
                                0.123456789};
  std::vector<uint8_t> chunk(values.size() * 8);
  std::memcpy(chunk.data(), values.data(), chunk.size());
  std::ofstream(path("chunk.bin"), std::ios::binary)
      .write(reinterpret_cast<const char*>(chunk.data()), chunk.size());
  std::vector<std::string> symbols;
  std::istringstream info(shell(std::string("lv2info ") + QUILLMAR_LV2_STEREO_URI).out);
  for (std::string line; std::getline(info, line);)
    if (line.find("Symbol:") != std::string::npos) symbols.push_back(line.substr(line.rfind(' ') + 1));
  ASSERT_GE(symbols.size(), values.size());
  std::string ports;
  for (size_t i = 0; i < values.size(); ++i) {
    char value[32];  // the port's single-precision value, written exactly
    std::snprintf(value, sizeof value, "%.9g", static_cast<float>(values[i]));
    ports += std::string(i ? " , " : "") + "[ lv2:symbol \"" + symbols[i] +
             "\" ; pset:value " + value + " ]";
  }
  const std::string head =
      "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
      "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
      "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
      "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
      "@prefix xsd: <http://www.w3.org/2001/XMLSchema#> .\n";
  mkdir(path("saved").c_str(), 0755);
  std::ofstream(path("saved/manifest.ttl"))
      << head << "<state.ttl> a pset:Preset ; lv2:appliesTo <" QUILLMAR_LV2_STEREO_URI
      << "> ; rdfs:seeAlso <state.ttl> .\n";
  std::ofstream(path("saved/state.ttl"))
      << head << "<> a pset:Preset ; lv2:appliesTo <" QUILLMAR_LV2_STEREO_URI "> ;\n"
      << "  lv2:port " << ports << " ;\n"
      << "  state:state [ <" QUILLMAR_LV2_CHUNK_URI "> \""
      << shell("base64 -w0 " + shell_quote(path("chunk.bin"))).out << "\"^^xsd:base64Binary ] .\n";

  ASSERT_NO_FATAL_FAILURE(start_xvfb());
  ASSERT_NO_FATAL_FAILURE(start_jack());
  ASSERT_TRUE(jalv_.start({"jalv.gtk3", "-x", "--jack-name", "qm" + std::to_string(getpid()),
                           "-l", path("saved"), QUILLMAR_LV2_STEREO_URI},
                          path("jalv.log")));
  const std::string main = jalv_window("Quillmar");
  ASSERT_FALSE(main.empty()) << slurp(path("jalv.log"));
  std::string saved;
  ASSERT_NO_FATAL_FAILURE(save_from_menu(main, "again", &saved));
  EXPECT_EQ(saved_chunk(saved), std::string(chunk.begin(), chunk.end()));
}

// The window under top (itself included) of exactly w x h pixels, or 0.
Window window_of_size(Display* x, Window top, int w, int h) {
  XWindowAttributes a{};
  if (XGetWindowAttributes(x, top, &a) && a.width == w && a.height == h && a.map_state == IsViewable)
    return top;
  Window root = 0, parent = 0, *children = nullptr;
  unsigned n = 0;
  Window found = 0;
  if (XQueryTree(x, top, &root, &parent, &children, &n))
    for (unsigned i = 0; i < n && !found; ++i) found = window_of_size(x, children[i], w, h);
  if (children) XFree(children);
  return found;
}

TEST_F(RealHosts, JalvGtkShowsTheEditorAndABandDragMovesItsPorts) {
  ASSERT_TRUE(installed({"jackd", "jalv.gtk3", "Xvfb", "xdotool"}));
  ASSERT_NO_FATAL_FAILURE(start_xvfb());
  ASSERT_NO_FATAL_FAILURE(start_jack());
  ASSERT_TRUE(jalv_.start({"jalv.gtk3", "-x", "--jack-name", "qm" + std::to_string(getpid()),
                           QUILLMAR_LV2_STEREO_URI},
                          path("jalv.log")));
  const std::string main = jalv_window("Quillmar");
  ASSERT_FALSE(main.empty()) << slurp(path("jalv.log"));
  Display* x = XOpenDisplay(nullptr);
  ASSERT_NE(x, nullptr);
  std::shared_ptr<Display> closer(x, XCloseDisplay);

  // The frame the editor should show with the pointer over the curve area, away from the
  // bands (the grids in full, the information line naming the place), beside what jalv shows.
  const int px = 300, py = 450;
  plug_ptr plug = same_editor(path("config"), px, py, 48000);
  ASSERT_TRUE(plug);
  const RasterBitmap& want = *plug->GetGUI()->GetDrawBitmap();
  Window editor = 0;
  ASSERT_TRUE(wait_until(20, [&] {
    return (editor = window_of_size(x, std::stoul(main), want.Width(), want.Height())) != 0;
  })) << "no window of the editor's size in jalv's\n" << slurp(path("jalv.log"));
  const std::string win = " --window " + std::to_string(editor) + " ";
  shell("xdotool mousemove" + win + std::to_string(px) + " " + std::to_string(py));
  RasterBitmap shown;
  int unlike = -1;
  // Only the selected band's glow, which moves with the frame count, may differ.
  wait_until(20, [&] {
    shown = window_pixels(x, editor);
    unlike = pixels_unlike(shown, want);
    return unlike >= 0 && unlike < want.Width() * want.Height() / 500;
  });
  std::string err;
  shown.SavePNG(QUILLMAR_TEST_OUTPUT "/jalv-editor.png", false, &err);
  EXPECT_GE(unlike, 0);
  EXPECT_LT(unlike, want.Width() * want.Height() / 500) << "pixels unlike the editor's frame";

  // Band B's point dragged up and to the right: jalv's own ports follow the editor.
  const eqband_t& B = plug->Inst()->bands[1];
  const int bx = int(std::lround(B.point_px)), by = int(std::lround(B.point_py));
  shell("xdotool mousemove" + win + std::to_string(bx) + " " + std::to_string(by) +
        " sleep 0.2 mousedown 1 mousemove" + win + std::to_string(bx + 40) + " " +
        std::to_string(by - 30) + " sleep 0.1 mousemove" + win + std::to_string(bx + 80) + " " +
        std::to_string(by - 60) + " sleep 0.1 mouseup 1");
  std::string saved;
  ASSERT_NO_FATAL_FAILURE(save_from_menu(main, "dragged", &saved));
  const std::string chunk = saved_chunk(saved);
  ASSERT_EQ(chunk.size(), 232u) << saved;
  double exact[2];
  std::memcpy(exact, chunk.data() + 8 * 5, 8);   // band B gain
  std::memcpy(exact + 1, chunk.data() + 8 * 9, 8);  // band B frequency
  EXPECT_GT(exact[0], 5);
  EXPECT_GT(exact[1], 500);
  EXPECT_NEAR(saved_port(saved, "band_b_gain"), exact[0], 1e-5 * std::fabs(exact[0]));
  EXPECT_NEAR(saved_port(saved, "band_b_freq"), exact[1], 1e-5 * exact[1]);
}

TEST_F(RealHosts, InstallCopiesTheBundleWithItsResources) {
  ASSERT_TRUE(installed({"lv2ls"}));
  const shell_result_t r =
      shell("LV2_INSTALL_DIR=" + shell_quote(path("lv2")) + " " +
                shell_quote(std::string(QUILLMAR_SOURCE_DIR) + "/tools/install-lv2.sh") + " " +
                shell_quote(kBundle),
            true);
  ASSERT_EQ(r.status, 0) << r.out;
  for (const char* f : {"manifest.ttl", "quillmar.ttl", "quillmar.so",
                        "resources/img/black_knob.png", "resources/img/font/font48.png"})
    EXPECT_EQ(access(path(std::string("lv2/quillmar.lv2/") + f).c_str(), R_OK), 0) << f;
  const std::string listed = shell("LV2_PATH=" + shell_quote(path("lv2")) + " lv2ls").out;
  EXPECT_EQ(count(listed, "urn:"), 2) << listed;
  EXPECT_EQ(count(listed, QUILLMAR_LV2_STEREO_URI "\n"), 1);
  EXPECT_EQ(count(listed, QUILLMAR_LV2_MONO_URI "\n"), 1);
}

}  // namespace
