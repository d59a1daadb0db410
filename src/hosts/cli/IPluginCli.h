// The command-line host's adapter: an offline host with no transport, no automation and no
// other listener. It records what a host would be told, so the program can report it.
#pragma once
#include <atomic>
#include <vector>

#include "framework/IPluginBase.h"

class IPluginCli : public IPluginBase {
 public:
  IPluginCli(int nParams, const char* channelIOStr, int nPresets, const char* effectName,
             const char* productName, const char* mfrName, int vendorVersion, int uniqueID,
             int mfrID, int latency, bool plugDoesMidi, bool plugDoesChunks, bool plugIsInst);

  // Changes made in the editor (editor thread): recorded while there is room.
  void BeginInformHostOfParamChange(int paramIdx) override { Record('b', paramIdx); }
  void InformHostOfParamChange(int paramIdx, double) override { Record('v', paramIdx); }
  void EndInformHostOfParamChange(int paramIdx) override { Record('e', paramIdx); }
  void InformHostOfProgramChange() override { ++mProgramChanges; }
  bool IsRenderingOffline() override { return true; }
  double GetSamplePos() override { return 0.0; }
  double GetTempo() override { return 0.0; }
  void GetTimeSig(int* pNumerator, int* pDenominator) override;
  void GetTime(ITimeInfo* pTimeInfo) override;
  EHost GetHost() override { return kHostQuillmar; }
  EAPI GetAPI() override { return kAPICommandLine; }
  void ResizeGraphics(int, int) override {}
  void HostSpecificInit() override {}
  bool SendMidiMsg(IMidiMsg*) override { return false; }
  bool SendSysEx(ISysEx*) override { return false; }
  void SetLatency(int samples) override;

  // Every latency the plug-in reported, oldest first (the last is the one in effect).
  const std::vector<int>& LatencyChanges() const { return mLatencyChanges; }
  // The latency in effect, readable on any thread while the audio thread may change it.
  int LatencyNow() const { return mLatencyNow.load(std::memory_order_acquire); }
  int ProgramChanges() const { return mProgramChanges; }
  // What the editor told the host, oldest first: 'b' gesture begins, 'v' value, 'e' ends.
  struct HostEvent {
    char kind;
    int param;
    bool operator==(const HostEvent& o) const { return kind == o.kind && param == o.param; }
  };
  const std::vector<HostEvent>& HostEvents() const { return mHostEvents; }
  void ClearHostEvents() { mHostEvents.clear(); }

 private:
  void Record(char kind, int paramIdx) {
    if (mHostEvents.size() < mHostEvents.capacity()) mHostEvents.push_back({kind, paramIdx});
  }
  std::vector<HostEvent> mHostEvents;
  std::vector<int> mLatencyChanges;
  std::atomic<int> mLatencyNow;
  std::atomic<int> mProgramChanges{0};  // the audio thread reports too
};
