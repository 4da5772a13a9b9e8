// Reads a program image as the Windows CE 5 loader does: headers checked,
// sections laid out at their RVAs, the loader's own section table written
// into the image, imports listed for binding. A refusal starts with the
// loader's error code, as the phone would report it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cerunner {

constexpr uint32_t kProtRead = 1;
constexpr uint32_t kProtWrite = 2;
constexpr uint32_t kProtExec = 4;
constexpr uint32_t kPageSize = 0x1000;
// A program without relocations must sit where every process slot has room.
constexpr uint32_t kLowestProgramBase = 0x00010000;
constexpr uint32_t kProgramBaseLimit = 0x00400000;
constexpr uint32_t kMaxImageSize = 16u << 20;

struct ImageRegion {
  std::string name;
  uint32_t rva = 0;
  uint32_t size = 0;  // whole pages
  uint32_t protection = 0;
};

struct ImageImport {
  std::string name;                 // empty when imported by ordinal
  std::optional<uint32_t> ordinal;  // set when imported by ordinal: all 31 bits
  uint32_t slot_rva = 0;            // its entry in the import address table
};

// The loader keeps one record per section (o32_lite: 7 words) after the data
// of the first writable section with room for them, inside the image.
constexpr uint32_t kLoaderRecordSize = 28;
struct LoaderTable {
  uint32_t rva = 0;
  uint32_t size = 0;  // 0 when the loader had to keep it elsewhere
};

// Windows CE 5.01 for Windows Mobile 5 phones, 5.02 for Windows Mobile 6.
struct OsVersion {
  uint16_t major = 5;
  uint16_t minor = 2;
};

struct LoadedImage {
  uint32_t image_base = 0;
  uint32_t entry_rva = 0;
  uint32_t stack_reserve = 0;
  std::vector<uint8_t> memory;  // the whole image as mapped, SizeOfImage bytes
  std::vector<ImageRegion> regions;
  std::vector<ImageImport> imports;
  LoaderTable loader_table;
};

struct ImageLoad {
  std::optional<LoadedImage> image;
  std::string refusal;  // why the loader would not run it
};

ImageLoad LoadImage(const std::vector<uint8_t>& file, OsVersion os = {});

// Writes each import's address into its slot; names the first one that the
// resolver does not know.
using ImportResolver = std::function<std::optional<uint32_t>(const ImageImport& import)>;
std::optional<std::string> BindImports(LoadedImage& image, const ImportResolver& resolve);

}  // namespace cerunner
