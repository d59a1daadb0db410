// Channel configurations, channel records and the processing frame.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <new>
#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#endif

#include "framework/IPluginBase.h"
#include "framework/sample_convert.h"
#include "toolkit/simd_target.h"

namespace {

// Input i to output i while both exist; the other outputs are zeroed. In place is allowed.
template <class T>
void CopyInputsToOutputs(T** inputs, int nIn, T** outputs, int nOut, int nFrames) {
  if (nFrames <= 0 || !outputs) return;
  const size_t bytes = sizeof(T) * static_cast<size_t>(nFrames);
  for (int i = 0; i < nOut; ++i) {
    if (!outputs[i]) continue;
    if (i < nIn && inputs && inputs[i])
      std::memmove(outputs[i], inputs[i], bytes);
    else
      std::memset(outputs[i], 0, bytes);
  }
}

// A channel count: decimal digits only, at most IPluginBase::kMaxChannels.
bool ReadCount(const char*& p, int* count) {
  if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
  long value = 0;
  while (std::isdigit(static_cast<unsigned char>(*p))) {
    value = value * 10 + (*p++ - '0');
    if (value > IPluginBase::kMaxChannels) return false;
  }
  *count = static_cast<int>(value);
  return true;
}

// Between the host's floats and the plug-in's doubles, four values a step, which the compiler
// turns into vector conversions (a plain loop stays one value at a time at -O2).
template <class From, class To>
void ConvertPlain(const From* src, To* dst, int n) {
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    dst[i] = static_cast<To>(src[i]);
    dst[i + 1] = static_cast<To>(src[i + 1]);
    dst[i + 2] = static_cast<To>(src[i + 2]);
    dst[i + 3] = static_cast<To>(src[i + 3]);
  }
  for (; i < n; ++i) dst[i] = static_cast<To>(src[i]);
}

}  // namespace

void sample_convert::FloatsToDoubles(const float* src, double* dst, int n) { ConvertPlain(src, dst, n); }
void sample_convert::DoublesToFloats(const double* src, float* dst, int n) { ConvertPlain(src, dst, n); }

namespace {

#if defined(__GNUC__) && defined(__x86_64__)
QM_SIMD_PUSH("avx")
// The same with AVX, four conversions an instruction instead of two.
void ConvertAvx(const float* src, double* dst, int n) {
  int i = 0;
  for (; i + 4 <= n; i += 4) _mm256_storeu_pd(dst + i, _mm256_cvtps_pd(_mm_loadu_ps(src + i)));
  for (; i < n; ++i) dst[i] = src[i];
}
void ConvertAvx(const double* src, float* dst, int n) {
  int i = 0;
  for (; i + 4 <= n; i += 4) _mm_storeu_ps(dst + i, _mm256_cvtpd_ps(_mm256_loadu_pd(src + i)));
  for (; i < n; ++i) dst[i] = static_cast<float>(src[i]);
}
QM_SIMD_POP
#endif

template <class From, class To>
void Convert(const From* src, To* dst, int n) {
#if defined(__GNUC__) && defined(__x86_64__)
  typedef void (*fn)(const From*, To*, int);
  static const fn convert = __builtin_cpu_supports("avx") ? fn(ConvertAvx) : fn(ConvertPlain<From, To>);
  convert(src, dst, n);
#else
  ConvertPlain(src, dst, n);  // mutate: skip (not built on x86-64, where the runner runs)
#endif
}

bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// The channels first .. first + n - 1 that exist, as [begin, end).
void ChannelRange(int first, int n, int nChannels, int* begin, int* end) {
  const int64_t b = std::max<int64_t>(first, 0);
  const int64_t e = std::min<int64_t>(static_cast<int64_t>(first) + std::max(n, 0), nChannels);
  *begin = static_cast<int>(std::min<int64_t>(b, nChannels));
  *end = static_cast<int>(std::max<int64_t>(e, *begin));
}

template <class Channel>
void SetConnections(std::vector<Channel>& channels, int idx, int n, bool connected) {
  int begin = 0, end = 0;  // mutate: skip (ChannelRange sets both)
  ChannelRange(idx, n, static_cast<int>(channels.size()), &begin, &end);
  for (int i = begin; i < end; ++i) {
    Channel& ch = channels[i];
    ch.mConnected = connected;
    if (!connected) {
      ch.mHost = nullptr;
      ch.mFloatHost = nullptr;
    }
  }
}

template <class Channel>
void SetHostBuffer(Channel& ch, double* buffer) {
  ch.mHost = buffer;
  ch.mFloatHost = nullptr;
}

template <class Channel>
void SetHostBuffer(Channel& ch, float* buffer) {
  ch.mFloatHost = buffer;
  ch.mHost = nullptr;
}

// Each connected channel in range takes the next buffer of the list.
template <class Channel, class T>
void AttachBuffers(std::vector<Channel>& channels, int idx, int n, T** ppData) {
  if (!ppData) return;
  int begin = 0, end = 0;  // mutate: skip (ChannelRange sets both)
  ChannelRange(idx, n, static_cast<int>(channels.size()), &begin, &end);
  for (int i = begin; i < end; ++i)
    if (channels[i].mConnected) SetHostBuffer(channels[i], *ppData++);
}

template <class Channel>
const char* LabelOf(const std::vector<Channel>& channels, int chIdx) {
  return chIdx >= 0 && chIdx < static_cast<int>(channels.size()) ? channels[chIdx].mLabel.Get()
                                                                  : "";
}

}  // namespace

// Tokens "inputs-outputs" separated by spaces ("1-1 2-2"). A token that is not two counts
// joined by '-', or that asks for more than kMaxChannels, is skipped.
void IPluginBase::ParseChannelIO(const char* channelIOStr) {
  int maxIn = 0, maxOut = 0;
  const char* p = channelIOStr ? channelIOStr : "";
  while (*p) {
    while (IsSpace(*p)) ++p;
    if (!*p) break;
    ChannelIO io = {};
    const bool ok = ReadCount(p, &io.mIn) && *p++ == '-' && ReadCount(p, &io.mOut) &&
                    (!*p || IsSpace(*p));
    if (ok) {
      mChannelIO.push_back(io);
      maxIn = std::max(maxIn, io.mIn);
      maxOut = std::max(maxOut, io.mOut);
    }
    while (*p && !IsSpace(*p)) ++p;
  }
  mInChannels.resize(maxIn);
  mOutChannels.resize(maxOut);
  mInData.assign(maxIn, nullptr);
  mOutData.assign(maxOut, nullptr);
}

bool IPluginBase::GetChannelIO(int idx, int* pNIn, int* pNOut) const {
  if (idx < 0 || idx >= NChannelIO()) return false;
  if (pNIn) *pNIn = mChannelIO[idx].mIn;
  if (pNOut) *pNOut = mChannelIO[idx].mOut;
  return true;
}

bool IPluginBase::LegalIO(int nIn, int nOut) const {
  for (const ChannelIO& io : mChannelIO)
    if ((nIn < 0 || nIn == io.mIn) && (nOut < 0 || nOut == io.mOut)) return true;
  return false;
}

bool IPluginBase::IsInChannelConnected(int chIdx) const {
  return chIdx >= 0 && chIdx < NInChannels() && mInChannels[chIdx].mConnected;
}

bool IPluginBase::IsOutChannelConnected(int chIdx) const {
  return chIdx >= 0 && chIdx < NOutChannels() && mOutChannels[chIdx].mConnected;
}

void IPluginBase::SetInputChannelConnections(int idx, int n, bool connected) {
  SetConnections(mInChannels, idx, n, connected);
}

void IPluginBase::SetOutputChannelConnections(int idx, int n, bool connected) {
  SetConnections(mOutChannels, idx, n, connected);
}

void IPluginBase::SetInputLabel(int chIdx, const char* label) {
  if (chIdx >= 0 && chIdx < NInChannels()) mInChannels[chIdx].mLabel.Set(label);
}

void IPluginBase::SetOutputLabel(int chIdx, const char* label) {
  if (chIdx >= 0 && chIdx < NOutChannels()) mOutChannels[chIdx].mLabel.Set(label);
}

const char* IPluginBase::GetInputLabel(int chIdx) const { return LabelOf(mInChannels, chIdx); }
const char* IPluginBase::GetOutputLabel(int chIdx) const { return LabelOf(mOutChannels, chIdx); }

void IPluginBase::AttachInputBuffers(int idx, int n, double** ppData, int /*nFrames*/) {
  AttachBuffers(mInChannels, idx, n, ppData);
}

void IPluginBase::AttachInputBuffers(int idx, int n, float** ppData, int /*nFrames*/) {
  AttachBuffers(mInChannels, idx, n, ppData);
}

void IPluginBase::AttachOutputBuffers(int idx, int n, double** ppData) {
  AttachBuffers(mOutChannels, idx, n, ppData);
}

void IPluginBase::AttachOutputBuffers(int idx, int n, float** ppData) {
  AttachBuffers(mOutChannels, idx, n, ppData);
}

void IPluginBase::ProcessBuffers(double, int nFrames) { RunFrame(nFrames, false); }
void IPluginBase::ProcessBuffers(float, int nFrames) { RunFrame(nFrames, false); }
void IPluginBase::PassThroughBuffers(double, int nFrames) { RunFrame(nFrames, true); }
void IPluginBase::PassThroughBuffers(float, int nFrames) { RunFrame(nFrames, true); }

void IPluginBase::SilenceConnectedOutputs(int nFrames) {
  for (Channel& ch : mOutChannels) {  // a disconnected channel holds no host buffer
    if (ch.mHost) std::fill(ch.mHost, ch.mHost + nFrames, 0.0);
    if (ch.mFloatHost) std::fill(ch.mFloatHost, ch.mFloatHost + nFrames, 0.0f);
  }
}

// The scratch buffers hold one block, so a longer call runs as consecutive pieces; the
// host's buffers are addressed at the piece's offset, the scratch buffers from their start.
void IPluginBase::RunFrame(int nFrames, bool passThrough) {
  if (nFrames <= 0) return;  // mutate: skip relational (no frames: the loop below runs no piece either)
  if (mBlockSize <= 0) {
    SilenceConnectedOutputs(nFrames);
    return;
  }
  const int nIn = NInChannels(), nOut = NOutChannels();
  for (int done = 0; done < nFrames;) {
    const int n = std::min(mBlockSize, nFrames - done);
    for (int i = 0; i < nIn; ++i) {
      Channel& ch = mInChannels[i];
      double* scratch = ch.mScratch.data();
      if (ch.mConnected && ch.mHost) {
        mInData[i] = ch.mHost + done;
        continue;
      }
      if (ch.mConnected && ch.mFloatHost)
        Convert(ch.mFloatHost + done, scratch, n);
      else
        std::fill(scratch, scratch + n, 0.0);  // a disconnected input is silence
      mInData[i] = scratch;
    }
    for (int i = 0; i < nOut; ++i) {
      Channel& ch = mOutChannels[i];
      mOutData[i] = ch.mConnected && ch.mHost ? ch.mHost + done : ch.mScratch.data();
      // What goes to a host's float buffer starts as silence, so an output the plug-in leaves
      // alone (the second one of a mono input) never replays an earlier call's samples.
      if (ch.mConnected && ch.mFloatHost) std::fill(mOutData[i], mOutData[i] + n, 0.0);
    }
    if (passThrough)
      CopyInputsToOutputs(mInData.data(), nIn, mOutData.data(), nOut, n);
    else
      ProcessDoubleReplacing(mInData.data(), mOutData.data(), n);
    for (Channel& ch : mOutChannels) {
      if (!ch.mConnected || !ch.mFloatHost) continue;
      Convert(ch.mScratch.data(), ch.mFloatHost + done, n);
    }
    done += n;
  }
}

void IPluginBase::ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames) {
  CopyInputsToOutputs(inputs, NInChannels(), outputs, NOutChannels(), nFrames);
}

void IPluginBase::ProcessSingleReplacing(float** inputs, float** outputs, int nFrames) {
  CopyInputsToOutputs(inputs, NInChannels(), outputs, NOutChannels(), nFrames);
}

void IPluginBase::SetBlockSize(int blockSize) {
  if (blockSize == mBlockSize || blockSize < 0 || blockSize > kMaxBlockSize) return;
  // Every new buffer is made before any old one is given up, so running out of memory leaves
  // the previous size working.
  std::vector<std::vector<double>> fresh;
  try {
    fresh.resize(mInChannels.size() + mOutChannels.size(),
                 std::vector<double>(static_cast<size_t>(blockSize), 0.0));
  } catch (const std::bad_alloc&) {
    return;
  }
  size_t k = 0;
  for (size_t i = 0; i < mInChannels.size(); ++i) {
    mInChannels[i].mScratch.swap(fresh[k++]);
  }
  for (size_t i = 0; i < mOutChannels.size(); ++i) {
    mOutChannels[i].mScratch.swap(fresh[k++]);
  }
  mBlockSize = blockSize;
}
