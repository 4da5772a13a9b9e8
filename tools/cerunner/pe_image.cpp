#include "tools/cerunner/pe_image.h"

#include <cstdio>
#include <cstring>

namespace cerunner {
namespace {

constexpr uint16_t kMachineArm = 0x01C0;
constexpr uint16_t kMachineArmThumb = 0x01C2;
constexpr uint16_t kExecutableImage = 0x0002;
constexpr uint16_t kDllImage = 0x2000;
constexpr uint16_t kPe32Magic = 0x010B;
constexpr uint16_t kSubsystemWindowsCeGui = 9;
constexpr uint32_t kScnExecute = 0x20000000;
constexpr uint32_t kScnRead = 0x40000000;
constexpr uint32_t kScnWrite = 0x80000000;
constexpr uint32_t kOrdinalFlag = 0x80000000;
constexpr uint32_t kMaxImports = 4096;
constexpr uint32_t kMaxNameLength = 256;
constexpr uint32_t kDefaultStackReserve = 64u << 10;
constexpr uint32_t kMaxStackReserve = 1u << 20;

// Offsets inside the optional header (PE32).
constexpr size_t kOptEntry = 16;
constexpr size_t kOptImageBase = 28;
constexpr size_t kOptSectionAlign = 32;
constexpr size_t kOptFileAlign = 36;
constexpr size_t kOptSubsystemVersion = 48;
constexpr size_t kOptSizeOfImage = 56;
constexpr size_t kOptSizeOfHeaders = 60;
constexpr size_t kOptSubsystem = 68;
constexpr size_t kOptStackReserve = 72;
constexpr size_t kOptRvaCount = 92;
constexpr size_t kOptDirectories = 96;
constexpr size_t kImportDirectory = 1;

struct Bytes {
  const uint8_t* data;
  size_t size;

  bool Has(size_t offset, size_t length) const { return offset <= size && length <= size - offset; }
  uint16_t U16(size_t offset) const {
    if (!Has(offset, 2)) return 0;
    return static_cast<uint16_t>(data[offset] | data[offset + 1] << 8);
  }
  uint32_t U32(size_t offset) const {
    if (!Has(offset, 4)) return 0;
    uint32_t value = 0;
    for (size_t i = 4; i-- > 0;) value = value << 8 | data[offset + i];
    return value;
  }
  // A NUL-terminated name that ends inside the bytes, or nothing.
  std::optional<std::string> Name(size_t offset) const {
    for (size_t i = 0; i < kMaxNameLength && Has(offset + i, 1); ++i) {
      if (data[offset + i] == 0)
        return std::string(reinterpret_cast<const char*>(data + offset), i);
    }
    return std::nullopt;
  }
};

std::string Hex(uint32_t value, int digits = 8) {
  char buffer[16];
  (void)std::snprintf(buffer, sizeof buffer, "0x%0*x", digits, value);
  return buffer;
}

uint32_t RoundUpToPage(uint32_t value) { return (value + kPageSize - 1) & ~(kPageSize - 1); }

struct Headers {
  size_t optional = 0;  // file offset of the optional header
  size_t sections = 0;  // file offset of the section table
  uint16_t section_count = 0;
  uint32_t image_base = 0;
  uint32_t entry_rva = 0;
  uint32_t section_alignment = 0;
  uint32_t size_of_image = 0;
  uint32_t size_of_headers = 0;
  uint32_t stack_reserve = 0;
  uint32_t import_rva = 0;
};

std::string CheckFileHeader(Bytes file, Headers& headers) {
  if (!file.Has(0, 64) || file.U16(0) != 0x5A4D) return "not an MZ executable";
  const uint32_t pe = file.U32(60);
  if (!file.Has(pe, 24) || file.U32(pe) != 0x00004550) return "no PE signature";
  const uint16_t machine = file.U16(pe + 4);
  if (machine != kMachineArmThumb && machine != kMachineArm) {
    return "machine " + Hex(machine, 4) + " is not ARM (0x01c2 or 0x01c0)";
  }
  headers.section_count = file.U16(pe + 6);
  if (headers.section_count == 0 || headers.section_count > 96) return "bad section count";
  const uint16_t characteristics = file.U16(pe + 22);
  if ((characteristics & kExecutableImage) == 0) return "not marked as an executable image";
  if ((characteristics & kDllImage) != 0) return "a DLL, not a program";
  const uint16_t optional_size = file.U16(pe + 20);
  headers.optional = pe + 24;
  headers.sections = headers.optional + optional_size;
  if (optional_size < kOptDirectories || !file.Has(headers.optional, optional_size)) {
    return "optional header truncated";
  }
  return "";
}

std::string CheckOptionalHeader(Bytes file, Headers& headers) {
  const size_t opt = headers.optional;
  if (file.U16(opt) != kPe32Magic) return "not a PE32 image";
  const uint16_t subsystem = file.U16(opt + kOptSubsystem);
  if (subsystem != kSubsystemWindowsCeGui) {
    return "subsystem " + std::to_string(subsystem) + " is not Windows CE GUI (9)";
  }
  const uint16_t major = file.U16(opt + kOptSubsystemVersion);
  const uint16_t minor = file.U16(opt + kOptSubsystemVersion + 2);
  if (major > 5 || (major == 5 && minor > 2)) {
    return "needs Windows CE " + std::to_string(major) + "." + std::to_string(minor) +
           ", newer than the phone's 5.02";
  }
  headers.image_base = file.U32(opt + kOptImageBase);
  if (headers.image_base != kProgramBase) {
    return "image base " + Hex(headers.image_base) + " is not " + Hex(kProgramBase);
  }
  headers.section_alignment = file.U32(opt + kOptSectionAlign);
  const uint32_t file_alignment = file.U32(opt + kOptFileAlign);
  if (headers.section_alignment == 0 || headers.section_alignment % kPageSize != 0) {
    return "section alignment " + Hex(headers.section_alignment) + " is not whole pages";
  }
  if (file_alignment == 0 || (file_alignment & (file_alignment - 1)) != 0) {
    return "file alignment " + Hex(file_alignment) + " is not a power of two";
  }
  headers.size_of_image = file.U32(opt + kOptSizeOfImage);
  headers.size_of_headers = file.U32(opt + kOptSizeOfHeaders);
  if (headers.size_of_image == 0 || headers.size_of_image > kMaxImageSize) {
    return "image size " + Hex(headers.size_of_image) + " out of range";
  }
  if (headers.size_of_headers > file.size || headers.size_of_headers > headers.size_of_image) {
    return "headers larger than the file or the image";
  }
  if (headers.size_of_headers < headers.sections + size_t{40} * headers.section_count) {
    return "headers do not cover the section table";
  }
  headers.entry_rva = file.U32(opt + kOptEntry);
  headers.stack_reserve = file.U32(opt + kOptStackReserve);
  const uint32_t directories = file.U32(opt + kOptRvaCount);
  const size_t optional_size = headers.sections - opt;
  if (directories > kImportDirectory && optional_size >= kOptDirectories + 16) {
    headers.import_rva = file.U32(opt + kOptDirectories + 8 * kImportDirectory);
  }
  return "";
}

uint32_t ProtectionOf(uint32_t characteristics) {
  uint32_t protection = 0;
  if ((characteristics & kScnRead) != 0) protection |= kProtRead;
  if ((characteristics & kScnWrite) != 0) protection |= kProtWrite;
  if ((characteristics & kScnExecute) != 0) protection |= kProtExec;
  return protection;
}

std::string PlaceSections(Bytes file, const Headers& headers, LoadedImage& image) {
  uint32_t next_free = RoundUpToPage(headers.size_of_headers);
  image.regions.push_back({"headers", 0, next_free, kProtRead});
  std::memcpy(image.memory.data(), file.data, headers.size_of_headers);
  size_t at = headers.sections;
  for (uint16_t i = 0; i < headers.section_count; ++i, at += 40) {
    if (!file.Has(at, 40)) return "section table truncated";
    const std::string name(reinterpret_cast<const char*>(file.data + at),
                           strnlen(reinterpret_cast<const char*>(file.data + at), 8));
    const uint32_t virtual_size = file.U32(at + 8);
    const uint32_t rva = file.U32(at + 12);
    const uint32_t raw_size = file.U32(at + 16);
    const uint32_t raw_offset = file.U32(at + 20);
    const uint32_t size = virtual_size != 0 ? virtual_size : raw_size;
    const bool aligned = headers.section_alignment != 0 && rva % headers.section_alignment == 0;
    if (!aligned || rva < next_free) {
      return "section " + name + " at " + Hex(rva) + " is misplaced or overlaps";
    }
    if (size == 0 || size > headers.size_of_image - rva || rva > headers.size_of_image) {
      return "section " + name + " does not fit the image size";
    }
    const uint32_t copied = raw_size < size ? raw_size : size;
    if (raw_size != 0 && !file.Has(raw_offset, raw_size)) {
      return "section " + name + " runs past the end of the file";
    }
    if (copied != 0) std::memcpy(image.memory.data() + rva, file.data + raw_offset, copied);
    next_free = RoundUpToPage(rva + size);
    image.regions.push_back({name, rva, next_free - rva, ProtectionOf(file.U32(at + 36))});
  }
  return "";
}

bool IsExecutable(const LoadedImage& image, uint32_t rva) {
  for (const ImageRegion& region : image.regions) {
    const bool inside = rva >= region.rva && rva - region.rva < region.size;
    if (inside) return (region.protection & kProtExec) != 0;
  }
  return false;
}

bool SameAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    if (upper(a[i]) != upper(b[i])) return false;
  }
  return true;
}

std::string ReadImportsOf(Bytes memory, const std::string& dll, uint32_t lookup, uint32_t slots,
                          LoadedImage& image) {
  size_t entry_at = lookup;
  size_t slot_at = slots;
  for (uint32_t count = 0;; ++count, entry_at += 4, slot_at += 4) {
    if (count == kMaxImports) return "import list of " + dll + " has no end";
    if (!memory.Has(entry_at, 4) || !memory.Has(slot_at, 4)) {
      return "import list of " + dll + " runs past the image";
    }
    const uint32_t entry = memory.U32(entry_at);
    if (entry == 0) return "";
    if ((entry & kOrdinalFlag) != 0) {
      return "imports " + dll + " ordinal " + std::to_string(entry & 0xFFFF) +
             "; only imports by name are bound";
    }
    const std::optional<std::string> name = memory.Name(static_cast<size_t>(entry) + 2);
    if (!name || name->empty()) return "an import name of " + dll + " is unreadable";
    // Descriptors may share one long list; the cap is on the total, or a
    // small file could make the runner hold billions of imports.
    if (image.imports.size() == kMaxImports) {
      return "more than " + std::to_string(kMaxImports) + " imports";
    }
    image.imports.push_back({*name, static_cast<uint32_t>(slot_at)});
  }
}

std::string ReadImports(const Headers& headers, LoadedImage& image) {
  const Bytes memory{image.memory.data(), image.memory.size()};
  if (headers.import_rva == 0) return "";
  for (uint32_t at = headers.import_rva;; at += 20) {
    if (!memory.Has(at, 20)) return "import directory runs past the image";
    const uint32_t lookup = memory.U32(at);
    const uint32_t name_rva = memory.U32(at + 12);
    const uint32_t slots = memory.U32(at + 16);
    if (name_rva == 0 && slots == 0) return "";
    const std::optional<std::string> dll = memory.Name(name_rva);
    if (!dll) return "an imported library name is unreadable";
    if (!SameAscii(*dll, "COREDLL.dll") && !SameAscii(*dll, "COREDLL")) {
      return "imports from " + *dll + "; only COREDLL.dll is bound at load time";
    }
    std::string problem = ReadImportsOf(memory, *dll, lookup != 0 ? lookup : slots, slots, image);
    if (!problem.empty()) return problem;
  }
}

}  // namespace

ImageLoad LoadImage(const std::vector<uint8_t>& file_bytes) {
  const Bytes file{file_bytes.data(), file_bytes.size()};
  Headers headers;
  LoadedImage image;
  std::string problem = CheckFileHeader(file, headers);
  if (problem.empty()) problem = CheckOptionalHeader(file, headers);
  if (!problem.empty()) return {std::nullopt, problem};
  image.memory.assign(RoundUpToPage(headers.size_of_image), 0);
  problem = PlaceSections(file, headers, image);
  if (problem.empty()) problem = ReadImports(headers, image);
  if (!problem.empty()) return {std::nullopt, problem};
  image.image_base = headers.image_base;
  image.entry_rva = headers.entry_rva;
  if ((image.entry_rva & 1) != 0) return {std::nullopt, "entry point is in Thumb state"};
  if (!IsExecutable(image, image.entry_rva)) {
    return {std::nullopt, "entry point " + Hex(image.entry_rva) + " is not in executable code"};
  }
  const uint32_t reserve = headers.stack_reserve;
  image.stack_reserve =
      reserve == 0 ? kDefaultStackReserve
                   : RoundUpToPage(reserve < kMaxStackReserve ? reserve : kMaxStackReserve);
  return {std::move(image), ""};
}

std::optional<std::string> BindImports(LoadedImage& image, const ImportResolver& resolve) {
  for (const ImageImport& import : image.imports) {
    const std::optional<uint32_t> address = resolve(import.name);
    if (!address) return "imports COREDLL.dll!" + import.name + ", which COREDLL does not provide";
    for (int i = 0; i < 4; ++i) {
      image.memory[import.slot_rva + static_cast<uint32_t>(i)] =
          static_cast<uint8_t>(*address >> (8 * i));
    }
  }
  return std::nullopt;
}

}  // namespace cerunner
