#include "hosts/cli/IPluginCli.h"

IPluginCli::IPluginCli(int nParams, const char* channelIOStr, int nPresets,
                       const char* effectName, const char* productName, const char* mfrName,
                       int vendorVersion, int uniqueID, int mfrID, int latency,
                       bool plugDoesMidi, bool plugDoesChunks, bool plugIsInst)
    : IPluginBase(nParams, channelIOStr, nPresets, effectName, productName, mfrName,
                  vendorVersion, uniqueID, mfrID, latency, plugDoesMidi, plugDoesChunks,
                  plugIsInst, kAPICommandLine),
      mLatencyNow(latency) {
  mLatencyChanges.reserve(64);
  mHostEvents.reserve(4096);
}

void IPluginCli::GetTimeSig(int* pNumerator, int* pDenominator) {
  if (pNumerator) *pNumerator = 0;
  if (pDenominator) *pDenominator = 0;
}

void IPluginCli::GetTime(ITimeInfo* pTimeInfo) {
  if (pTimeInfo) *pTimeInfo = ITimeInfo();
}

void IPluginCli::SetLatency(int samples) {
  IPluginBase::SetLatency(samples);
  mLatencyNow.store(samples, std::memory_order_release);
  // The audio thread may report a latency (a re-sizing); no allocation while there is room.
  if (mLatencyChanges.size() < mLatencyChanges.capacity()) mLatencyChanges.push_back(samples);
  else mLatencyChanges.back() = samples;
}
