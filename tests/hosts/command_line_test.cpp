// The command line as a user meets it: help and version, arguments that look like options,
// the output's container by its name, standard input and output, parameters by symbol, the
// latency at a block length, presets, and a program copied away from its resources.
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "cli_harness.h"
#include "hosts/cli/help.h"
#include "hosts/cli/session.h"
#include "quillmar_version.h"

namespace {

// The libsndfile format of a file, 0 when it cannot be read.
int format_of(const std::string& path) {
  SF_INFO info = {};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  if (!f) return 0;
  sf_close(f);
  return info.format;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

// The text with every run of spaces and line breaks made one space: a help as it reads.
std::string words(const std::string& text) {
  std::istringstream in(text);
  std::string all;
  for (std::string w; in >> w;) all += (all.empty() ? "" : " ") + w;
  return all;
}

using CommandLine = CliTest;

TEST_F(CommandLine, HelpExplainsEveryCommandAndOption) {
  const struct {
    std::vector<std::string> args;
    std::vector<const char*> says;
  } cases[] = {
      {{"--help"}, {"Commands:", "render IN OUT", "QUILLMAR_CONFIG_DIR", "Quillmar Preferences.dat",
                    "The Limiter is on at 0 dB by default", "extension chooses its container"}},
      {{"help"}, {"Commands:"}},
      {{"help", "render"}, {"usage: quillmar render IN OUT [options]", "--format float|pcm16|pcm24",
                            "OUTPUT FILES", "-h, --help"}},
      {{"snapshot", "-h"}, {"0 is 780x566, 1 is 1060x566, 2 is 1220x666 pixels"}},
      {{"info", "--help"}, {"--block FRAMES", "more frames than the hop"}},
  };
  for (const auto& c : cases) {
    const cli_result_t r = run(c.args);
    EXPECT_EQ(r.status, 0) << c.args[0];
    EXPECT_EQ(r.err, "");
    const std::string text = words(r.out);
    for (const char* s : c.says) EXPECT_NE(text.find(s), std::string::npos) << c.args[0] << ": " << s;
  }
  // Each command's help, however asked for, names every option and fits 79 columns.
  for (const command_t& cmd : commands()) {
    const cli_result_t r = run({"help", cmd.name});
    EXPECT_EQ(run({cmd.name, "--help"}).out, r.out);
    EXPECT_EQ(run({cmd.name, "-h"}).out, r.out);
    for (const option_t& o : cmd.options) EXPECT_NE(r.out.find(o.name), std::string::npos) << cmd.name << " " << o.name;
    for (const std::string& l : lines_of(r.out)) EXPECT_LE(l.size(), 79u) << l;
  }
  EXPECT_EQ(run({"--version"}).out, "quillmar " QUILLMAR_VERSION "\n");
  const cli_result_t bad = run({"help", "frobnicate"});
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(bad.err_lines(), 1);
}

TEST_F(CommandLine, AnArgumentThatLooksLikeAnOptionIsNeverAFileName) {
  write_wav("in.wav", noise(1, 1000, 3));
  const struct {
    std::vector<std::string> args;
    int status;
    const char* says;
  } cases[] = {
      {{"demo", "--help"}, 0, ""},
      {{"demo", "-x"}, 2, "unknown option -x"},
      {{"render", "in.wav", "o.wav", "--save-state", "--help"}, 2, "--save-state needs FILE, not the option --help"},
      {{"render", "in.wav", "--compensate=yes", "o.wav"}, 2, "--compensate takes no value"},
      {{"render", "in.wav", "-o.wav"}, 2, "unknown option -o.wav"},
      {{"snapshot", "--frames"}, 2, "--frames needs N"},
      {{"render", "in.wav", "o.wav", "--block=0"}, 2, "--block 0: not a valid value"},
      {{"render", "in.wav", ""}, 2, "an empty argument names no file"},
      {{"render", "in.wav", "o.wav", "--save-state="}, 2, "--save-state needs FILE, not an empty value"},
  };
  for (const auto& c : cases) {
    const cli_result_t r = run(c.args);
    EXPECT_EQ(r.status, c.status) << c.args[1];
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    for (const char* never : {"--help", "-x", "o.wav", "-o.wav", "out"}) EXPECT_FALSE(exists(never)) << never;
  }
  // After --, a name is a name.
  ASSERT_EQ(run({"demo", "--", "-x"}).status, 0);
  EXPECT_TRUE(exists("-x/demo-output.wav"));
}

// Refusals a user meets, each one exact line with its status; none writes a file or touches
// the settings.
TEST_F(CommandLine, ARefusalIsOneLineNamingTheFault) {
  std::ofstream(path("f")) << "a file\n";
  write_wav("in.wav", noise(1, 1000, 3));
  const std::string no_tmp = "cannot make a temporary settings folder in /nonexistent (No such file or directory)";
  const struct {
    std::vector<std::string> args;
    const char* env;
    int status;
    std::string err;
  } cases[] = {
      {{"--version", "extra"}, "", 2, "--version takes no argument, not extra (quillmar help COMMAND explains a command)"},
      {{"--help", "render"}, "", 2, "--help takes no argument, not render (quillmar help COMMAND explains a command)"},
      {{"info", "--set", "5=0x10"}, "", 2, "--set 5=0x10: \"0x10\" is not a number"},
      {{"info", "--set", "5=inf"}, "", 2, "--set 5=inf: \"inf\" is not a number"},
      {{"info", "--set", "5=-NAN"}, "", 2, "--set 5=-NAN: \"-NAN\" is not a number"},
      {{"info", "--set", "5=1e999"}, "", 2, "--set 5=1e999: \"1e999\" is not a number"},
      {{"info", "--set", "5=1-2"}, "", 2, "--set 5=1-2: \"1-2\" is not a number"},
      {{"info", "--rate", "0x10000"}, "", 2, "--rate 0x10000: not a valid value (expected a number from 1000 to 3e+06)"},
      // A negative number is a value, not an option.
      {{"response", "--points", "-3"}, "", 2, "--points -3: not a valid value (expected a whole number from 2 to 100000)"},
      {{"info", "--rate", "-.5"}, "", 2, "--rate -.5: not a valid value (expected a number from 1000 to 3e+06)"},
      {{"info", "--set", "gain"}, "", 2, "--set gain: expected NAME=VALUE"},
      {{"info", "--set", "=3"}, "", 2, "--set =3: expected NAME=VALUE"},
      {{"info", "--state", "none.state"}, "", 1, "none.state: No such file or directory"},
      {{"demo", "-"}, "", 2, "demo: OUTDIR is a folder; - (standard output) cannot hold its files"},
      {{"demo", "a/b/c"}, "", 1, "a/b/c: cannot make the folder (No such file or directory)"},
      {{"demo", "f"}, "", 1, "f: cannot make the folder (Not a directory)"},
      {{"demo", "d"}, "TMPDIR=/nonexistent", 1, no_tmp},
      {{"snapshot", "x.png", "--size", "2"}, "TMPDIR=/nonexistent", 1, no_tmp},
      {{"render", "in.wav", "-"}, "TMPDIR=/nonexistent", 1,
       "standard output: cannot make a temporary file in /nonexistent (No such file or directory)"},
      {{"render", "-", "o.wav"}, "TMPDIR=/nonexistent", 1,
       "cannot make a temporary file in /nonexistent (No such file or directory)"},
      {{"snapshot", "x.jpg"}, "", 2, "x.jpg: snapshot writes PNG only; name the output with .png"},
      {{"snapshot", "x.Png.gif"}, "", 2, "x.Png.gif: snapshot writes PNG only; name the output with .png"},
  };
  for (const auto& c : cases) {
    const cli_result_t r = run(c.args, {c.env});
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.err, "quillmar: " + c.err + "\n");
    EXPECT_EQ(r.out, "");
    for (const char* never : {"-", "a", "d", "o.wav", "x.png", "x.jpg", "x.Png.gif", "config/Quillmar Preferences.dat"})
      EXPECT_FALSE(exists(never)) << never;
  }
  // Any case of .png, and no extension at all, is a PNG.
  for (const char* name : {"x.PNG", "picture"}) {
    EXPECT_EQ(run({"snapshot", name, "--frames", "1"}).status, 0);
    EXPECT_EQ(bytes(name).compare(0, 4, "\x89PNG"), 0) << name;
  }
  // gui and live keep a --size in the settings folder: without one, a failure of status 1.
  const char* const vars[] = {"QUILLMAR_CONFIG_DIR", "XDG_CONFIG_HOME", "HOME"};
  std::vector<std::pair<const char*, std::string>> saved;
  for (const char* v : vars)
    if (const char* value = std::getenv(v)) saved.push_back({v, value});
  for (const char* v : vars) unsetenv(v);
  cli_error err;
  EXPECT_FALSE(remember_interface_size(1, &err));
  for (const auto& [v, value] : saved) setenv(v, value.c_str(), 1);
  EXPECT_EQ(err.message, "no settings folder to keep the interface size in (HOME is not set)");
  EXPECT_EQ(err.status, 1);
}

TEST_F(CommandLine, TheOutputsNameChoosesItsContainerAndFormatOnlyTheEncoding) {
  write_wav("in.wav", noise(2, 4000, 3));
  write_wav("in48.wav", noise(2, 4800, 3), 48000);
  audio_t a = read_wav("in.wav");
  a.sf_format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
  std::string err;
  ASSERT_TRUE(write_audio(path("in.flac"), a, sample_format::same, &err)) << err;
  a.sf_format = SF_FORMAT_VOC | SF_FORMAT_PCM_16;  // read, but no output's name asks for it
  ASSERT_TRUE(write_audio(path("in.voc"), a, sample_format::same, &err)) << err;
  const struct {
    const char *in, *out, *format;
    int expect;           // the format written, or 0: refused
    const char* refusal;
  } cases[] = {
      {"in.wav", "o.flac", nullptr, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, ""},
      {"in.wav", "o.flac", "pcm16", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, ""},
      {"in.wav", "o.flac", "float", 0, "o.flac: FLAC cannot hold 32-bit float samples"},
      {"in.flac", "o.wav", nullptr, SF_FORMAT_WAV | SF_FORMAT_PCM_16, ""},
      {"in.flac", "o", nullptr, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, ""},
      {"in.flac", "o.xyz", "float", 0, "o.xyz: FLAC cannot hold 32-bit float samples"},
      {"in.voc", "o.xyz", "float", 0, "o.xyz: VOC cannot hold 32-bit float samples"},
      {"in.wav", "o.OGA", nullptr, SF_FORMAT_OGG | SF_FORMAT_VORBIS, ""},
      {"in.wav", "o.ogg", "pcm16", 0, "o.ogg: Ogg Vorbis has an encoding of its own; leave out --format"},
      {"in.wav", "o.opus", nullptr, 0,
       "o.opus: Opus takes 8000, 12000, 16000, 24000 or 48000 Hz, not 44100 Hz (Quillmar does not resample)"},
      {"in48.wav", "o.opus", nullptr, SF_FORMAT_OGG | SF_FORMAT_OPUS, ""},
      {"in.wav", "o.aiff", "pcm24", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, ""},
      {"in.wav", "o.w64", nullptr, SF_FORMAT_W64 | SF_FORMAT_FLOAT, ""},
      {"in.wav", "o.caf", "pcm16", SF_FORMAT_CAF | SF_FORMAT_PCM_16, ""},
      {"in.wav", "o.au", nullptr, SF_FORMAT_AU | SF_FORMAT_FLOAT, ""},
      {"in.wav", "o.xyz", nullptr, SF_FORMAT_WAV | SF_FORMAT_FLOAT, ""},
      {"in.wav", "o.MP3", nullptr, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, ""},
      {"in.wav", "o.mp3", "pcm24", 0, "o.mp3: MP3 has an encoding of its own; leave out --format"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"render", c.in, c.out};
    if (c.format) args.insert(args.end(), {"--format", c.format});
    const cli_result_t r = run(args);
    SCOPED_TRACE(std::string(c.in) + " -> " + c.out);
    if (*c.refusal) {
      EXPECT_EQ(r.status, 2);
      EXPECT_EQ(r.err, std::string("quillmar: ") + c.refusal + "\n");
      EXPECT_FALSE(exists(c.out));
    } else {
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(format_of(path(c.out)), c.expect);
    }
    std::remove(path(c.out).c_str());
  }
  // Every rate Opus takes (48000 Hz above).
  for (int rate : {8000, 12000, 16000, 24000}) {
    write_wav("r.wav", noise(1, rate / 10, 3), rate);
    EXPECT_EQ(run({"render", "r.wav", "o.opus"}).status, 0) << rate;
    EXPECT_EQ(format_of(path("o.opus")), SF_FORMAT_OGG | SF_FORMAT_OPUS) << rate;
    std::remove(path("o.opus").c_str());
  }
}

TEST_F(CommandLine, DashReadsStandardInputAndWritesStandardOutput) {
  write_wav("in.wav", noise(2, 3000, 3));
  audio_t a = read_wav("in.wav");
  a.sf_format = SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
  std::string err;
  ASSERT_TRUE(write_audio(path("in.flac"), a, sample_format::same, &err)) << err;
  ASSERT_EQ(run({"render", "in.flac", "ref.wav"}).status, 0);
  ASSERT_EQ(run({"render", "in.flac", "ref.flac"}).status, 0);
  // FLAC cannot be read from a pipe by seeking: standard input is taken whole first.
  cli_result_t r = run({"render", "-", "piped.wav"}, {}, "exec < in.flac; ");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_wav("piped.wav").ch, read_wav("ref.wav").ch);
  // Standard output takes the input's container, FLAC, which needs seeking to be written.
  r = run({"render", "in.flac", "-"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(format_of(path(".stdout")), SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
  EXPECT_EQ(read_wav(".stdout").ch, read_wav("ref.flac").ch);
  r = run({"render", "-", "o.wav"});  // standard input is /dev/null: no audio
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.compare(0, 26, "quillmar: standard input: "), 0) << r.err;
  r = run({"render", "-", "o.wav"}, {}, "exec < .; ");  // a read that fails
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "quillmar: standard input: Is a directory\n");
  // The spooled input is gone once it was read.
  mkdir(path("tmp").c_str(), 0700);
  ASSERT_EQ(run({"render", "-", "p.wav"}, {"TMPDIR=" + path("tmp")}, "exec < in.flac; ").status, 0);
  EXPECT_EQ(rmdir(path("tmp").c_str()), 0) << "a spooled input was left behind";
}

TEST_F(CommandLine, AParameterIsNamedByItsNameSymbolOrIndex) {
  const std::string by_name = run({"response", "--points", "20", "--set", "Band B gain=6"}).out;
  EXPECT_NE(by_name, run({"response", "--points", "20"}).out);
  EXPECT_EQ(run({"response", "--points", "20", "--set", "band_b_gain=6"}).out, by_name);
  EXPECT_EQ(run({"response", "--points", "20", "--set", "5=6"}).out, by_name);
  const std::string info = run({"info"}).out;
  for (const char* row : {"  5  Band B gain        band_b_gain", " 26  Vert. Range        vert_range",
                          " 28  Hor. Position      hor_position"})
    EXPECT_NE(info.find(row), std::string::npos) << row;
  EXPECT_NE(run({"info", "--json"}).out.find("\"name\": \"Gain Scale\", \"symbol\": \"gain_scale\""), std::string::npos);
  EXPECT_EQ(run({"info", "--set", "band_q_gain=1"}).status, 2);
}

TEST_F(CommandLine, InfoExplainsTheLatencyAtAHostsCallLength) {
  const struct {
    std::vector<std::string> args;
    const char* says;
  } cases[] = {
      {{"info"}, "latency: 838 samples (19.00 ms at 44100 Hz) for host calls of up to 326 frames (the hop)\n"
                 "A host that calls with more frames than the hop"},
      {{"info", "--block", "326"}, "at --block 326: the same, 838 samples: calls up to the hop keep"},
      {{"info", "--block", "512"}, "at --block 512: 1088 samples (24.67 ms): calls longer than the hop re-size"},
      {{"info", "--block", "512", "--json"}, "\"block\": 512,\n  \"block_latency_samples\": 1088,"},
  };
  for (const auto& c : cases) {
    const cli_result_t r = run(c.args);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out;
  }
}

TEST_F(CommandLine, PresetsByNameSetTheCurveAndLeaveTheUsersSettings) {
  const std::vector<std::string> names = lines_of(run({"presets"}).out);
  EXPECT_GE(names.size(), 8u);
  EXPECT_LE(names.size(), 12u);
  // The user's own resolution stays; the preset's curve comes in.
  std::ofstream(path("config/Quillmar Preferences.dat")) << "Quillmar Prefs 1.2\nResolution 4\n";
  for (const char* name : {"Low cut 80 Hz", "low-cut-80-hz", "LOW CUT 80 HZ"}) {
    const cli_result_t r = run({"info", "--json", "--preset", name});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"name\": \"Band A freq\", \"symbol\": \"band_a_freq\", \"value\": 30,"), std::string::npos);
    EXPECT_NE(r.out.find("\"name\": \"Resolution\", \"symbol\": \"resolution\", \"value\": 4,"), std::string::npos);
  }
  const cli_result_t r = run({"info", "--preset", "Loud"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err_lines(), 1);
  EXPECT_NE(r.err.find("no factory preset is called so (there are " + names[0] + ", "), std::string::npos) << r.err;
}

// A program copied away from its resources never falls back on the source tree: the commands
// that draw nothing say nothing, those that draw refuse in one line naming where they looked.
TEST_F(CommandLine, AProgramWithoutItsSkinDrawsNothingAndSaysWhereItLooked) {
  mkdir(path("bin").c_str(), 0755);
  ASSERT_EQ(std::system(("cp " + std::string(QUILLMAR_BIN) + " " + path("bin/quillmar")).c_str()), 0);
  use_binary(path("bin/quillmar"));
  write_wav("in.wav", noise(1, 2000, 3));
  const std::string looked = "(" + path("bin/resources") + ", " + path("share/quillmar/resources") + ")";
  const struct {
    std::vector<std::string> args;
    int status;
    std::string err;
  } cases[] = {
      {{"info"}, 0, ""},
      {{"response", "--points", "3"}, 0, ""},
      {{"render", "in.wav", "o.wav"}, 0, ""},
      {{"snapshot", "x.png"}, 1,
       "quillmar: the editor cannot be drawn without its skin: img/font/font48.png is in none of the "
       "resource folders " + looked + "; QUILLMAR_RESOURCES may name the folder that holds img/\n"},
      {{"info", "--preset", "Warm"}, 1,
       "quillmar: no factory presets: none of the resource folders " + looked.substr(0, looked.size() - 1) +
           ") holds presets/\n"},
  };
  for (const auto& c : cases) {
    const cli_result_t r = run(c.args, {"QUILLMAR_RESOURCES="});
    EXPECT_EQ(r.status, c.status) << c.args[0];
    EXPECT_EQ(r.err, c.err);
  }
  EXPECT_FALSE(exists("x.png"));
  // The demo writes its sound, and not the picture it cannot draw.
  const cli_result_t demo = run({"demo", "d"}, {"QUILLMAR_RESOURCES="});
  EXPECT_EQ(demo.status, 1);
  EXPECT_EQ(demo.err_lines(), 1);
  EXPECT_TRUE(exists("d/demo-output.wav"));
  EXPECT_FALSE(exists("d/demo-editor.png"));
}

}  // namespace
