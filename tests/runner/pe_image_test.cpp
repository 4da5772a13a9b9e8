// The loader over small hand-made images, for limits the real image is far
// from reaching.
#include "tools/cerunner/pe_image.h"

#include <gtest/gtest.h>

#include <cstring>

namespace cerunner {
namespace {

constexpr uint32_t kCodeRva = 0x1000;
constexpr uint32_t kCodeSize = 0x5000;
constexpr uint32_t kImportsRva = kCodeRva + kCodeSize;
constexpr uint32_t kFileAlignment = 0x200;
constexpr uint32_t kDllNameRva = kCodeRva + 0x10;
constexpr uint32_t kHintNameRva = kCodeRva + 0x20;
constexpr uint32_t kLookupRva = kCodeRva + 0x100;

void Put16(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  bytes[at] = static_cast<uint8_t>(value);
  bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  Put16(bytes, at, value & 0xFFFF);
  Put16(bytes, at + 2, value >> 16);
}

void PutSection(std::vector<uint8_t>& file, size_t at, uint32_t rva, uint32_t size,
                uint32_t raw_offset, uint32_t characteristics) {
  Put32(file, at + 8, size);
  Put32(file, at + 12, rva);
  Put32(file, at + 16, size);
  Put32(file, at + 20, raw_offset);
  Put32(file, at + 36, characteristics);
}

// Code with the COREDLL name and one import list of list_length entries,
// then `descriptors` import descriptors that all point at that one list.
std::vector<uint8_t> ImageSharingOneImportList(uint32_t descriptors, uint32_t list_length) {
  const uint32_t imports_size = descriptors * 20;
  const uint32_t image_size = kImportsRva + ((imports_size + kPageSize - 1) & ~(kPageSize - 1));
  std::vector<uint8_t> file(kFileAlignment + kCodeSize + imports_size);
  file[0] = 'M';
  file[1] = 'Z';
  Put32(file, 60, 64);
  Put32(file, 64, 0x00004550);
  const size_t header = 68, optional = 88, sections = optional + 224;
  Put16(file, header, 0x01C2);
  Put16(file, header + 2, 2);
  Put16(file, header + 16, 224);
  Put16(file, header + 18, 0x0102);
  Put16(file, optional, 0x010B);
  Put32(file, optional + 16, kCodeRva);
  Put32(file, optional + 28, kLowestProgramBase);
  Put32(file, optional + 32, kPageSize);
  Put32(file, optional + 36, kFileAlignment);
  Put16(file, optional + 48, 5);
  Put32(file, optional + 56, image_size);
  Put32(file, optional + 60, kFileAlignment);
  Put16(file, optional + 68, 9);
  Put32(file, optional + 92, 16);
  Put32(file, optional + 104, kImportsRva);
  PutSection(file, sections, kCodeRva, kCodeSize, kFileAlignment, 0x60000020);
  PutSection(file, sections + 40, kImportsRva, imports_size, kFileAlignment + kCodeSize,
             0x40000040);

  const auto code = [](uint32_t rva) { return kFileAlignment + rva - kCodeRva; };
  std::memcpy(&file[code(kDllNameRva)], "COREDLL.dll", 12);
  file[code(kHintNameRva) + 2] = 'A';
  for (uint32_t i = 0; i < list_length; ++i) Put32(file, code(kLookupRva) + 4 * i, kHintNameRva);
  for (uint32_t i = 0; i < descriptors; ++i) {
    const size_t at = kFileAlignment + kCodeSize + 20 * i;
    Put32(file, at, kLookupRva);
    Put32(file, at + 12, kDllNameRva);
    Put32(file, at + 16, kLookupRva);
  }
  return file;
}

TEST(LoadImage, TakesAnImportListWithinTheLimit) {
  const ImageLoad load = LoadImage(ImageSharingOneImportList(2, 100));
  ASSERT_TRUE(load.image) << load.refusal;
  EXPECT_EQ(load.image->imports.size(), 200u);
}

// 20,000 descriptors sharing a list of 4,095 names once made the loader
// collect 82 million imports from a 400 KiB file.
TEST(LoadImage, RefusesImportListsThatAddUpBeyondTheLimit) {
  const ImageLoad load = LoadImage(ImageSharingOneImportList(20000, 4095));
  EXPECT_FALSE(load.image);
  EXPECT_EQ(load.refusal, "ERROR_BAD_EXE_FORMAT: more than 4096 imports");
}

}  // namespace
}  // namespace cerunner
