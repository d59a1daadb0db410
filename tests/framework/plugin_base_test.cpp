#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <string>
#include <thread>

#include "framework/FW_Mutex.h"
#include "test_plug.h"

TEST(Identity, RateAndLatencyRefuseNonsense) {
  TestPlug plug;
  plug.SetSampleRate(96000);
  plug.SetSampleRate(std::nan(""));
  plug.SetSampleRate(-48000);
  plug.SetSampleRate(1e-310);  // a sample would last longer than any time can count
  EXPECT_EQ(plug.GetSampleRate(), 96000.0);
  plug.SetLatency(1234);
  EXPECT_EQ(plug.GetLatency(), 1234);
  plug.SetLatency(-5);
  EXPECT_EQ(plug.GetLatency(), 0);
}

TEST(Versions, PartsDecimalAndText) {
  char text[32];
  IPluginBase::GetVersionStr(65536, text, sizeof text);
  EXPECT_STREQ(text, "v1.0.0");
  IPluginBase::GetVersionStr(0x00020A03, text, sizeof text);
  EXPECT_STREQ(text, "v2.10.3");
  EXPECT_EQ(IPluginBase::GetDecimalVersion(0x00010203), 10203);
  int major = 0, minor = 0, patch = 0;
  IPluginBase::GetVersionParts(0xFFFF0102, &major, &minor, &patch);
  EXPECT_EQ(major, 0xFFFF);
  EXPECT_EQ(minor, 1);
  EXPECT_EQ(patch, 2);
  TestPlug plug;
  EXPECT_EQ(plug.GetEffectVersion(false), 65536);
  EXPECT_EQ(plug.GetEffectVersion(true), 10000);
}

TEST(Hosts, KnownNamesAreFoundByPartAnyCase) {
  EXPECT_EQ(LookUpHost("REAPER"), kHostReaper);
  EXPECT_EQ(LookUpHost("Logic Pro X"), kHostLogic);
  EXPECT_EQ(LookUpHost("auvaltool"), kHostAuval);
  EXPECT_EQ(LookUpHost("Some Host"), kHostUnknown);
  EXPECT_EQ(LookUpHost(nullptr), kHostUnknown);
  TestPlug plug;
  plug.SetHost("Ardour", 0x00080C00);
  EXPECT_EQ(plug.GetHost(), kHostArdour);
  EXPECT_EQ(plug.GetHostVersion(true), 81200);
}

TEST(Graphics, AttachingShowsNormalisedValuesPreparesAndOwns) {
  bool destroyed = false;
  {
    TestPlug plug;
    plug.AttachGraphics(nullptr);
    EXPECT_EQ(plug.GetGUI(), nullptr);
    auto* gui = new RecordingGraphics(&destroyed);
    plug.GetParam(9)->SetNormalized(0.5);
    plug.AttachGraphics(gui);
    EXPECT_EQ(plug.GetGUI(), gui);
    EXPECT_TRUE(gui->prepared);
    ASSERT_EQ(gui->calls.size(), static_cast<size_t>(kTestParams));
    EXPECT_EQ(gui->calls[9].idx, 9);
    EXPECT_DOUBLE_EQ(gui->calls[9].value, 0.5);
    EXPECT_TRUE(gui->calls[9].normalized);
  }
  EXPECT_TRUE(destroyed);
}

TEST(ParameterFromGUI, SetsTellsTheHostThenNotifies) {
  TestPlug plug;
  plug.SetParameterFromGUI(19, 0.6);  // "Colour", 0..2: rounds to 1
  EXPECT_EQ(plug.GetParam(19)->Value(), 1.0);
  ASSERT_EQ(plug.hostChanges.size(), 1u);
  EXPECT_EQ(plug.hostChanges[0].first, 19);
  EXPECT_DOUBLE_EQ(plug.hostChanges[0].second, 0.5);
  EXPECT_EQ(plug.paramChanges, std::vector<int>{19});
  EXPECT_TRUE(plug.lockHeldInParamChange);

  plug.SetParameterFromGUI(19, std::nan(""));
  plug.SetParameterFromGUI(99, 0.5);
  EXPECT_EQ(plug.hostChanges.size(), 1u);
  EXPECT_EQ(plug.paramChanges.size(), 1u);
}

TEST(RecursiveLock, TheOwnerMayTakeItAgain) {
  FW_Mutex mutex;
  mutex.Lock();
  mutex.Lock();
  EXPECT_TRUE(mutex.TryLock());
  mutex.Unlock();
  mutex.Unlock();
  EXPECT_TRUE(mutex.IsLockedByThisThread());
  bool otherGotIt = true;
  std::thread([&] { otherGotIt = mutex.TryLock(); }).join();
  EXPECT_FALSE(otherGotIt);
  mutex.Unlock();
  EXPECT_FALSE(mutex.IsLockedByThisThread());
  std::thread([&] {
    otherGotIt = mutex.TryLock();
    if (otherGotIt) mutex.Unlock();
  }).join();
  EXPECT_TRUE(otherGotIt);
}

TEST(RecursiveLock, AnotherThreadsUnlockIsIgnored) {
  FW_Mutex mutex;
  mutex.Lock();
  std::thread([&] { mutex.Unlock(); }).join();
  EXPECT_TRUE(mutex.IsLockedByThisThread());
  bool otherGotIt = true;
  std::thread([&] { otherGotIt = mutex.TryLock(); }).join();
  EXPECT_FALSE(otherGotIt);
  mutex.Unlock();
}

TEST(RecursiveLock, ExcludesOtherThreads) {
  FW_Mutex mutex;
  long counter = 0;  // not atomic: only the lock keeps the increments whole
  auto work = [&] {
    for (int k = 0; k < 20000; ++k) {
      FW_MutexLock outer(mutex);
      FW_MutexLock inner(mutex);
      counter = counter + 1;
    }
  };
  std::thread a(work), b(work);
  a.join();
  b.join();
  EXPECT_EQ(counter, 40000);
}
