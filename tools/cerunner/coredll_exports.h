// COREDLL.dll of Windows CE 5.0 as the phone's loader finds it: the named
// exports and ordinals of wince_facts/coredll_exports_ce5.tsv (CE 5.0's
// coredll.def), and where the runner puts their stubs.
#pragma once

#include <cstdint>
#include <iterator>
#include <optional>
#include <string_view>

#include "tools/cerunner/memory_layout.h"

namespace cerunner {

struct CoredllExport {
  std::string_view name;
  std::optional<uint16_t> ordinal;  // none where the definition leaves it to the linker
};

inline constexpr CoredllExport kCoredllExports[] = {
#include "coredll_exports.inc"
};
constexpr auto kCoredllExportCount = static_cast<uint32_t>(std::size(kCoredllExports));

// One 4-byte stub per export from kCoredllBase, in the table's order; the
// entry point returns to the word after the last.
constexpr uint32_t kReturnTrap = kCoredllBase + 4 * kCoredllExportCount;
constexpr uint32_t kCoredllStubsSize =
    (kReturnTrap + 4 - kCoredllBase + kPageSize - 1) & ~(kPageSize - 1);

}  // namespace cerunner
