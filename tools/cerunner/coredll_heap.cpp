// LocalAlloc and LocalFree over a heap that never reuses an address, so a
// stale pointer or an overrun is caught by CheckHeapAccess.
#include "tools/cerunner/memory_layout.h"
#include "tools/cerunner/simulated_libraries.h"

namespace cerunner {
namespace {

constexpr uint32_t kZeroInit = 0x0040;
constexpr uint32_t kSupportedFlags = kZeroInit;  // LMEM_FIXED (0) or LPTR
constexpr uint32_t kRedZone = 8;
constexpr uint8_t kFreshFill = 0xCD;  // no reliance on fresh memory being zero

}  // namespace

CallResult SimulatedLibraries::LocalAlloc(const Guest& guest) {
  const uint32_t flags = guest.Argument(0).value_or(0);
  const uint32_t bytes = guest.Argument(1).value_or(0);
  TraceLine line("LocalAlloc");
  line.Field("flags", Hex32(flags)).Field("bytes", bytes);
  const uint32_t start = kHeapBase + heap_next_;
  const bool fits = bytes <= kHeapSize - kRedZone - heap_next_;
  if ((flags & ~kSupportedFlags) != 0 || heap_next_ + kRedZone > kHeapSize || !fits) {
    Trace(line.Result("null"));
    return CallResult::Return(0);
  }
  std::vector<uint8_t> fill(bytes, (flags & kZeroInit) != 0 ? 0 : kFreshFill);
  guest.Write(start, fill.data(), fill.size());
  heap_blocks_[start] = bytes;
  heap_next_ = (heap_next_ + bytes + kRedZone + 7) & ~7u;
  Trace(line.Result(Hex32(start)));
  return CallResult::Return(start);
}

CallResult SimulatedLibraries::LocalFree(const Guest& guest) {
  const uint32_t block = guest.Argument(0).value_or(0);
  const bool live = heap_blocks_.erase(block) == 1;
  const uint32_t result = (live || block == 0) ? 0 : block;
  Trace(TraceLine("LocalFree").Field("ptr", Hex32(block)).Result(Hex32(result)));
  return CallResult::Return(result);
}

std::optional<std::string> SimulatedLibraries::CheckHeapAccess(uint32_t address,
                                                               uint32_t size) const {
  if (address < kHeapBase || address - kHeapBase >= kHeapSize) return std::nullopt;
  auto after = heap_blocks_.upper_bound(address);
  if (after != heap_blocks_.begin()) {
    const auto& [start, length] = *std::prev(after);
    if (address - start < length && size <= length - (address - start)) return std::nullopt;
  }
  return "access to " + Hex32(address) + " outside any live LocalAlloc block";
}

uint32_t SimulatedLibraries::heap_in_use() const {
  uint32_t total = 0;
  for (const auto& [start, length] : heap_blocks_) total += length;
  return total;
}

}  // namespace cerunner
