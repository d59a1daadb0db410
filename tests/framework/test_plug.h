// A plug-in for the framework tests: the product's 29 parameters, a host that records what it
// is told, and a processing hook the tests can watch.
#pragma once
#include <cmath>
#include <cstdio>
#include <functional>
#include <utility>
#include <vector>

#include "framework/IGraphics.h"
#include "framework/IPluginBase.h"

enum { kTestParams = 29 };

constexpr int FourCC(const char (&c)[5]) { return c[0] << 24 | c[1] << 16 | c[2] << 8 | c[3]; }

class TestPlug : public IPluginBase {
 public:
  explicit TestPlug(const char* channels = "1-1 2-2", int nPresets = 0)
      : IPluginBase(kTestParams, channels, nPresets, "Quillmar", "", "Merrowind", 65536,
                    FourCC("Qmrl"), FourCC("Mrwd"), 65536, false, false, false, kAPICommandLine) {
    InitParams();
  }

  // The band parameters and the rest, as the product declares them.
  void InitParams() {
    const double gainMin = -(60.0 + 20.0 / std::log(10.0));
    const double vrange = 60.0 + 10.0 / std::log(10.0);
    const double freqs[4] = {80, 370, 1700, 8000};
    char name[32];
    for (int b = 0; b < 4; ++b) {
      std::snprintf(name, sizeof name, "Band %c on", 'A' + b);
      GetParam(b)->InitBool(name, true);
      std::snprintf(name, sizeof name, "Band %c gain", 'A' + b);
      GetParam(4 + b)->InitDouble(name, 0.000001, gainMin, 60, 0.01, "dB");
      std::snprintf(name, sizeof name, "Band %c freq", 'A' + b);
      GetParam(8 + b)->InitDouble(name, freqs[b], 20, 20000, 0.01, "Hz");
      GetParam(8 + b)->SetShape(3);
      std::snprintf(name, sizeof name, "Band %c slope", 'A' + b);
      GetParam(12 + b)->InitDouble(name, 0, -100, 100, 0.01, "dB/oct");
    }
    GetParam(16)->InitDouble("Transpose", 0, -120, 120, 0.01, "semitones");
    GetParam(17)->InitDouble("Overall Gain", 0, -60, 60, 0.01, "dB");
    GetParam(18)->InitDouble("Gain Scale", 1, -4, 4, 0.01, "x");
    GetParam(19)->InitInt("Colour", 2, 0, 2);
    GetParam(20)->InitDouble("Colour Gain", 1, 0, 40, 0.01, "x");
    GetParam(20)->SetShape(4);
    GetParam(21)->InitDouble("Gamma", 1.1, 1, 2, 0.01);
    GetParam(22)->InitInt("Interface Size", 1, 0, 2);
    GetParam(23)->InitDouble("Resolution", 1, 0.2, 16, 0.1, "x");
    GetParam(23)->SetShape(2);
    GetParam(24)->InitDouble("Input Buffer Size", 0.2, 0, 6, 0.1, "x");
    GetParam(24)->SetShape(2);
    GetParam(25)->InitDouble("Limiter", 0, -30, 60, 0.01, "dB");
    GetParam(26)->InitDouble("Vert. Range", vrange, 3, vrange, 0.01, "dB");
    GetParam(26)->SetShape(2);
    GetParam(27)->InitDouble("Hor. Zoom", 1, 1, 10, 0.001, "x");
    GetParam(27)->SetShape(2);
    GetParam(28)->InitDouble("Hor. Position", 0.5, 0, 1, 0.000001);
  }

  // What the framework told the plug-in and the host.
  std::vector<int> paramChanges;
  std::vector<std::pair<int, double>> hostChanges;
  std::vector<std::pair<char, int>> gestures;  // 'b' begin, 'e' end, with the parameter
  bool lockHeldInParamChange = true;
  // Replaces the default processing when set.
  std::function<void(double**, double**, int)> process;

  void OnParamChange(int idx) override {
    lockHeldInParamChange = lockHeldInParamChange && GetMutex().IsLockedByThisThread();
    paramChanges.push_back(idx);
  }
  void ProcessDoubleReplacing(double** in, double** out, int nFrames) override {
    if (process)
      process(in, out, nFrames);
    else
      IPluginBase::ProcessDoubleReplacing(in, out, nFrames);
  }

  void BeginInformHostOfParamChange(int idx) override { gestures.emplace_back('b', idx); }
  void InformHostOfParamChange(int idx, double normalized) override {
    hostChanges.emplace_back(idx, normalized);
  }
  void EndInformHostOfParamChange(int idx) override { gestures.emplace_back('e', idx); }
  void InformHostOfProgramChange() override {}
  bool IsRenderingOffline() override { return true; }
  double GetSamplePos() override { return 0.0; }
  double GetTempo() override { return 0.0; }
  void GetTimeSig(int* num, int* den) override { *num = *den = 0; }
  void GetTime(ITimeInfo* info) override { *info = ITimeInfo(); }
  EHost GetHost() override { return GetIdentifiedHost(); }
  EAPI GetAPI() override { return GetAPIKind(); }
  void ResizeGraphics(int, int) override {}
  void HostSpecificInit() override {}
  bool SendMidiMsg(IMidiMsg*) override { return false; }
  bool SendSysEx(ISysEx*) override { return false; }
};

// A graphics context that only records what the plug-in sends it.
class RecordingGraphics : public IGraphics {
 public:
  struct Call {
    int idx;
    double value;
    bool normalized;
  };
  explicit RecordingGraphics(bool* destroyed = nullptr) : IGraphics(nullptr, 0, 0), mDestroyed(destroyed) {}
  ~RecordingGraphics() override {
    if (mDestroyed) *mDestroyed = true;
  }
  void SetParameterFromPlug(int idx, double value, bool normalized) override {
    calls.push_back({idx, value, normalized});
  }
  void PrepDraw() override { prepared = true; }

  std::vector<Call> calls;
  bool prepared = false;

 private:
  bool* mDestroyed;
};
