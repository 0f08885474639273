// When memory for a path cannot be had, the copier ends the run through the
// error line instead of letting an exception escape. Global operator new is
// replaced here so that a test can make the next allocations fail.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "copier/copier.h"
#include "fake_platform.h"
#include "platform/platform.h"

namespace {
// The next allocation fails; the report that follows may allocate again.
bool gFailNextAllocation = false;
}  // namespace

void* operator new(std::size_t size) {
  if (gFailNextAllocation) {
    gFailNextAllocation = false;
    throw std::bad_alloc();
  }
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}

void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }

namespace {

TEST(AllocationTest, JoinWithoutMemoryEndsRunWithReport) {
  fake::Reset();
  const char* longPart =
      "a folder path long enough that no string keeps it inline";
  gFailNextAllocation = true;
  const auto status = fake::RunToExit([&] {
    JoinStrings({longPart, "\\", longPart});
  });
  EXPECT_EQ(status, 1);
  EXPECT_EQ(fake::Output(), "Error whilst allocating memory. Error code: 8\n");
}

TEST(AllocationTest, LastComponentWithoutMemoryEndsRunWithReport) {
  fake::Reset();
  gFailNextAllocation = true;
  const auto status = fake::RunToExit([] {
    ExtractFileName("C:\\folder\\a file name long enough to need the heap.txt");
  });
  EXPECT_EQ(status, 1);
  EXPECT_EQ(fake::Output(), "Error whilst allocating memory. Error code: 8\n");
}

}  // namespace
