#include "tools/cerunner/pe_image.h"

#include <algorithm>
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
constexpr uint32_t kScnDiscardable = 0x02000000;
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
constexpr size_t kFullOptionalHeader = 0xE0;
// From the PE signature: the signature, the file header, a full optional header.
constexpr size_t kSectionTableOffset = 4 + 20 + kFullOptionalHeader;

constexpr char kBadFormat[] = "ERROR_BAD_EXE_FORMAT: ";
constexpr char kOldVersion[] = "ERROR_OLD_WIN_VERSION: ";

// Page protections the loader records for each section (winnt.h values).
constexpr uint32_t kPageReadOnly = 0x02;
constexpr uint32_t kPageReadWrite = 0x04;
constexpr uint32_t kPageExecuteRead = 0x20;
constexpr uint32_t kPageExecuteReadWrite = 0x40;

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

void Put32(std::vector<uint8_t>& memory, size_t at, uint32_t value) {
  for (size_t i = 0; i < 4; ++i) memory[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

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
  uint16_t subsystem_major = 0;
  uint16_t subsystem_minor = 0;
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
  // The CE loader takes the section table from a fixed place; the size the
  // file header gives the optional header plays no part.
  headers.optional = pe + 24;
  headers.sections = pe + kSectionTableOffset;
  if (!file.Has(headers.optional, kFullOptionalHeader)) return "optional header truncated";
  return "";
}

// The loader refuses no subsystem: only a Windows CE GUI image has its
// subsystem version read as the OS it needs, each part kept as a byte; any
// other counts as 1.0.
void ReadSubsystemVersion(Bytes file, Headers& headers) {
  const size_t opt = headers.optional;
  const bool ce_gui = file.U16(opt + kOptSubsystem) == kSubsystemWindowsCeGui;
  headers.subsystem_major = ce_gui ? static_cast<uint8_t>(file.U16(opt + kOptSubsystemVersion)) : 1;
  headers.subsystem_minor =
      ce_gui ? static_cast<uint8_t>(file.U16(opt + kOptSubsystemVersion + 2)) : 0;
}

std::string CheckOptionalHeader(Bytes file, Headers& headers) {
  const size_t opt = headers.optional;
  if (file.U16(opt) != kPe32Magic) return "not a PE32 image";
  ReadSubsystemVersion(file, headers);
  headers.image_base = file.U32(opt + kOptImageBase);
  if (headers.image_base < kLowestProgramBase || headers.image_base >= kProgramBaseLimit ||
      headers.image_base % kPageSize != 0) {
    return "image base " + Hex(headers.image_base) + " is not a page in " +
           Hex(kLowestProgramBase) + ".." + Hex(kProgramBaseLimit);
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
  if (directories > kImportDirectory) {
    headers.import_rva = file.U32(opt + kOptDirectories + 8 * kImportDirectory);
  }
  return "";
}

// What the loader records of a section in its own table.
struct SectionRecord {
  uint32_t virtual_size;
  uint32_t rva;
  uint32_t raw_size;
  uint32_t raw_offset;
  uint32_t characteristics;
};

uint32_t ProtectionOf(uint32_t characteristics) {
  uint32_t protection = 0;
  if ((characteristics & kScnRead) != 0) protection |= kProtRead;
  if ((characteristics & kScnWrite) != 0) protection |= kProtWrite;
  if ((characteristics & kScnExecute) != 0) protection |= kProtExec;
  return protection;
}

uint32_t PageProtectionOf(uint32_t characteristics) {
  const bool write = (characteristics & kScnWrite) != 0;
  if ((characteristics & kScnExecute) != 0) return write ? kPageExecuteReadWrite : kPageExecuteRead;
  return write ? kPageReadWrite : kPageReadOnly;
}

std::string PlaceSections(Bytes file, const Headers& headers, LoadedImage& image,
                          std::vector<SectionRecord>& records) {
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
    const uint32_t characteristics = file.U32(at + 36);
    image.regions.push_back({name, rva, next_free - rva, ProtectionOf(characteristics)});
    records.push_back({size, rva, raw_size, raw_offset, characteristics});
  }
  return "";
}

// The loader moves its table into the first writable, non-discardable
// section whose last page has room after the data (rounded up to 4), and
// counts it into that section's size; without such a section it keeps the
// table in memory of its own, outside the image.
void WriteLoaderTable(std::vector<SectionRecord>& records, LoadedImage& image) {
  const auto size = static_cast<uint32_t>(records.size() * kLoaderRecordSize);
  const auto has_room = [size](const SectionRecord& r) {
    const uint32_t used = ((r.virtual_size + 3) & ~3u) % kPageSize;
    return (r.characteristics & kScnWrite) != 0 && (r.characteristics & kScnDiscardable) == 0 &&
           used != 0 && kPageSize - used >= size;
  };
  const auto host = std::find_if(records.begin(), records.end(), has_room);
  if (host == records.end()) return;
  const uint32_t start = host->rva + ((host->virtual_size + 3) & ~3u);
  host->virtual_size = start - host->rva + size;
  uint32_t at = start;
  for (const SectionRecord& record : records) {
    for (uint32_t word : {record.virtual_size, record.rva, image.image_base + record.rva,
                          PageProtectionOf(record.characteristics), record.characteristics,
                          record.raw_size, record.raw_offset}) {
      Put32(image.memory, at, word);
      at += 4;
    }
  }
  image.loader_table = {start, size};
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
    // Descriptors may share one long list; the cap is on the total, or a
    // small file could make the runner hold billions of imports.
    if (image.imports.size() == kMaxImports) {
      return "more than " + std::to_string(kMaxImports) + " imports";
    }
    ImageImport import;
    import.slot_rva = static_cast<uint32_t>(slot_at);
    if ((entry & kOrdinalFlag) != 0) {
      // CE 5's DoImports (nk/kernel/loader.c) looks up every bit but the
      // flag, so 0x10000 + n is not ordinal n.
      import.ordinal = entry & ~kOrdinalFlag;
    } else {
      const std::optional<std::string> name = memory.Name(static_cast<size_t>(entry) + 2);
      if (!name || name->empty()) return "an import name of " + dll + " is unreadable";
      import.name = *name;
    }
    image.imports.push_back(std::move(import));
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
      // The phone's loader binds other libraries' imports too; this runner
      // simulates COREDLL alone.
      return "imports from " + *dll + "; only COREDLL.dll is simulated here";
    }
    std::string problem = ReadImportsOf(memory, *dll, lookup != 0 ? lookup : slots, slots, image);
    if (!problem.empty()) return problem;
  }
}

// Images older than 2.2 get the loader's 64 KiB whatever they ask for. The
// stack is whole pages, and at most 1 MiB, which keeps it below the
// libraries the runner maps.
uint32_t StackReserve(const Headers& headers) {
  const bool honoured =
      headers.subsystem_major > 2 || (headers.subsystem_major == 2 && headers.subsystem_minor >= 2);
  const uint32_t reserve = honoured ? headers.stack_reserve : 0;
  if (reserve == 0) return kDefaultStackReserve;
  return RoundUpToPage(reserve < kMaxStackReserve ? reserve : kMaxStackReserve);
}

std::string CheckVersion(const Headers& headers, OsVersion os) {
  const bool newer = headers.subsystem_major > os.major ||
                     (headers.subsystem_major == os.major && headers.subsystem_minor > os.minor);
  if (!newer) return "";
  return "needs Windows CE " + std::to_string(headers.subsystem_major) + "." +
         std::to_string(headers.subsystem_minor) + ", newer than the phone's " +
         std::to_string(os.major) + "." + std::to_string(os.minor);
}

}  // namespace

ImageLoad LoadImage(const std::vector<uint8_t>& file_bytes, OsVersion os) {
  const Bytes file{file_bytes.data(), file_bytes.size()};
  Headers headers;
  LoadedImage image;
  std::vector<SectionRecord> records;
  std::string problem = CheckFileHeader(file, headers);
  if (problem.empty()) problem = CheckOptionalHeader(file, headers);
  if (!problem.empty()) return {std::nullopt, kBadFormat + problem};
  problem = CheckVersion(headers, os);
  if (!problem.empty()) return {std::nullopt, kOldVersion + problem};
  image.image_base = headers.image_base;
  image.memory.assign(RoundUpToPage(headers.size_of_image), 0);
  problem = PlaceSections(file, headers, image, records);
  if (problem.empty()) problem = ReadImports(headers, image);
  if (problem.empty() && (headers.entry_rva & 1) != 0) problem = "entry point is in Thumb state";
  image.entry_rva = headers.entry_rva;
  if (problem.empty() && !IsExecutable(image, image.entry_rva)) {
    problem = "entry point " + Hex(image.entry_rva) + " is not in executable code";
  }
  if (!problem.empty()) return {std::nullopt, kBadFormat + problem};
  WriteLoaderTable(records, image);
  image.stack_reserve = StackReserve(headers);
  return {std::move(image), ""};
}

// CE 5's DoImports (nk/kernel/loader.c) fails the load with
// ERROR_BAD_EXE_FORMAT when ResolveImpHintStr or ResolveImpOrd finds no
// export for an import; what COREDLL exports is its export table's.
std::optional<std::string> BindImports(LoadedImage& image, const ImportResolver& resolve) {
  for (const ImageImport& import : image.imports) {
    const std::optional<uint32_t> address = resolve(import);
    if (!address) {
      const std::string what = import.ordinal
                                   ? "COREDLL.dll ordinal " + std::to_string(*import.ordinal)
                                   : "COREDLL.dll!" + import.name;
      return kBadFormat + ("imports " + what) + ", which COREDLL's export table lacks";
    }
    Put32(image.memory, import.slot_rva, *address);
  }
  return std::nullopt;
}

}  // namespace cerunner
