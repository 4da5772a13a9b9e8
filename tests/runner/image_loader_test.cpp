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
  std::ifstream in(KESTRUM_DEVICE_IMAGE_OS52, std::ios::binary);
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

void Put(std::vector<uint8_t>& file, size_t at, uint32_t value, size_t bytes) {
  for (size_t i = 0; i < bytes; ++i) file[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// The real image's offsets: its optional header, and its section header of
// that name (.text, .rdata, .data, .rsrc).
size_t OptionalHeader(const std::vector<uint8_t>& file) { return Word(file, 60) + 24; }
size_t SectionHeader(const std::vector<uint8_t>& file, const char* name) {
  size_t at = OptionalHeader(file) + 0xE0;
  while (std::strncmp(reinterpret_cast<const char*>(&file[at]), name, 8) != 0) at += 40;
  return at;
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

// The loader reads the subsystem version only of a Windows CE GUI image (9)
// and counts any other as 1.0; it takes the header's stack from 2.2 on.
TEST(LoadImage, TheStackIsTheHeadersFromVersionTwoPointTwo) {
  struct Case {
    uint32_t subsystem, major, minor, stack;
  };
  // Each part of the version is kept as a byte: 0x0102 is 2.
  for (const Case c : {Case{9, 2, 2, 0x20000}, Case{9, 2, 1, 0x10000}, Case{2, 6, 0, 0x10000},
                       Case{9, 0x0102, 2, 0x20000}}) {
    std::vector<uint8_t> file = DeviceImage();
    const size_t optional = OptionalHeader(file);
    Put(file, optional + 68, c.subsystem, 2);
    Put(file, optional + 48, c.major, 2);
    Put(file, optional + 50, c.minor, 2);
    Put(file, optional + 72, 0x20000, 4);  // SizeOfStackReserve
    const ImageLoad load = LoadImage(file);
    ASSERT_TRUE(load.image) << load.refusal;
    EXPECT_EQ(load.image->stack_reserve, c.stack)
        << c.subsystem << " " << c.major << "." << c.minor;
  }
}

// The table goes after the first writable, non-discardable section whose
// last page has room for it; with none, it stays outside the image.
TEST(LoadImage, KeepsItsSectionTableInTheFirstWritableSectionWithRoom) {
  const std::vector<uint8_t> image = DeviceImage();
  const auto table_after = [](const std::vector<uint8_t>& file, const char* section) {
    const size_t header = SectionHeader(file, section);
    return Word(file, header + 12) + ((Word(file, header + 8) + 3) & ~3u);
  };
  const ImageLoad plain = LoadImage(image);
  ASSERT_TRUE(plain.image);
  EXPECT_EQ(plain.image->loader_table.rva, table_after(image, ".data"));

  std::vector<uint8_t> full_page = image;
  Put(full_page, SectionHeader(full_page, ".data") + 8, 0x1000, 4);
  const size_t rsrc = SectionHeader(full_page, ".rsrc");
  Put(full_page, rsrc + 36, Word(full_page, rsrc + 36) | 0x80000000, 4);  // writable
  const ImageLoad moved = LoadImage(full_page);
  ASSERT_TRUE(moved.image) << moved.refusal;
  EXPECT_EQ(moved.image->loader_table.rva, table_after(full_page, ".rsrc"));

  std::vector<uint8_t> discardable = image;
  const size_t data = SectionHeader(discardable, ".data");
  Put(discardable, data + 36, Word(discardable, data + 36) | 0x02000000, 4);
  const ImageLoad none = LoadImage(discardable);
  ASSERT_TRUE(none.image) << none.refusal;
  EXPECT_EQ(none.image->loader_table.size, 0u);
}

// CE 5's CreateNewProc (nk/kernel/loader.c) counts the table into the size
// that its copy records for the section it follows.
TEST(LoadImage, CountsItsSectionTableIntoThatSectionsSize) {
  const std::vector<uint8_t> file = DeviceImage();
  const ImageLoad load = LoadImage(file);
  ASSERT_TRUE(load.image);
  const size_t data = SectionHeader(file, ".data");
  const size_t index = (data - OptionalHeader(file) - 0xE0) / 40;
  const LoaderTable& table = load.image->loader_table;
  const uint32_t recorded = Word(load.image->memory, table.rva + index * kLoaderRecordSize);
  EXPECT_EQ(recorded, ((Word(file, data + 8) + 3) & ~3u) + table.size);
}

// COREDLL's names compare case and all: "sleep" is not Sleep.
TEST(BindImports, NamesTheImportCoredllLacks) {
  ImageLoad load = LoadImage(DeviceImage());
  ASSERT_TRUE(load.image);
  for (ImageImport& import : load.image->imports) {
    if (import.name == "Sleep") import.name = "sleep";
  }
  EXPECT_EQ(BindImports(*load.image, ArmCoredll),
            "ERROR_BAD_EXE_FORMAT: imports COREDLL.dll!sleep, which COREDLL's export table lacks");
}

}  // namespace
}  // namespace cerunner
