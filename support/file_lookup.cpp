#include "support/file_lookup.h"

#include <algorithm>
#include <vector>

namespace kestrum {
namespace {

char16_t FoldCase(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
  if (c >= 0xFF41 && c <= 0xFF5A) return static_cast<char16_t>(c - 0x20);
  return c;
}

bool HasExtension(std::u16string_view name) {
  const std::size_t dot = name.rfind(u'.');
  return dot != std::u16string_view::npos && name.find(u'\\', dot) == std::u16string_view::npos;
}

// The places LoadLibraryW looks for the name, in no order (file_lookup.h).
std::vector<std::u16string> LibraryPlaces(std::u16string_view name,
                                          std::u16string_view program_path) {
  const std::u16string file = LibraryFileName(name);
  if (file.empty()) return {};
  if (file.starts_with(u'\\')) return {file};
  const std::u16string program_folder(program_path.substr(0, program_path.rfind(u'\\') + 1));
  return {program_folder + file.substr(file.rfind(u'\\') + 1), u"\\Windows\\" + file, u"\\" + file};
}

}  // namespace

bool SameFileName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

std::u16string LibraryFileName(std::u16string_view name) {
  if (name.empty() || name.ends_with(u'\\')) return {};  // no file to look for
  if (name.ends_with(u'.')) return std::u16string(name.substr(0, name.size() - 1));
  std::u16string file(name);
  if (!HasExtension(name)) file += u".dll";
  return file;
}

bool LoadsLibraryAt(std::u16string_view name, std::u16string_view program_path,
                    std::u16string_view library_path) {
  const std::vector<std::u16string> places = LibraryPlaces(name, program_path);
  return std::any_of(places.begin(), places.end(), [library_path](const auto& place) {
    return SameFileName(place, library_path);
  });
}

}  // namespace kestrum
