// The loader over damaged copies of the real image: each must be refused
// with a reason, never read out of bounds (the sanitizer build watches).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>

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
    EXPECT_EQ(slot, SimulatedLibraries::ExportAddress(import.name)) << import.name;
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

// Random damage to the headers and import tables may or may not be refused,
// but must always give a defined answer.
TEST(LoadImage, SurvivesRandomDamage) {
  const std::vector<uint8_t> image = DeviceImage();
  std::mt19937 random(20240607);
  for (int round = 0; round < 3000; ++round) {
    std::vector<uint8_t> damaged = image;
    for (int flips = 0; flips < 4; ++flips) {
      const size_t at = random() % std::min<size_t>(damaged.size(), 0x1000);
      damaged[at] = static_cast<uint8_t>(random());
    }
    ImageLoad load = LoadImage(damaged);
    EXPECT_EQ(load.image.has_value(), load.refusal.empty());
    if (load.image) BindImports(*load.image, ArmCoredll);
  }
}

TEST(BindImports, NamesTheImportCoredllLacks) {
  ImageLoad load = LoadImage(DeviceImage());
  ASSERT_TRUE(load.image);
  const auto resolve = [](const ImageImport& import) -> std::optional<uint32_t> {
    if (import.name == "Sleep") return std::nullopt;
    return ArmCoredll(import);
  };
  EXPECT_EQ(BindImports(*load.image, resolve),
            "ERROR_BAD_EXE_FORMAT: imports COREDLL.dll!Sleep, which COREDLL does not export");
}

}  // namespace
}  // namespace cerunner
