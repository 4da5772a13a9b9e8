// The runner's loader over any file: refused with a reason, or an image whose
// regions, entry point and import slots all lie inside what gets mapped.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "tools/cerunner/memory_layout.h"
#include "tools/cerunner/pe_image.h"

namespace {

using cerunner::ImageRegion;
using cerunner::LoadedImage;

void CheckRegions(const LoadedImage& image) {
  uint64_t previous_end = 0;
  for (const ImageRegion& region : image.regions) {
    FUZZ_CHECK(region.rva % cerunner::kPageSize == 0 && region.size % cerunner::kPageSize == 0);
    FUZZ_CHECK(region.rva >= previous_end);
    previous_end = uint64_t{region.rva} + region.size;
    FUZZ_CHECK(previous_end <= image.memory.size());
  }
}

// Whether bytes [rva, rva + size) lie in one region with all of protection.
bool InRegionWith(const LoadedImage& image, uint64_t rva, uint64_t size, uint32_t protection) {
  const auto holds = [rva, size](const ImageRegion& region) {
    return rva >= region.rva && rva + size <= uint64_t{region.rva} + region.size;
  };
  const auto region = std::find_if(image.regions.begin(), image.regions.end(), holds);
  return region != image.regions.end() && (region->protection & protection) == protection;
}

void CheckImage(LoadedImage& image) {
  FUZZ_CHECK(!image.regions.empty());
  FUZZ_CHECK(image.memory.size() % cerunner::kPageSize == 0);
  FUZZ_CHECK(image.image_base >= cerunner::kLowestProgramBase &&
             image.image_base < cerunner::kProgramBaseLimit);
  FUZZ_CHECK(uint64_t{image.image_base} + image.memory.size() <= cerunner::kMaxImageEnd);
  CheckRegions(image);
  FUZZ_CHECK(InRegionWith(image, image.entry_rva, 1, cerunner::kProtExec));
  FUZZ_CHECK(image.stack_reserve != 0 && image.stack_reserve % cerunner::kPageSize == 0);
  // The stack must not reach down into the phone library's page.
  FUZZ_CHECK(image.stack_reserve <=
             cerunner::kStackTop - cerunner::kPhoneLibraryBase - cerunner::kPhoneLibrarySize);
  // The loader's own table lies inside the image, in a writable section.
  const cerunner::LoaderTable& table = image.loader_table;
  FUZZ_CHECK(uint64_t{table.rva} + table.size <= image.memory.size());
  FUZZ_CHECK(table.size == 0 || InRegionWith(image, table.rva, table.size, cerunner::kProtWrite));
  for (const cerunner::ImageImport& import : image.imports) {
    FUZZ_CHECK(import.name.empty() == import.ordinal.has_value());
    FUZZ_CHECK(uint64_t{import.slot_rva} + 4 <= image.memory.size());
  }
  // Binding writes every slot; a stand-in resolver that lacks one name and
  // one ordinal also takes the refusal path.
  const auto resolve = [](const cerunner::ImageImport& import) -> std::optional<uint32_t> {
    if (import.name == "Sleep" || import.ordinal == 5) return std::nullopt;
    return cerunner::kCoredllBase;
  };
  const std::optional<std::string> unbound = cerunner::BindImports(image, resolve);
  FUZZ_CHECK(!unbound || !unbound->empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::vector<uint8_t> file(data, data + size);
  cerunner::ImageLoad load = cerunner::LoadImage(file);
  if (!load.image) {
    FUZZ_CHECK(!load.refusal.empty());
    return 0;
  }
  FUZZ_CHECK(load.refusal.empty());
  CheckImage(*load.image);
  return 0;
}
