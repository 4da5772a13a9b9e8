// The loader over the real image and cut copies of it: each cut must be
// refused with a reason, never read out of bounds (the sanitizer build
// watches; fuzz_pe_loader tries damage of every other kind).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "tools/cerunner/pe_image.h"
#include "tools/cerunner/simulated_libraries.h"

namespace cerunner {
namespace {

std::vector<uint8_t> DeviceImage() {
  std::ifstream in(KESTRUM_DEVICE_IMAGE, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::optional<uint32_t> ArmCoredll(const ImageImport& import) {
  return SimulatedLibraries::Resolve(import, false);
}

uint32_t Word(const std::vector<uint8_t>& memory, size_t at) {
  uint32_t word = 0;
  std::memcpy(&word, &memory[at], sizeof word);
  return word;
}

TEST(LoadImage, BindsEveryImportOfTheRealImageToADistinctStub) {
  ImageLoad load = LoadImage(DeviceImage());
  ASSERT_TRUE(load.image) << load.refusal;
  EXPECT_EQ(load.image->image_base, 0x00010000u);
  ASSERT_FALSE(BindImports(*load.image, ArmCoredll));
  std::vector<uint32_t> bound;
  for (const ImageImport& import : load.image->imports) {
    const uint32_t slot = Word(load.image->memory, import.slot_rva);
    EXPECT_EQ(slot, ArmCoredll(import)) << import.name;
    bound.push_back(slot);
  }
  std::sort(bound.begin(), bound.end());
  EXPECT_EQ(std::adjacent_find(bound.begin(), bound.end()), bound.end());
}

TEST(LoadImage, RefusesEveryTruncation) {
  const std::vector<uint8_t> image = DeviceImage();
  for (size_t size = 0; size + 1 < image.size(); size += 7) {
    const std::vector<uint8_t> cut(image.begin(), image.begin() + static_cast<long>(size));
    const ImageLoad load = LoadImage(cut);
    EXPECT_FALSE(load.image) << "truncated to " << size;
    EXPECT_FALSE(load.refusal.empty());
  }
}

// COREDLL's names compare case and all: "sleep" is not Sleep.
TEST(BindImports, NamesTheImportCoredllLacks) {
  ImageLoad load = LoadImage(DeviceImage());
  ASSERT_TRUE(load.image);
  for (ImageImport& import : load.image->imports) {
    if (import.name == "Sleep") import.name = "sleep";
  }
  EXPECT_EQ(BindImports(*load.image, ArmCoredll),
            "ERROR_BAD_EXE_FORMAT: imports COREDLL.dll!sleep, which COREDLL does not export");
}

}  // namespace
}  // namespace cerunner
