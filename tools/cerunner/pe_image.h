// Reads a program image as the Windows CE loader does: headers checked,
// sections laid out at their RVAs, imports listed for binding by name.
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
constexpr uint32_t kProgramBase = 0x00010000;
constexpr uint32_t kMaxImageSize = 16u << 20;

struct ImageRegion {
  std::string name;
  uint32_t rva = 0;
  uint32_t size = 0;  // whole pages
  uint32_t protection = 0;
};

struct ImageImport {
  std::string name;
  uint32_t slot_rva = 0;  // its entry in the import address table
};

struct LoadedImage {
  uint32_t image_base = 0;
  uint32_t entry_rva = 0;
  uint32_t stack_reserve = 0;
  std::vector<uint8_t> memory;  // the whole image as mapped, SizeOfImage bytes
  std::vector<ImageRegion> regions;
  std::vector<ImageImport> imports;
};

struct ImageLoad {
  std::optional<LoadedImage> image;
  std::string refusal;  // why the loader would not run it
};

ImageLoad LoadImage(const std::vector<uint8_t>& file);

// Writes each import's address into its slot; names the first one that the
// resolver does not know.
using ImportResolver = std::function<std::optional<uint32_t>(std::string_view name)>;
std::optional<std::string> BindImports(LoadedImage& image, const ImportResolver& resolve);

}  // namespace cerunner
