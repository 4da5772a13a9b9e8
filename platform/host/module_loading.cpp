// LoadLibraryW, GetProcAddressW and FreeLibrary over dlopen. The name gets
// the phone's default extension and is looked for where the phone's loader
// looks (support/file_lookup.h) and a host has the place: a path from the
// root there only, any other beside the program by its file name, then a
// bare one by the system's search in place of \Windows and the ROM; never
// in the current folder. Names compare exactly, as Linux file systems do:
// folding case would take a folder scan, and could pick one of two files
// that differ only in case, which a phone cannot hold.
// A module's exports are its export directory's names (export_directory.h),
// not its ELF symbols.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "platform/coredll.h"
#include "platform/host/export_directory.h"
#include "platform/host/trace.h"
#include "support/coredll_answers.h"
#include "support/file_lookup.h"
#include "support/utf16_codec.h"

namespace {

// CE's loader takes a name pointer below 64 Ki as an ordinal; ours have none.
constexpr uintptr_t kOrdinalLimit = 0x10000;

// LoadLibraryW's handles not yet freed, counted: CE 5's loader acts only on a
// module it holds (IsValidModule); dlsym or dlclose on another is undefined.
std::map<void*, unsigned> loaded_modules;

std::optional<std::string> ProgramFolder() {
  std::string path(4096, '\0');
  const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
  if (length <= 0 || static_cast<std::size_t>(length) >= path.size()) return std::nullopt;
  path.resize(static_cast<std::size_t>(length));
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return std::nullopt;
  return path.substr(0, slash + 1);
}

bool IsFile(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 && !S_ISDIR(status.st_mode);
}

void* OpenModule(const std::string& path) {
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) kestrum::WriteToStderr(std::string(dlerror()) + "\n");
  return module;
}

// A file beside the program that fails to load is final, as it would be on
// the phone: falling through could bind a different library of that name.
void* LoadByName(const std::string& name) {
  if (name.empty()) return nullptr;
  if (name.starts_with('/')) return OpenModule(name);
  const std::string file = name.substr(name.rfind('/') + 1);
  const auto folder = ProgramFolder();
  if (folder && IsFile(*folder + file)) return OpenModule(*folder + file);
  return file == name ? dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL) : nullptr;
}

// The CE loader's GetProcAddress compares the name with each export's name
// exactly, case and all; a module without an export directory exports nothing.
FARPROC FindExport(HMODULE module, std::u16string_view name) {
  const auto* entry =
      static_cast<const kestrum::ExportEntry*>(dlsym(module, kestrum::kExportDirectorySymbol));
  for (; entry != nullptr && entry->name != nullptr; ++entry) {
    if (kestrum::Utf16View(entry->name) == name) return reinterpret_cast<FARPROC>(entry->entry);
  }
  return nullptr;
}

}  // namespace

extern "C" HMODULE LoadLibraryW(LPCWSTR lpLibFileName) {
  const auto text = kestrum::Utf16View(lpLibFileName);
  const auto name = kestrum::Utf16ToBytes(kestrum::LibraryFileName(text));
  void* module = name ? LoadByName(*name) : nullptr;
  if (module != nullptr) ++loaded_modules[module];
  kestrum::WriteTrace(
      kestrum::LoadLibraryLine(kestrum::QuotedOrNull(lpLibFileName), module != nullptr));
  return static_cast<HMODULE>(module);
}

extern "C" FARPROC GetProcAddressW(HMODULE hModule, LPCWSTR lpProcName) {
  const auto address = reinterpret_cast<uintptr_t>(lpProcName);
  const bool by_ordinal = address < kOrdinalLimit;
  const bool loaded = loaded_modules.contains(hModule);
  const FARPROC entry =
      loaded && !by_ordinal ? FindExport(hModule, kestrum::Utf16View(lpProcName)) : nullptr;
  kestrum::WriteTrace(kestrum::GetProcAddressLine(
      by_ordinal ? "" : kestrum::QuotedOrNull(lpProcName), static_cast<uint32_t>(address),
      reinterpret_cast<uintptr_t>(hModule), loaded, entry != nullptr));
  return entry;
}

extern "C" BOOL FreeLibrary(HMODULE hLibModule) {
  const bool loaded = loaded_modules.contains(hLibModule);
  if (loaded && --loaded_modules[hLibModule] == 0) loaded_modules.erase(hLibModule);
  const BOOL freed = kestrum::AnswerFreeLibrary(loaded && dlclose(hLibModule) == 0);
  kestrum::WriteTrace(
      kestrum::FreeLibraryLine(reinterpret_cast<uintptr_t>(hLibModule), loaded, freed));
  return freed;
}
