#include <cctype>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <sstream>

#include <sndfile.h>

#include "cli_harness.h"

namespace {

std::vector<std::vector<float>> impulse(int channels, int frames) {
  std::vector<std::vector<float>> ch(channels, std::vector<float>(frames, 0.0f));
  for (auto& c : ch) c[0] = 1.0f;
  return ch;
}

int peak_index(const std::vector<float>& x) {
  int p = 0;
  for (size_t i = 0; i < x.size(); ++i)
    if (std::fabs(x[i]) > std::fabs(x[p])) p = int(i);
  return p;
}

using Render = CliTest;

TEST_F(Render, ImpulseComesBackDelayedByTheReportedLatency) {
  write_wav("imp.wav", impulse(2, 4000));
  ASSERT_EQ(run({"render", "imp.wav", "out.wav"}).status, 0);
  audio_t out = read_wav("out.wav");
  ASSERT_EQ(out.channels, 2);
  ASSERT_EQ(out.frames(), 4000u);
  for (int c = 0; c < 2; ++c) {
    EXPECT_EQ(peak_index(out.ch[c]), 838);
    EXPECT_NEAR(out.ch[c][838], 1.0, 1.0 / 1350 + 1e-4);  // all but the Nyquist bin
  }
  // A longer host call re-sizes the engine: N = 1728, hop 576, latency 1088.
  ASSERT_EQ(run({"render", "imp.wav", "out512.wav", "--block", "512"}).status, 0);
  EXPECT_EQ(peak_index(read_wav("out512.wav").ch[0]), 1088);
  ASSERT_EQ(run({"render", "imp.wav", "comp.wav", "--compensate", "--block", "512"}).status, 0);
  out = read_wav("comp.wav");
  EXPECT_EQ(out.frames(), 4000u);
  EXPECT_EQ(peak_index(out.ch[1]), 0);
  EXPECT_NEAR(out.ch[1][0], 1.0, 1e-3);
}

TEST_F(Render, CompensatedOutputIsTheSameForEveryBlockUpToTheHop) {
  write_wav("in.wav", noise(2, 12000));
  std::vector<audio_t> outs;
  for (const char* block : {"1", "64", "128", "326"}) {
    const std::string name = std::string("out") + block + ".wav";
    ASSERT_EQ(run({"render", "in.wav", name, "--compensate", "--block", block,
                   "--set", "Band C gain=-9"}).status, 0);
    outs.push_back(read_wav(name));
  }
  for (size_t k = 1; k < outs.size(); ++k)
    EXPECT_EQ(outs[k].ch, outs[0].ch) << "block " << k;
  // A block longer than the hop re-sizes the engine, and still lines up with the input.
  ASSERT_EQ(run({"render", "in.wav", "long.wav", "--compensate", "--block", "4096",
                 "--set", "Band C gain=-9"}).status, 0);
  const audio_t longer = read_wav("long.wav");
  ASSERT_EQ(longer.frames(), 12000u);
  double diff = 0, power = 0;
  for (size_t i = 500; i < 11500; ++i) {
    diff += std::pow(longer.ch[0][i] - outs[0].ch[0][i], 2);
    power += std::pow(outs[0].ch[0][i], 2);
  }
  EXPECT_LT(diff / power, 1e-3);  // the same filter up to its sampling at another N
}

TEST_F(Render, MonoStaysMonoAndStereoChannelsStayApart) {
  write_wav("mono.wav", impulse(1, 2000));
  ASSERT_EQ(run({"render", "mono.wav", "out.wav", "--compensate"}).status, 0);
  const audio_t out = read_wav("out.wav");
  EXPECT_EQ(out.channels, 1);
  EXPECT_NEAR(out.ch[0][0], 1.0, 1e-3);
  std::vector<std::vector<float>> st = impulse(2, 2000);
  st[1][0] = 0.0f;
  write_wav("left.wav", st);
  ASSERT_EQ(run({"render", "left.wav", "lout.wav", "--compensate"}).status, 0);
  const audio_t l = read_wav("lout.wav");
  for (float x : l.ch[1]) ASSERT_EQ(x, 0.0f);
}

// Gain of out over in at frequency f, by projection on a sine and a cosine.
double gain_db(const std::vector<float>& in, const std::vector<float>& out, double f) {
  auto amp = [f](const std::vector<float>& x) {
    double s = 0, c = 0;
    for (size_t i = 4000; i < x.size(); ++i) {
      s += x[i] * std::sin(2 * M_PI * f * i / 44100);
      c += x[i] * std::cos(2 * M_PI * f * i / 44100);
    }
    return std::hypot(s, c);
  };
  return 20 * std::log10(amp(out) / amp(in));
}

std::vector<std::pair<double, double>> response_points(const std::string& out) {
  std::vector<std::pair<double, double>> points;
  std::istringstream lines(out);
  for (double f, db; lines >> f >> db;) points.emplace_back(f, db);
  return points;
}

TEST_F(Render, GainScaleZeroIsFlatAtOverallGainEvenWithASilencedBand) {
  const cli_result_t r = run({"response", "--set", "Band A gain=-68.68588963806504", "--set", "Gain Scale=0"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto points = response_points(r.out);
  ASSERT_GT(points.size(), 10u);
  for (const auto& p : points) EXPECT_NEAR(p.second, 0.0, 0.01) << p.first << " Hz";
}

TEST_F(Render, MeasuredBandsMatchTheReportedResponse) {
  const std::vector<std::string> sets = {"--set", "Band B gain=6", "--set", "Band D gain=-12"};
  std::vector<std::string> args = {"response", "--points", "91"};
  args.insert(args.end(), sets.begin(), sets.end());
  const cli_result_t r = run(args);
  ASSERT_EQ(r.status, 0) << r.err;
  const auto points = response_points(r.out);
  ASSERT_EQ(points.size(), 91u);
  EXPECT_NEAR(points[0].first, 20.0, 1e-3);
  EXPECT_NEAR(points[90].first, 20000.0, 0.1);
  for (int k : {38, 77}) {  // about 370 Hz and 7.4 kHz
    const double f = points[k].first;
    std::vector<std::vector<float>> sine(1, std::vector<float>(44100));
    for (size_t i = 0; i < sine[0].size(); ++i) sine[0][i] = 0.25f * std::sin(2 * M_PI * f * i / 44100);
    write_wav("sine.wav", sine);
    std::vector<std::string> render = {"render", "sine.wav", "out.wav", "--compensate"};
    render.insert(render.end(), sets.begin(), sets.end());
    ASSERT_EQ(run(render).status, 0);
    EXPECT_NEAR(gain_db(sine[0], read_wav("out.wav").ch[0], f), points[k].second, 0.1) << f;
  }
  EXPECT_NEAR(points[38].second, 6.0, 0.2);
  EXPECT_NEAR(points[77].second, -12.0, 0.5);
}

TEST_F(Render, SavedStateRestoresTheSameSettings) {
  write_wav("in.wav", noise(2, 3000));
  // Standard input closed: the state file may get descriptor 0, which is a file like any other.
  ASSERT_EQ(run({"render", "in.wav", "a.wav", "--set", "Band B gain=-6", "--set", "13=24",
                 "--save-state", "s.bin"}, {}, "exec <&-; ").status, 0);
  std::ifstream f(path("s.bin"), std::ios::binary | std::ios::ate);
  EXPECT_EQ(f.tellg(), 232);
  ASSERT_EQ(run({"render", "in.wav", "b.wav", "--state", "s.bin"}).status, 0);
  EXPECT_EQ(read_wav("a.wav").ch, read_wav("b.wav").ch);
  const cli_result_t info = run({"info", "--state", "s.bin"});
  EXPECT_NE(info.out.find("Band B gain"), std::string::npos);
  EXPECT_NE(info.out.find("-6.00"), std::string::npos);
  EXPECT_NE(info.out.find("24.00"), std::string::npos);
}

TEST_F(Render, BadInputGetsOneClearLineAndNoOutput) {
  write_wav("ok.wav", noise(2, 1000));
  write_wav("three.wav", noise(3, 1000));
  std::ofstream(path("text.wav")) << "this is not audio\n";
  {
    std::ifstream src(path("ok.wav"), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(src)), std::istreambuf_iterator<char>());
    std::ofstream(path("cut.wav"), std::ios::binary) << bytes.substr(0, bytes.size() / 2);
  }
  std::ofstream(path("short.bin"), std::ios::binary) << std::string(100, '\0');
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* mentions;
  } cases[] = {
      {{"render", "missing.wav", "o.wav"}, 1, "missing.wav"},
      {{"render", "text.wav", "o.wav"}, 1, "text.wav"},
      {{"render", "cut.wav", "o.wav"}, 1, "cut.wav"},
      {{"render", "three.wav", "o.wav"}, 1, "3 channels"},
      {{"render", "ok.wav", "o.wav", "--set", "Band Q gain=1"}, 2, "Band Q gain"},
      {{"render", "ok.wav", "o.wav", "--set", "Band A gain=loud"}, 2, "not a number"},
      {{"render", "ok.wav", "o.wav", "--set", "Band A gain=nan"}, 2, "not a number"},
      {{"render", "ok.wav", "o.wav", "--state", "short.bin"}, 1, "short.bin"},
      {{"render", "ok.wav", "o.wav", "--block", "0"}, 2, "--block"},
      {{"render", "ok.wav"}, 2, "OUT"},
      {{"render", "ok.wav", "o.wav", "--bogus"}, 2, "--bogus"},
      {{"info", "--rate", "-5"}, 2, "--rate"},
      {{"frobnicate"}, 2, "frobnicate"},
  };
  for (const Case& c : cases) {
    const cli_result_t r = run(c.args);
    EXPECT_EQ(r.status, c.status) << c.args[0] << " " << c.args.back();
    EXPECT_NE(r.err.find(c.mentions), std::string::npos) << r.err;
    EXPECT_FALSE(exists("o.wav")) << c.mentions;
    if (c.args[0] != "frobnicate") {
      EXPECT_EQ(r.err_lines(), 1) << r.err;
    }
  }
  // A value outside the range is clamped, with a warning, and the render goes on.
  const cli_result_t r = run({"render", "ok.wav", "o.wav", "--set", "Band A gain=100"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("using 60"), std::string::npos);
}

// A file cut short, in every container that can be read, is refused rather than rendered
// short: cut by a little (the header's length is then checked) and by half.
TEST_F(Render, ACutFileOfEveryContainerIsRefused) {
  audio_t a;
  a.channels = 2;
  a.samplerate = 44100;
  a.ch = noise(2, 44100, 4);
  const struct {
    const char* name;
    int format;
  } containers[] = {
      {"c.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},  {"c.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24},
      {"c.au", SF_FORMAT_AU | SF_FORMAT_FLOAT},     {"c.w64", SF_FORMAT_W64 | SF_FORMAT_PCM_16},
      {"c.caf", SF_FORMAT_CAF | SF_FORMAT_FLOAT},   {"c.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
  };
  for (const auto& c : containers) {
    a.sf_format = c.format;
    std::string err;
    ASSERT_TRUE(write_audio(path(c.name), a, sample_format::same, &err)) << err;
    const std::string whole = bytes(c.name);
    for (const size_t keep : {whole.size() - 100, whole.size() / 2}) {
      SCOPED_TRACE(std::string(c.name) + " cut to " + std::to_string(keep));
      std::ofstream(path(c.name), std::ios::binary | std::ios::trunc) << whole.substr(0, keep);
      const cli_result_t r = run({"render", c.name, "o.wav"});
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.err_lines(), 1) << r.err;
      EXPECT_EQ(r.err.find(std::string("quillmar: ") + c.name + ": "), 0u) << r.err;
      // (libsndfile refuses a CAF cut by half as malformed before anything is read, and a
      // FLAC cut anywhere as a lost sync.)
      if (c.format != (SF_FORMAT_FLAC | SF_FORMAT_PCM_16) &&
          (keep > whole.size() / 2 || c.format != (SF_FORMAT_CAF | SF_FORMAT_FLOAT))) {
        EXPECT_NE(r.err.find("truncated"), std::string::npos) << r.err;
      }
      EXPECT_FALSE(exists("o.wav"));
    }
  }
}

// What a header may say beyond the file without being a cut: one byte more (a missing pad
// byte after an odd 8-bit chunk) and 0xFFFFFFFF (a writer that did not know the length).
TEST_F(Render, APadByteOrAnUnknownLengthIsNoCut) {
  const struct {
    int format, frames;
    size_t cut;
    bool unknown_length;
    int reads;  // frames, -1 for a refusal
  } cases[] = {{SF_FORMAT_PCM_U8, 1001, 1, false, 1001},
               {SF_FORMAT_PCM_16, 1000, 2, false, -1},
               {SF_FORMAT_PCM_16, 1000, 0, true, 1000}};
  for (const auto& c : cases) {
    audio_t a;
    a.channels = 1;
    a.samplerate = 44100;
    a.sf_format = SF_FORMAT_WAV | c.format;
    a.ch = noise(1, c.frames, 4);
    std::string err;
    ASSERT_TRUE(write_audio(path("s.wav"), a, sample_format::same, &err)) << err;
    std::string file = bytes("s.wav").substr(0, bytes("s.wav").size() - c.cut);
    if (c.unknown_length) file.replace(file.find("data") + 4, 4, "\xff\xff\xff\xff");
    std::ofstream(path("s.wav"), std::ios::binary | std::ios::trunc) << file;
    audio_t back;
    EXPECT_EQ(read_audio(path("s.wav"), &back, &err), c.reads >= 0) << c.frames << ": " << err;
    if (c.reads >= 0) EXPECT_EQ(back.frames(), size_t(c.reads));
    else EXPECT_NE(err.find("truncated"), std::string::npos) << err;
  }
}

// No audio: a WAV holds none; FLAC's encoder would write an empty file, which is refused.
TEST_F(Render, NoAudioIsAnEmptyWavButNoFlac) {
  audio_t a;
  a.channels = 2;
  a.samplerate = 44100;
  a.sf_format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  a.ch.assign(2, std::vector<float>());
  std::string err;
  EXPECT_TRUE(write_audio(path("none.wav"), a, sample_format::same, &err)) << err;
  audio_t back;
  EXPECT_TRUE(read_audio(path("none.wav"), &back, &err)) << err;
  EXPECT_EQ(back.frames(), 0u);
  EXPECT_FALSE(write_audio(path("none.flac"), a, sample_format::pcm16, &err));
  EXPECT_EQ(err, path("none.flac") + ": there is no audio, and this format cannot hold none");
  EXPECT_FALSE(exists("none.flac"));
}

// Headers that promise absurd lengths or channel counts, patched into small real files.
TEST_F(Render, AbsurdHeadersFailAtOnceInLittleMemory) {
  audio_t a;
  a.channels = 1;
  a.samplerate = 44100;
  a.sf_format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
  a.ch.assign(1, std::vector<float>(1000, 0.25f));
  std::string err;
  ASSERT_TRUE(write_audio(path("small.flac"), a, sample_format::same, &err)) << err;
  a.sf_format = SF_FORMAT_WAV;
  ASSERT_TRUE(write_audio(path("small.wav"), a, sample_format::pcm16, &err)) << err;
  auto bytes = [this](const std::string& name) {
    std::ifstream f(path(name), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  };
  const std::string flac = bytes("small.flac"), wav = bytes("small.wav");
  ASSERT_EQ(flac.compare(0, 4, "fLaC"), 0);
  // STREAMINFO, the first block: after sizes, 64 bits of rate (20), channels - 1 (3),
  // bits - 1 (5) and frames (36).
  auto streaminfo = [&](int channels, uint64_t frames) {
    std::string b = flac;
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = v << 8 | static_cast<uint8_t>(b[18 + i]);
    v = (v & ~(7ull << 41 | ((1ull << 36) - 1))) | uint64_t(channels - 1) << 41 | frames;
    for (int i = 7; i >= 0; --i, v >>= 8) b[18 + i] = static_cast<char>(v);
    return b;
  };
  auto le = [](std::string b, size_t at, uint32_t v, int n) {
    for (int i = 0; i < n; ++i, v >>= 8) b[at + i] = static_cast<char>(v);
    return b;
  };
  const size_t data = wav.find("data") + 4;
  const std::string wide_wav = le(le(le(wav, 22, 8, 2), 28, 8 * 2 * 44100, 4), 32, 8 * 2, 2);
  const struct {
    const char* name;
    std::string bytes;
    const char* mentions;
  } cases[] = {
      {"long.flac", streaminfo(1, (1ull << 36) - 1), "truncated"},
      {"wide.flac", streaminfo(8, 268435455), "8 channels"},
      {"long.wav", le(wav, data, 0x7ffffff0, 4), "truncated"},
      {"wide.wav", wide_wav, "8 channels"},
  };
#ifdef __SANITIZE_ADDRESS__
  const std::string limit;  // the sanitizer's shadow needs far more address space
#else
  const std::string limit = "ulimit -v 300000; ";
#endif
  for (const auto& c : cases) {
    std::ofstream(path(c.name), std::ios::binary) << c.bytes;
    const cli_result_t r = run({"render", c.name, "o.wav"}, {}, limit);
    EXPECT_EQ(r.status, 1) << c.name;
    EXPECT_NE(r.err.find(c.mentions), std::string::npos) << r.err;
    EXPECT_EQ(r.err_lines(), 1) << r.err;
    EXPECT_FALSE(exists("o.wav"));
  }
  // From standard input, the message names it, not the temporary copy.
  const cli_result_t r = run({"render", "-", "o.wav"}, {}, "exec <long.flac; ");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "quillmar: standard input: the file is truncated (1000 of 68719476735 frames could be read)\n");
  // A streamed FLAC that did not know its length (0) is read whole.
  std::ofstream(path("streamed.flac"), std::ios::binary) << streaminfo(1, 0);
  EXPECT_EQ(run({"render", "streamed.flac", "o.flac"}).status, 0);
}

// A small strict JSON checker: true when the whole text is one valid JSON value.
struct json_checker {
  const std::string& s;
  size_t i = 0;
  void ws() { while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i; }
  bool lit(const char* w) {
    const size_t n = std::strlen(w);
    if (s.compare(i, n, w) != 0) return false;
    i += n;
    return true;
  }
  bool str() {
    if (s[i] != '"') return false;
    for (++i; i < s.size() && s[i] != '"'; ++i) {
      if (static_cast<unsigned char>(s[i]) < 0x20) return false;
      if (s[i] == '\\') ++i;
    }
    return i++ < s.size();
  }
  bool number() {
    const size_t start = i;
    if (s[i] == '-') ++i;
    while (i < s.size() && (std::isdigit(static_cast<unsigned char>(s[i])) || s[i] == '.' ||
                            s[i] == 'e' || s[i] == 'E' || s[i] == '+' || s[i] == '-'))
      ++i;
    return i > start && std::isdigit(static_cast<unsigned char>(s[i - 1]));
  }
  bool value() {
    ws();
    if (i >= s.size()) return false;
    const char c = s[i];
    bool ok;
    if (c == '{' || c == '[') {
      const char close = c == '{' ? '}' : ']';
      ++i;
      ws();
      if (s[i] == close) {
        ++i;
        return true;
      }
      do {
        ws();
        if (c == '{') {
          if (!str()) return false;
          ws();
          if (s[i++] != ':') return false;
        }
        if (!value()) return false;
        ws();
      } while (s[i] == ',' && ++i);
      ok = s[i++] == close;
    } else if (c == '"') ok = str();
    else if (c == 't' || c == 'f' || c == 'n') ok = lit("true") || lit("false") || lit("null");
    else ok = number();
    return ok;
  }
  bool whole() {
    const bool ok = value();
    ws();
    return ok && i == s.size();
  }
};

TEST_F(Render, InfoListsEveryParameterAndTheLatency) {
  cli_result_t r = run({"info"});
  ASSERT_EQ(r.status, 0);
  int lines = 0;
  for (char c : r.out) lines += c == '\n';
  EXPECT_EQ(lines, 1 + 29 + 4);  // heading, parameters, blank line, latency and its explanation
  EXPECT_NE(r.out.find("Hor. Position"), std::string::npos);
  EXPECT_NE(r.out.find("dB/oct"), std::string::npos);
  EXPECT_NE(r.out.find("latency: 838 samples (19.00 ms"), std::string::npos);
  r = run({"info", "--rate", "48000", "--set", "Resolution=2", "--json"});
  ASSERT_EQ(r.status, 0);
  EXPECT_TRUE(json_checker{r.out}.whole()) << r.out;
  size_t entries = 0;
  for (size_t p = 0; (p = r.out.find("\"index\"", p)) != std::string::npos; ++p) ++entries;
  EXPECT_EQ(entries, 29u);
  EXPECT_NE(r.out.find("\"samplerate\": 48000"), std::string::npos);
  EXPECT_NE(r.out.find("\"name\": \"Band A on\""), std::string::npos);
  EXPECT_NE(r.out.find("\"display\": \"on\""), std::string::npos);
  // K = 2231 at 48 kHz and Resolution 2; the block 2230 * 1.5 * 0.1 = 335; N = 2700.
  EXPECT_NE(r.out.find("\"latency_samples\": " + std::to_string(2231 / 2 + 2700 + 1 - 2231)),
            std::string::npos);
  EXPECT_FALSE(json_checker{std::string("{\"a\": [1, 2,]}")}.whole());
}

TEST_F(Render, DemoWritesItsFilesAndASummary) {
  const cli_result_t r = run({"demo", "demo-out"});
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* f : {"demo-input.wav", "demo-output.wav", "demo-state.bin", "demo-editor.png"})
    EXPECT_TRUE(exists(std::string("demo-out/") + f)) << f;
  EXPECT_NE(r.out.find("latency: 838 samples"), std::string::npos);
  EXPECT_NE(r.out.find("8000 Hz"), std::string::npos);
  const audio_t out = read_wav("demo-out/demo-output.wav");
  EXPECT_EQ(out.channels, 2);
  EXPECT_EQ(out.frames(), 441000u);
}

TEST_F(Render, ProgressBarOnRequest) {
  write_wav("in.wav", noise(1, 20000));
  const cli_result_t r = run({"render", "in.wav", "o.wav", "--progress"});
  ASSERT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("100%"), std::string::npos);
  EXPECT_NE(r.err.find("[####"), std::string::npos);
  EXPECT_EQ(run({"render", "in.wav", "o.wav"}).err, "");  // not a terminal: quiet
}

}  // namespace
