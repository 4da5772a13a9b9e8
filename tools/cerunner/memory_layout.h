// Where the runner places things in the emulated address space. The image
// sits at its base below kMaxImageEnd; everything else lies above it.
#pragma once

#include <cstdint>

namespace cerunner {

constexpr uint32_t kMaxImageEnd = 0x01010000;
constexpr uint32_t kHeapBase = 0x02000000;
constexpr uint32_t kHeapSize = 0x00100000;
constexpr uint32_t kArgumentsBase = 0x02800000;
constexpr uint32_t kPhoneLibraryBase = 0x02F00000;  // also its module handle
constexpr uint32_t kGetterAddress = kPhoneLibraryBase;
constexpr uint32_t kSetterAddress = kPhoneLibraryBase + 4;
constexpr uint32_t kStackTop = 0x03800000;
constexpr uint32_t kStackGuard = 0x00010000;  // unmapped, below the stack
constexpr uint32_t kCoredllBase = 0x03F00000;
constexpr uint32_t kReturnTrap = kCoredllBase + 0xFF0;  // lr of the entry point
constexpr uint32_t kStubPageSize = 0x1000;

}  // namespace cerunner
