#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <numeric>
#include <vector>

#include "framework/ByteChunk.h"
#include "test_plug.h"

namespace {

std::vector<int> AllIndices() {
  std::vector<int> all(kTestParams);
  std::iota(all.begin(), all.end(), 0);
  return all;
}

void PutDoubleAt(ByteChunk& chunk, int pos, double value) {
  std::memcpy(chunk.GetBytes() + pos, &value, sizeof value);
}

}  // namespace

TEST(ByteChunk, ShortOrInvalidReadsLeaveTheDestination) {
  ByteChunk chunk;
  const double d = 2.0;
  chunk.Put(&d);
  double out = 42.0;
  EXPECT_EQ(chunk.Get(&out, 1), -1);
  EXPECT_EQ(chunk.Get(&out, -8), -1);
  EXPECT_EQ(chunk.Get(&out, std::numeric_limits<int>::max() - 2), -1);
  EXPECT_EQ(out, 42.0);
}

TEST(ByteChunk, GrowsPastItsGranularityAndAppendsItself) {
  ByteChunk chunk;
  std::vector<uint8_t> bytes(5000);
  for (size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<uint8_t>(k * 7);
  EXPECT_EQ(chunk.PutBytes(bytes.data(), 5000), 5000);
  EXPECT_EQ(chunk.PutChunk(&chunk), 10000);
  EXPECT_EQ(std::memcmp(chunk.GetBytes() + 5000, bytes.data(), 5000), 0);
  EXPECT_EQ(chunk.Resize(3), 3);
  EXPECT_EQ(chunk.Resize(-1), 3);
  EXPECT_EQ(chunk.Resize(5), 5);  // grown again: zeros, not the bytes that were there
  EXPECT_EQ(chunk.GetBytes()[3] | chunk.GetBytes()[4], 0);
  chunk.Clear();
  EXPECT_EQ(chunk.Size(), 0);
}

TEST(ByteChunk, AppendsRefuseNonsenseAndEqualityComparesEveryByte) {
  const uint8_t abc[3] = {'a', 'b', 'c'}, abd[3] = {'a', 'b', 'd'};
  ByteChunk chunk, other;
  EXPECT_EQ(chunk.PutBytes(abc, 3), 3);
  // Nothing appended returns the size as it is; a refusal returns 0 and changes nothing.
  const struct {
    const void* data;
    int size, result;
  } puts[] = {{abc, 0, 3}, {nullptr, 0, 3}, {nullptr, 1, 0}, {abc, -1, 0}};
  for (const auto& p : puts) EXPECT_EQ(chunk.PutBytes(p.data, p.size), p.result) << p.size;
  EXPECT_EQ(chunk.PutChunk(nullptr), 0);
  EXPECT_EQ(chunk.Size(), 3);
  ByteChunk single;  // a single byte is copied too
  EXPECT_EQ(single.PutBytes(abd + 2, 1), 1);
  EXPECT_EQ(single.GetBytes()[0], 'd');
  EXPECT_TRUE(chunk.IsEqual(chunk));
  EXPECT_FALSE(chunk.IsEqual(other));  // a different size
  other.PutBytes(abd, 3);
  EXPECT_FALSE(chunk.IsEqual(other));  // the same size, the last byte differs
  EXPECT_EQ(other.PutChunk(&chunk), 6);
  EXPECT_EQ(std::memcmp(other.GetBytes(), "abdabc", 6), 0);
  other.Resize(3);
  other.GetBytes()[2] = 'c';
  EXPECT_TRUE(chunk.IsEqual(other));
  chunk.Clear();
  EXPECT_TRUE(chunk.IsEqual(ByteChunk()));  // empty, with and without storage
}

TEST(StateChunk, IsTheParameterValuesAsLittleEndianDoubles) {
  TestPlug plug;
  ByteChunk chunk;
  ASSERT_TRUE(plug.SerializeState(&chunk));
  ASSERT_EQ(chunk.Size(), 232);
  const uint8_t one[8] = {0, 0, 0, 0, 0, 0, 0xF0, 0x3F};   // 1.0
  const uint8_t eighty[8] = {0, 0, 0, 0, 0, 0, 0x54, 0x40}; // 80.0
  EXPECT_EQ(std::memcmp(chunk.GetBytes(), one, 8), 0);
  EXPECT_EQ(std::memcmp(chunk.GetBytes() + 64, eighty, 8), 0);
}

TEST(StateChunk, RoundTripIsExact) {
  TestPlug source;
  for (int i = 12; i < kTestParams; ++i) source.GetParam(i)->SetNormalized(0.37);
  ByteChunk chunk;
  ASSERT_TRUE(source.SerializeState(&chunk));

  TestPlug restored;
  for (int i = 0; i < kTestParams; ++i) restored.GetParam(i)->SetNormalized(0.9);
  EXPECT_EQ(restored.UnserializeState(&chunk, 0), 232);
  for (int i = 0; i < kTestParams; ++i)
    EXPECT_EQ(restored.GetParam(i)->Value(), source.GetParam(i)->Value()) << i;
  EXPECT_EQ(restored.GetParam(4)->Value(), 0.000001);
  EXPECT_TRUE(restored.CompareState(chunk.GetBytes(), 0));
  restored.GetParam(17)->Set(restored.GetParam(17)->Value() + 0.001);
  EXPECT_FALSE(restored.CompareState(chunk.GetBytes(), 0));
}

// Values compare equal in single precision up to just under 1e-5 apart.
TEST(StateChunk, ComparedValuesDifferFrom1e5Apart) {
  TestPlug plug;  // parameter 17 is 0
  ByteChunk chunk;
  ASSERT_TRUE(plug.SerializeState(&chunk));
  std::vector<unsigned char> data(chunk.GetBytes(), chunk.GetBytes() + chunk.Size());
  for (float d : {std::nextafter(1e-5f, 0.f), 1e-5f}) {
    const double stored = -double(d);
    std::memcpy(data.data() + 8 * 17, &stored, sizeof stored);
    EXPECT_EQ(plug.CompareState(data.data(), 0), d < 1e-5f) << d;
  }
}

TEST(StateChunk, RestoreCallsOnParamChangeForEveryParameterUnderTheLock) {
  TestPlug source, restored;
  ByteChunk chunk;
  source.SerializeState(&chunk);
  restored.UnserializeState(&chunk, 0);
  EXPECT_EQ(restored.paramChanges, AllIndices());
  EXPECT_TRUE(restored.lockHeldInParamChange);
}

TEST(StateChunk, ReadsFromAStartPosition) {
  TestPlug source, restored;
  source.GetParam(16)->Set(7.25);
  ByteChunk chunk;
  const int32_t header = 1234;
  chunk.Put(&header);
  source.SerializeState(&chunk);
  EXPECT_EQ(restored.UnserializeState(&chunk, 4), 236);
  EXPECT_EQ(restored.GetParam(16)->Value(), 7.25);
}

TEST(StateChunk, AShortChunkRestoresWhatItHoldsAndLeavesTheRest) {
  TestPlug source;
  for (int i = 0; i < kTestParams; ++i) source.GetParam(i)->SetNormalized(0.25);
  ByteChunk full, part;
  source.SerializeState(&full);
  part.PutBytes(full.GetBytes(), 100);  // 12 values and half of the 13th

  TestPlug restored;
  restored.GetParam(12)->Set(5.0);  // band A slope
  restored.GetParam(20)->Set(3.0);
  EXPECT_EQ(restored.UnserializeState(&part, 0), -1);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(restored.GetParam(i)->Value(), source.GetParam(i)->Value());
  EXPECT_EQ(restored.GetParam(12)->Value(), 5.0);  // not a value made up from half a double
  EXPECT_EQ(restored.GetParam(13)->Value(), 0.0);
  EXPECT_EQ(restored.GetParam(20)->Value(), 3.0);
  EXPECT_EQ(restored.paramChanges, AllIndices());
}

TEST(StateChunk, StoredValuesAreClampedAndNonNumbersGiveTheDefault) {
  TestPlug source, restored;
  ByteChunk chunk;
  source.SerializeState(&chunk);
  PutDoubleAt(chunk, 8 * 8, 5.0);                                        // band A freq 5 Hz
  PutDoubleAt(chunk, 8 * 9, std::nan(""));                               // band B freq
  PutDoubleAt(chunk, 8 * 17, std::numeric_limits<double>::infinity());   // overall gain
  PutDoubleAt(chunk, 8 * 21, -std::numeric_limits<double>::infinity());  // gamma
  restored.GetParam(9)->Set(1000);
  restored.GetParam(17)->Set(-20);
  restored.GetParam(21)->Set(1.9);
  EXPECT_EQ(restored.UnserializeState(&chunk, 0), 232);
  EXPECT_EQ(restored.GetParam(8)->Value(), 20.0);
  EXPECT_EQ(restored.GetParam(9)->Value(), 370.0);
  EXPECT_EQ(restored.GetParam(17)->Value(), 0.0);
  EXPECT_EQ(restored.GetParam(21)->Value(), 1.1);
}

TEST(StateChunk, NoChunkOrDataIsRefused) {
  TestPlug plug;
  EXPECT_FALSE(plug.SerializeState(nullptr));
  EXPECT_EQ(plug.UnserializeState(nullptr, 0), -1);
  EXPECT_FALSE(plug.CompareState(nullptr, 0));
  ByteChunk chunk;
  plug.SerializeState(&chunk);
  EXPECT_TRUE(plug.CompareState(chunk.GetBytes(), 0));
  EXPECT_FALSE(plug.CompareState(chunk.GetBytes(), -1));
  EXPECT_TRUE(plug.paramChanges.empty());
}

TEST(Presets, NoneDeclaredMeansNoneFound) {
  TestPlug plug;
  EXPECT_EQ(plug.NPresets(), 0);
  EXPECT_STREQ(plug.GetPresetName(0), "");
  EXPECT_STREQ(plug.GetPresetName(-1), "");
  EXPECT_FALSE(plug.RestorePreset(0));
  EXPECT_FALSE(plug.RestorePreset(-1));
  EXPECT_FALSE(plug.RestorePreset("empty"));
  EXPECT_FALSE(plug.RestorePreset(""));
  EXPECT_FALSE(plug.RestorePreset(static_cast<const char*>(nullptr)));
  EXPECT_TRUE(plug.paramChanges.empty());
}

TEST(Presets, AnEmptyPresetTakesTheCurrentSettingsThenRestoresThem) {
  TestPlug plug("1-1 2-2", 4);
  auto* gui = new RecordingGraphics();
  plug.AttachGraphics(gui);
  EXPECT_STREQ(plug.GetPresetName(2), "empty");

  plug.GetParam(17)->Set(-12.0);
  ASSERT_TRUE(plug.RestorePreset(1));
  EXPECT_STREQ(plug.GetPresetName(1), "user preset 1");
  EXPECT_EQ(plug.GetCurrentPresetIdx(), 1);
  ASSERT_TRUE(plug.RestorePreset(2));
  EXPECT_STREQ(plug.GetPresetName(2), "user preset 2");

  plug.GetParam(17)->Set(30.0);
  gui->calls.clear();
  ASSERT_TRUE(plug.RestorePreset("user preset 1"));
  EXPECT_EQ(plug.GetParam(17)->Value(), -12.0);
  EXPECT_EQ(plug.GetCurrentPresetIdx(), 1);
  // The editor is shown the plain values.
  ASSERT_EQ(gui->calls.size(), static_cast<size_t>(kTestParams));
  EXPECT_EQ(gui->calls[17].idx, 17);
  EXPECT_EQ(gui->calls[17].value, -12.0);
  EXPECT_FALSE(gui->calls[17].normalized);

  ASSERT_TRUE(plug.RestorePreset(3));
  ASSERT_TRUE(plug.RestorePreset(2));
  plug.PruneUninitializedPresets();  // the current preset keeps its place in the shorter list
  EXPECT_EQ(plug.NPresets(), 3);
  EXPECT_STREQ(plug.GetPresetName(0), "user preset 1");
  EXPECT_STREQ(plug.GetPresetName(1), "user preset 2");
  EXPECT_STREQ(plug.GetPresetName(2), "user preset 3");
  EXPECT_EQ(plug.GetCurrentPresetIdx(), 1);
  plug.GetParam(17)->Set(30.0);
  ASSERT_TRUE(plug.RestorePreset("user preset 1"));  // the first of the list is found too
  EXPECT_EQ(plug.GetParam(17)->Value(), -12.0);
}
