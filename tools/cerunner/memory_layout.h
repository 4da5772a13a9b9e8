// Where the runner places things in the emulated address space. The image
// sits at its base below kMaxImageEnd; everything else lies above it.
#pragma once

#include <cstdint>

#include "tools/cerunner/pe_image.h"

namespace cerunner {

constexpr uint32_t kMaxImageEnd = kProgramBaseLimit + kMaxImageSize;
constexpr uint32_t kHeapBase = 0x02000000;
constexpr uint32_t kHeapSize = 0x00100000;
constexpr uint32_t kArgumentsBase = 0x02800000;
constexpr uint32_t kPhoneLibraryBase = 0x02F00000;  // also its module handle
constexpr uint32_t kGetterAddress = kPhoneLibraryBase;
constexpr uint32_t kSetterAddress = kPhoneLibraryBase + 4;
constexpr uint32_t kStackTop = 0x03800000;
constexpr uint32_t kStackGuard = 0x00010000;   // unmapped, below the stack
constexpr uint32_t kCoredllBase = 0x03F00000;  // its stubs: coredll_exports.h
// Handles the kernel gives out: the process's own (which is also the
// program's instance handle on CE 5) and the pseudo-handle that means "the
// current process". Any value other than the image base would do for the first.
constexpr uint32_t kProcessHandle = 0x0A7F3002;
constexpr uint32_t kCurrentProcess = 0x00000042;
constexpr uint32_t kPhoneLibrarySize = 0x1000;  // its two stubs

}  // namespace cerunner
