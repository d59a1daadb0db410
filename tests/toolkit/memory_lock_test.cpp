#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/resident.h"
#include "toolkit/util/memory.h"
#include "toolkit/util/mutex.h"

TEST(TrackedMemory, BlocksAreZeroedRecordedAndReleasedTogether) {
  gc_list_t* list = gc_list_create();
  ASSERT_NE(list, nullptr);
  auto* a = static_cast<uint8_t*>(gc_calloc(list, 1000, 8));
  ASSERT_NE(a, nullptr);
  for (int i = 0; i < 8000; ++i) ASSERT_EQ(a[i], 0);
  EXPECT_EQ(list->slot[0], a);

  void* b = gc_calloc(list, 1, 16);
  EXPECT_EQ(list->slot[1], b);
  gc_free(list, a);
  EXPECT_EQ(list->slot[0], nullptr);
  EXPECT_EQ(list->slot[1], b);
  void* c = gc_calloc(list, 1, 16);  // reuses the first empty slot
  EXPECT_EQ(list->slot[0], c);
  gc_cleanup(list);  // the sanitizer build proves b and c are released
}

TEST(TrackedMemory, FreeingAForeignBlockChangesNothing) {
  gc_list_t* list = gc_list_create();
  void* mine = gc_calloc(list, 4, 4);
  void* foreign = std::calloc(4, 4);
  gc_free(list, foreign);
  gc_free(list, nullptr);
  EXPECT_EQ(list->slot[0], mine);
  static_cast<char*>(foreign)[0] = 1;  // still allocated
  std::free(foreign);
  gc_cleanup(list);
}

TEST(TrackedMemory, BlockBeyondTheListIsUsableButUnrecorded) {
  gc_list_t* list = gc_list_create();
  for (int i = 0; i < GC_SLOTS; ++i) ASSERT_NE(gc_calloc(list, 1, 8), nullptr);
  auto* extra = static_cast<double*>(gc_calloc(list, 3, sizeof(double)));
  ASSERT_NE(extra, nullptr);
  EXPECT_EQ(extra[0] + extra[1] + extra[2], 0.0);
  for (void* s : list->slot) EXPECT_NE(s, extra);
  gc_cleanup(list);
  std::free(extra);  // gc_cleanup does not know it
}

TEST(TrackedMemory, OverflowingSizeIsRefused) {
  gc_list_t* list = gc_list_create();
  EXPECT_EQ(gc_calloc(list, SIZE_MAX / 2, 4), nullptr);
  EXPECT_EQ(list->slot[0], nullptr);
  gc_cleanup(list);
}

TEST(TrackedMemory, LargeBlocksGoBackWhenFreedAndCostNothingUntilWritten) {
  // An instance's buffers are large and mostly unused: closing it must give back what it
  // wrote, and the next instance's buffers must not cost their whole size up front.
  const size_t n = 16 << 20;
  gc_list_t* list = gc_list_create();
  gc_free(list, gc_calloc(list, n, 1));  // malloc would raise its mapping threshold here
  auto* a = static_cast<char*>(gc_calloc(list, n, 1));
  for (size_t i = 0; i < n; i += 4096) a[i] = 1;
  void* pin = std::malloc(64);  // would keep a heap block from shrinking away
  const double written = resident_mb();
  gc_free(list, a);
  EXPECT_LT(resident_mb(), written - 12);
  auto* b = static_cast<char*>(gc_calloc(list, n, 1));
  ASSERT_NE(b, nullptr);
  EXPECT_LT(resident_mb(), written - 12);
  EXPECT_EQ(b[0] + b[n / 2] + b[n - 1], 0);
  std::free(pin);
  gc_cleanup(list);
}

TEST(TrackedMemory, DiscardedBlocksReadAsZerosAndGiveTheirPagesBack) {
  const size_t n = 16 << 20;
  gc_list_t* list = gc_list_create();
  auto* big = static_cast<char*>(gc_calloc(list, n, 1));
  auto* small = static_cast<char*>(gc_calloc(list, 100, 1));
  for (size_t i = 0; i < n; i += 512) big[i] = 1;
  big[n - 1] = small[0] = small[99] = 1;
  const double written = resident_mb();
  gc_discard(list, big);
  gc_discard(list, small);
#if defined(__linux__) && !defined(__SANITIZE_ADDRESS__)
  EXPECT_LT(resident_mb(), written - 12);
#else
  (void)written;
#endif
  EXPECT_EQ(big[0] + big[4096] + big[n - 1] + small[0] + small[99], 0);
  big[10] = 2;  // still the caller's to use
  EXPECT_EQ(big[10], 2);
  char foreign[4] = {1, 1, 1, 1};
  gc_discard(list, foreign);  // not recorded: left alone
  EXPECT_EQ(foreign[3], 1);
  gc_cleanup(list);
}

namespace {

constexpr uintptr_t LARGE = uintptr_t(2) << 20;

// The advice the mapping holding address a was given, from the process's map: "hg" (large
// pages wanted), "nh" (none wanted) or "" (neither).
std::string page_advice(const void* a) {
  std::ifstream smaps("/proc/self/smaps");
  std::string line;
  bool inside = false;
  const auto at = reinterpret_cast<uintptr_t>(a);
  while (std::getline(smaps, line)) {
    unsigned long lo, hi;
    if (std::sscanf(line.c_str(), "%lx-%lx ", &lo, &hi) == 2 && line.find(':') > line.find(' ')) inside = lo <= at && at < hi;
    if (!inside || line.rfind("VmFlags:", 0) != 0) continue;
    for (const char* flag : {" hg", " nh"})
      if (line.find(flag) != std::string::npos) return flag + 1;
    return "";
  }
  return "?";
}

}  // namespace

TEST(TrackedMemory, LargeImagesStartOnALargePageAndOnlyWholeStretchesAreAdvised) {
  for (size_t n : {size_t(2) << 20, (size_t(5) << 20) + 123}) {
    auto* z = static_cast<char*>(zeroed_alloc_image(n));
    ASSERT_NE(z, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(z) % LARGE, 0u) << n;
    z[0] = z[n - 1] = 1;  // all of it is the caller's
    zeroed_free(z, n);
  }
  gc_list_t* list = gc_list_create();
  auto* b = static_cast<char*>(gc_calloc_image(list, 6 << 20, 1));
  ASSERT_EQ(reinterpret_cast<uintptr_t>(b) % LARGE, 0u);
  auto* plain = static_cast<char*>(gc_calloc(list, 6 << 20, 1));
  EXPECT_EQ(page_advice(plain), "");  // an instance's buffer: as the system keeps it
  // From a page in to a page short of the end: only the stretch from 2 to 4 MB lies wholly inside.
  mem_expect_written(b + 4096, (6 << 20) - 8192);
  mem_expect_written(nullptr, 1 << 30);  // nothing
  // Small pages elsewhere, even where the system would give large ones unasked.
  EXPECT_EQ(page_advice(b), "nh");
  EXPECT_EQ(page_advice(b + LARGE), "hg");
  EXPECT_EQ(page_advice(b + 2 * LARGE + 4096), "nh");
  for (size_t i = 0; i < (size_t(6) << 20); i += 4096) ASSERT_EQ(b[i], 0);  // still zeros
  gc_cleanup(list);
  // A block to be written whole, freed with free(): advised from its start.
  auto* w = static_cast<char*>(written_alloc(3 << 20));
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(w) % LARGE, 0u);
  EXPECT_EQ(page_advice(w), "hg");
  // Rounded up to whole large pages only where that adds at most a tenth.
  const size_t mb = size_t(1) << 20;
  for (const auto& c : std::vector<std::pair<size_t, size_t>>{
           {0, 0}, {1, 1}, {2 * mb, 2 * mb}, {9 * mb + 1, 9 * mb + 1}, {9 * mb + mb / 10 + 1, 10 * mb}, {10 * mb - 1, 10 * mb}})
    EXPECT_EQ(mem_round_to_large_pages(c.first), c.second) << c.first;
  std::memset(w, 1, 3 << 20);
  std::free(w);
}

TEST(SpinLock, NullLockPrintsItsMessageAndChangesNothing) {
  testing::internal::CaptureStderr();
  mutex_to_1(nullptr);
  mutex_to_0(nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Mutex error 0x0000001B\nMutex error 0x00000025\n");
}

TEST(SpinLock, ExcludesOtherThreadsAndAnyThreadMayRelease) {
  mutex_t lock;
  mutex_init(&lock, 0, 1);
  long counter = 0;
  auto work = [&] {
    for (int i = 0; i < 20000; ++i) {
      mutex_to_1(&lock);
      counter = counter + 1;
      mutex_to_0(&lock);
    }
  };
  std::thread t1(work), t2(work);
  t1.join();
  t2.join();
  EXPECT_EQ(counter, 40000);

  mutex_to_1(&lock);
  std::atomic<bool> got{false};
  std::thread waiter([&] {
    mutex_to_1(&lock);
    got = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(got.load());
  std::thread([&] { mutex_to_0(&lock); }).join();  // released by a third thread
  waiter.join();
  EXPECT_TRUE(got.load());
  mutex_to_0(&lock);
}
