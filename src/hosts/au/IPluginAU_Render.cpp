// Rendering: input assessment, the pull of each input once per time stamp, and the block run
// when the last connected output bus is rendered.
#include <cstdio>
#include <cstdlib>

#include "hosts/au/IPluginAU_State.h"

namespace {

// Trace of input assessments on standard error, with QUILLMAR_AU_TRACE set (main thread only).
// mutate: off (a developer's trace, not behaviour)
void TraceInput(int bus, EAUInputType type) {
  static const bool on = std::getenv("QUILLMAR_AU_TRACE") != nullptr;
  if (on)
    std::fprintf(stderr, "AssessInputConnections: input bus %d %s\n", bus,
                 IPluginAU::InputTypeName(type));
}
// mutate: on

// Points the buffers of a list at one block of scratch memory per channel.
void PrepareBufferList(AudioBufferList* list, int nChannels, float* scratch, int blockSize,
                       UInt32 nFrames) {
  list->mNumberBuffers = static_cast<UInt32>(nChannels);
  for (int i = 0; i < nChannels; ++i) {  // mutate: skip relational (one more fills a slot past the count, inside the list's room, that no source reads)
    list->mBuffers[i].mNumberChannels = 1;
    list->mBuffers[i].mDataByteSize = nFrames * sizeof(Float32);
    list->mBuffers[i].mData = scratch + static_cast<size_t>(i) * blockSize;
  }
}

// Pulls one input bus into the scratch memory and hands its channels to the framework.
OSStatus PullInput(IPluginAU* plug, int busIdx, AudioUnitRenderActionFlags* flags,
                   const AudioTimeStamp* ts, UInt32 nFrames) {
  IPluginAU::State& au = plug->AU();
  const BusChannels& bus = au.mInBuses[busIdx];
  const InputBusConnection& in = au.mInBusConnections[busIdx];
  const int n = bus.Channels();
  AudioBufferList* list = au.mInBufList.List();
  PrepareBufferList(list, n, au.mInScratch.data() + bus.mPlugChannelStartIdx * plug->GetBlockSize(),  // mutate: skip arithmetic (the one input bus starts at channel 0: 0 + x, 0 - x and 0 / x alike)
                    plug->GetBlockSize(), nFrames);
  OSStatus r = noErr;
  switch (in.mInputType) {
    case eRenderCallback:
      r = in.mCallback.inputProc(in.mCallback.inputProcRefCon, flags, ts,
                                 static_cast<UInt32>(busIdx), nFrames, list);
      break;
    case eDirectNoFastProc:
      r = AudioUnitRender(in.mUpstreamUnit, flags, ts, static_cast<UInt32>(in.mUpstreamBusIdx),
                          nFrames, list);
      break;
    case eDirectFastProc:
      r = in.mUpstreamRenderProc(in.mUpstreamStorage, flags, ts,
                                 static_cast<UInt32>(in.mUpstreamBusIdx), nFrames, list);
      break;
    default: return noErr;
  }
  if (r != noErr) return r;
  // The source may point the list at its own memory, or give fewer buffers or ones too small
  // for the frames asked for (silence then).
  for (int i = 0; i < n; ++i) {  // mutate: skip relational (one more writes a pointer slot past the channels, which nothing reads)
    const AudioBuffer* b = i < static_cast<int>(list->mNumberBuffers) ? &list->mBuffers[i] : nullptr;
    au.mInPtrs[i] = b && b->mDataByteSize >= nFrames * sizeof(Float32) ? static_cast<float*>(b->mData)
                                                                        : nullptr;
  }
  plug->AttachInputBuffers(bus.mPlugChannelStartIdx, n, au.mInPtrs, static_cast<int>(nFrames));
  return noErr;
}

// A buffer list the output bus can be rendered into: one channel per buffer, each buffer
// either null (the unit supplies memory) or large enough.
bool FitsOutput(const AudioBufferList* list, int nChannels, UInt32 nFrames) {
  if (static_cast<int>(list->mNumberBuffers) < nChannels) return false;
  for (int i = 0; i < nChannels; ++i) {
    const AudioBuffer& b = list->mBuffers[i];
    if (b.mData && (b.mNumberChannels != 1 || b.mDataByteSize < nFrames * sizeof(Float32)))
      return false;
  }
  return true;
}

void NotifyRender(IPluginAU* plug, AudioUnitRenderActionFlags phase,
                  AudioUnitRenderActionFlags hostFlags, const AudioTimeStamp* ts, UInt32 bus,
                  UInt32 nFrames, AudioBufferList* list) {
  plug->AU().mRenderNotify.ForEach(0, [&](AURenderCallback proc, void* refCon) {
    AudioUnitRenderActionFlags flags = hostFlags | phase;
    proc(refCon, &flags, ts, bus, nFrames, list);
  });
}

}  // namespace

void AUAssessInputConnections(IPluginAU* plug) {
  FW_MutexLock lock(plug->GetMutex());
  IPluginAU::State& au = plug->AU();
  for (size_t i = 0; i < au.mInBuses.size(); ++i) {
    BusChannels& bus = au.mInBuses[i];
    InputBusConnection& in = au.mInBusConnections[i];
    // Both are read only with a fast procedure, which sets them.
    in.mUpstreamRenderProc = nullptr;  // mutate: skip (as said)
    in.mUpstreamStorage = nullptr;  // mutate: skip (as said)
    if (in.mUpstreamUnit) {
      AudioUnitRenderProc proc = nullptr;
      UInt32 size = sizeof proc;
      if (AudioUnitGetProperty(in.mUpstreamUnit, kAudioUnitProperty_FastDispatch,
                               kAudioUnitScope_Global, kAudioUnitRenderSelect, &proc,
                               &size) == noErr &&
          proc && size == sizeof proc) {
        in.mUpstreamRenderProc = proc;
        in.mUpstreamStorage = GetComponentInstanceStorage(in.mUpstreamUnit);
        in.mInputType = eDirectFastProc;
      } else {
        in.mInputType = eDirectNoFastProc;
      }
    } else {
      in.mInputType = in.mCallback.inputProc ? eRenderCallback : eNotConnected;
    }
    TraceInput(static_cast<int>(i), in.mInputType);  // mutate: skip (the trace, as above)
    bus.mConnected = in.mInputType != eNotConnected;
    const int n = bus.mConnected ? bus.Channels() : 0;
    plug->SetInputChannelConnections(bus.mPlugChannelStartIdx, n, true);
    plug->SetInputChannelConnections(bus.mPlugChannelStartIdx + n, bus.mNPlugChannels - n, false);  // mutate: skip arithmetic (a count past the channels is clipped to them; the start moves only with a count of 0)
  }
}

OSStatus AURenderProc(void* storage, AudioUnitRenderActionFlags* ioActionFlags,
                      const AudioTimeStamp* ts, UInt32 outputBusIdx, UInt32 nFrames,
                      AudioBufferList* pBufferList) {
  IPluginAU* plug = static_cast<IPluginAU*>(storage);
  if (!plug || !pBufferList) return kAudio_ParamError;
  IPluginAU::State& au = plug->AU();
  if (!au.mActive) return kAudioUnitErr_Uninitialized;
  if (!ts || !(ts->mFlags & kAudioTimeStampSampleTimeValid) ||
      outputBusIdx >= au.mOutBuses.size() || nFrames > static_cast<UInt32>(plug->GetBlockSize()))
    return kAudioUnitErr_InvalidPropertyValue;
  BusChannels& outBus = au.mOutBuses[outputBusIdx];
  const int nOut = outBus.Channels();
  if (!FitsOutput(pBufferList, nOut, nFrames)) return kAudio_ParamError;
  const AudioUnitRenderActionFlags hostFlags = ioActionFlags ? *ioActionFlags : 0;
  NotifyRender(plug, kAudioUnitRenderAction_PreRender, hostFlags, ts, outputBusIdx, nFrames,
               pBufferList);

  if (!(ts->mSampleTime == au.mLastRenderSampleTime)) {
    au.mLastRenderSampleTime = ts->mSampleTime;
    // Only connected buses are pulled.
    for (size_t i = 0; i < au.mInBuses.size(); ++i) {
      if (!au.mInBuses[i].mConnected) continue;
      AudioUnitRenderActionFlags pullFlags = 0;
      const OSStatus r = PullInput(plug, static_cast<int>(i), &pullFlags, ts, nFrames);
      if (r != noErr) {
        au.mLastRenderSampleTime = NAN;  // nothing was pulled for this time stamp
        return r;
      }
    }
  }

  const int first = outBus.mPlugChannelStartIdx;
  if (outBus.mNConnected != nOut) {
    plug->SetOutputChannelConnections(first, nOut, true);
    plug->SetOutputChannelConnections(first + nOut, outBus.mNPlugChannels - nOut, false);  // mutate: skip arithmetic (a count past the channels is clipped to them; the start moves only with a count of 0)
    outBus.mNConnected = nOut;  // mutate: skip (as the condition above)
  }
  outBus.mConnected = true;  // mutate: skip (with Quillmar's one output bus it is the last either way)
  for (int i = 0; i < nOut; ++i) {
    AudioBuffer& b = pBufferList->mBuffers[i];
    if (!b.mData) {
      b.mData = au.mOutScratch.data() + static_cast<size_t>(first + i) * plug->GetBlockSize();
      b.mDataByteSize = nFrames * sizeof(Float32);
    }
    au.mOutPtrs[i] = static_cast<float*>(b.mData);
  }
  plug->AttachOutputBuffers(first, nOut, au.mOutPtrs);

  int lastConnected = 0;  // mutate: skip (the bus rendered is connected: the loop always writes it)
  // The block runs when the last connected output bus is rendered.
  for (size_t i = 0; i < au.mOutBuses.size(); ++i)
    if (au.mOutBuses[i].mConnected) lastConnected = static_cast<int>(i);
  // A bus is connected from its first render on, so the buses after the last connected one were
  // never rendered: their channels are still not connected.
  if (static_cast<int>(outputBusIdx) == lastConnected) {
    const float floatSamples = 0.0f;  // mutate: skip (its value is never read: it picks the overload)
    if (plug->IsBypassed()) plug->PassThroughBuffers(floatSamples, static_cast<int>(nFrames));
    else plug->ProcessBuffers(floatSamples, static_cast<int>(nFrames));
  }
  NotifyRender(plug, kAudioUnitRenderAction_PostRender, hostFlags, ts, outputBusIdx, nFrames,
               pBufferList);
  return noErr;
}
