#include "hosts/lv2/IPluginLV2.h"

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

const void* lv2_feature(const LV2_Feature* const* features, const char* uri) {
  for (int i = 0; features && features[i]; ++i)
    if (features[i]->URI && !std::strcmp(features[i]->URI, uri)) return features[i]->data;
  return nullptr;
}

namespace {

uint32_t Bits(float v) {
  uint32_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

// The host's maximum block length from its options, or 0.
int MaxBlockOption(const LV2_Options_Option* options, LV2_URID_Map* map) {
  if (!options || !map) return 0;
  const LV2_URID key = map->map(map->handle, LV2_BUF_SIZE__maxBlockLength);
  const LV2_URID atomInt = map->map(map->handle, LV2_ATOM__Int);
  for (const LV2_Options_Option* o = options; o->key; ++o)
    if (o->key == key && o->type == atomInt && o->size == sizeof(int32_t) && o->value)
      return *static_cast<const int32_t*>(o->value);
  return 0;
}

}  // namespace

IPluginLV2::IPluginLV2(int nParams, const char* channelIOStr, int nPresets,
                       const char* effectName, const char* productName, const char* mfrName,
                       int vendorVersion, int uniqueID, int mfrID, int latency,
                       bool plugDoesMidi, bool plugDoesChunks, bool plugIsInst)
    : IPluginBase(nParams, channelIOStr, nPresets, effectName, productName, mfrName,
                  vendorVersion, uniqueID, mfrID, latency, plugDoesMidi, plugDoesChunks,
                  plugIsInst, kAPILV2),
      mControls(nParams, nullptr),
      mSeen(nParams, std::numeric_limits<float>::quiet_NaN()),
      mFlags(new Flags[nParams]),
      mReported(nParams) {}

void IPluginLV2::InitLV2(int channels, const LV2_Feature* const* features, const char* chunkKeyURI) {
  // The channels beyond the kind's stay unconnected, as the frame makes them.
  mChannels = std::min({channels, NInChannels(), NOutChannels(), int(kMaxAudioPorts)});
  SetInputChannelConnections(0, mChannels, true);
  SetOutputChannelConnections(0, mChannels, true);

  auto* map = static_cast<LV2_URID_Map*>(const_cast<void*>(lv2_feature(features, LV2_URID__map)));
  if (map && chunkKeyURI) {
    mChunkKey = map->map(map->handle, chunkKeyURI);
    mAtomChunk = map->map(map->handle, LV2_ATOM__Chunk);
  }
  const auto* options =
      static_cast<const LV2_Options_Option*>(lv2_feature(features, LV2_OPTIONS__options));
  int maxBlock = MaxBlockOption(options, map);
  if (maxBlock <= 0) maxBlock = kDefaultMaxBlock;
  // Scratch buffers for the longest call the host announced; longer calls run in pieces.
  SetBlockSize(std::min<int>(maxBlock, kMaxBlockSize));
}

void IPluginLV2::ConnectPort(uint32_t port, void* data) {
  float* p = static_cast<float*>(data);
  const int nParams = NParams();
  if (port < static_cast<uint32_t>(nParams)) {
    mControls[port] = p;
  } else if (port == LatencyPort(nParams)) {
    mLatencyPort = p;
  } else {
    for (int ch = 0; ch < mChannels; ++ch) {
      if (port == AudioInPort(nParams, ch)) mAudioIn[ch] = p;
      if (port == AudioOutPort(nParams, mChannels, ch)) mAudioOut[ch] = p;
    }
  }
}

void IPluginLV2::Activate() { ApplyControlPorts(true); }

void IPluginLV2::Run(uint32_t nFrames) {
  ApplyControlPorts(false);
  // The frame counts in int; a longer call (beyond any real host's) runs in parts.
  const uint32_t kPart = static_cast<uint32_t>(std::numeric_limits<int>::max());
  for (uint32_t done = 0; done < nFrames;) {
    const uint32_t n = std::min(nFrames - done, kPart);  // mutate: skip arithmetic (only a call of more frames than an int counts has a second part)
    float* in[kMaxAudioPorts] = {};
    float* out[kMaxAudioPorts] = {};
    for (int ch = 0; ch < mChannels; ++ch) {
      in[ch] = mAudioIn[ch] ? mAudioIn[ch] + done : nullptr;  // mutate: skip arithmetic (only a call of more frames than an int counts has a second part)
      out[ch] = mAudioOut[ch] ? mAudioOut[ch] + done : nullptr;  // mutate: skip arithmetic (only a call of more frames than an int counts has a second part)
    }
    AttachInputBuffers(0, mChannels, in, static_cast<int>(n));
    AttachOutputBuffers(0, mChannels, out);
    ProcessBuffers(0.0f, static_cast<int>(n));  // mutate: skip constant (the value only picks the float form)
    done += n;  // mutate: skip arithmetic (only a call of more frames than an int counts has a second part)
  }
  if (mLatencyPort) *mLatencyPort = static_cast<float>(GetLatency());
}

void IPluginLV2::ApplyControlPorts(bool blocking) {
  // Compared as bits: one load and compare a port on every call; a port that stays NaN is
  // seen once and then costs no more than any other.
  const int nParams = NParams();
  bool changed = false;
  for (int i = 0; i < nParams && !changed; ++i)
    changed = mControls[i] && Bits(*mControls[i]) != Bits(mSeen[i]);
  if (!changed) return;
  if (blocking)
    GetMutex().Lock();
  else if (!GetMutex().TryLock())
    return;  // the main thread holds the parameters: the ports are applied at the next call
  for (int i = 0; i < nParams; ++i) {
    if (!mControls[i]) continue;
    const float v = *mControls[i];
    if (Bits(v) == Bits(mSeen[i])) continue;
    const bool firstSeen = std::isnan(mSeen[i]);
    mSeen[i] = v;
    if (!std::isfinite(v)) continue;  // a value that is not a number: ignored
    // The user holds this parameter in the editor: a port value arriving meanwhile is an
    // older one of the editor's own (or automation the gesture overrides).
    if (mFlags[i].grabbed.load(std::memory_order_relaxed)) continue;
    // A new instance keeps what it was built with (the user's preferred display settings)
    // where the host merely shows the declared default.
    if (mFirstSync && firstSeen && v == static_cast<float>(GetParam(i)->GetDefault())) {
      if (v != static_cast<float>(GetParam(i)->Value()))
        mFlags[i].kept.store(true, std::memory_order_relaxed);
      continue;
    }
    ApplyPort(i, v);
  }
  GetMutex().Unlock();
}

double IPluginLV2::PortToValue(int i, float v) const {
  const IParam* p = GetParam(i);
  double value = v;
  if (p->Type() == IParam::kTypeBool) value = v > 0.0f ? p->GetMax() : p->GetMin();  // lv2:toggled: above 0 is on
  return std::min(std::max(value, p->GetMin()), p->GetMax());
}

void IPluginLV2::ApplyPort(int i, float v) {
  IParam* p = GetParam(i);
  const double value = PortToValue(i, v);
  // A port that shows the parameter's value to single precision changes nothing, so the
  // exact values of a restored chunk or of the editor survive the host's ports.
  if (static_cast<float>(p->Value()) == static_cast<float>(value)) return;
  p->Set(value);
  OnParamChange(i);
}

void IPluginLV2::Unsee() {
  std::fill(mSeen.begin(), mSeen.end(), std::numeric_limits<float>::quiet_NaN());
  mFirstSync = false;
  for (int i = 0; i < NParams(); ++i) mFlags[i].kept.store(false);  // the restored state decides
}

LV2_State_Status IPluginLV2::SaveState(LV2_State_Store_Function store, LV2_State_Handle handle) {
  if (!mChunkKey || !store) return LV2_STATE_ERR_NO_FEATURE;
  ByteChunk chunk;
  if (!SerializeState(&chunk)) return LV2_STATE_ERR_UNKNOWN;
  return store(handle, mChunkKey, chunk.GetBytes(), static_cast<size_t>(chunk.Size()),
               mAtomChunk, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

LV2_State_Status IPluginLV2::RestoreState(LV2_State_Retrieve_Function retrieve,
                                          LV2_State_Handle handle) {
  if (!mChunkKey || !retrieve) return LV2_STATE_ERR_NO_FEATURE;
  // mutate: off (the host sets them whenever it returns data; unread otherwise)
  size_t size = 0;
  uint32_t type = 0, flags = 0;
  // mutate: on
  const void* data = retrieve(handle, mChunkKey, &size, &type, &flags);
  Unsee();
  if (!data) return LV2_STATE_SUCCESS;
  if (type != mAtomChunk) return LV2_STATE_ERR_BAD_TYPE;
  const size_t expected = sizeof(double) * NParams();
  ByteChunk chunk;
  chunk.PutBytes(data, static_cast<int>(std::min(size, expected)));
  UnserializeState(&chunk, 0);
  if (size == expected) return LV2_STATE_SUCCESS;
  std::fprintf(stderr,
               "%s: saved state of %zu bytes (a state is %zu): restored %zu parameters, kept "
               "the others\n",
               GetEffectName(), size, expected, std::min(size, expected) / sizeof(double));
  return LV2_STATE_ERR_UNKNOWN;
}

void IPluginLV2::GetTimeSig(int* pNumerator, int* pDenominator) {
  if (pNumerator) *pNumerator = 0;
  if (pDenominator) *pDenominator = 0;
}

void IPluginLV2::GetTime(ITimeInfo* pTimeInfo) {
  if (pTimeInfo) *pTimeInfo = ITimeInfo();
}
