// The command-line host's adapter: an offline host with no transport, no automation and no
// other listener. It records what a host would be told, so the program can report it.
#pragma once
#include <vector>

#include "framework/IPluginBase.h"

class IPluginCli : public IPluginBase {
 public:
  IPluginCli(int nParams, const char* channelIOStr, int nPresets, const char* effectName,
             const char* productName, const char* mfrName, int vendorVersion, int uniqueID,
             int mfrID, int latency, bool plugDoesMidi, bool plugDoesChunks, bool plugIsInst);

  void BeginInformHostOfParamChange(int) override {}
  void InformHostOfParamChange(int, double) override {}
  void EndInformHostOfParamChange(int) override {}
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
  int ProgramChanges() const { return mProgramChanges; }

 private:
  std::vector<int> mLatencyChanges;
  int mProgramChanges = 0;
};
