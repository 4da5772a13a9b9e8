#include "tools/cerunner/guest.h"

namespace cerunner {
namespace {

constexpr size_t kMaxWideString = 32768;

}  // namespace

uint32_t Guest::Register(int reg) const {
  uint32_t value = 0;
  uc_reg_read(uc_, reg, &value);
  return value;
}

void Guest::SetRegister(int reg, uint32_t value) { uc_reg_write(uc_, reg, &value); }

std::optional<uint32_t> Guest::Argument(int index) const {
  if (index < 4) return Register(UC_ARM_REG_R0 + index);
  uint32_t value = 0;
  const uint32_t slot = Register(UC_ARM_REG_SP) + 4u * static_cast<uint32_t>(index - 4);
  if (!Read(slot, &value, sizeof value)) return std::nullopt;
  return value;
}

bool Guest::Read(uint32_t address, void* out, size_t size) const {
  if (size > UINT32_MAX - address) return false;
  return uc_mem_read(uc_, address, out, size) == UC_ERR_OK;
}

bool Guest::Write(uint32_t address, const void* in, size_t size) const {
  if (size > UINT32_MAX - address) return false;
  return uc_mem_write(uc_, address, in, size) == UC_ERR_OK;
}

bool Guest::IsWritable(uint32_t address, size_t size) const {
  if (size == 0 || size - 1 > UINT32_MAX - address) return false;
  uc_mem_region* regions = nullptr;
  uint32_t count = 0;
  if (uc_mem_regions(uc_, &regions, &count) != UC_ERR_OK) return false;
  bool writable = false;
  const uint64_t last = uint64_t{address} + size - 1;
  for (uint32_t i = 0; i < count; ++i) {
    const bool covers = regions[i].begin <= address && last <= regions[i].end;
    if (covers) writable = (regions[i].perms & UC_PROT_WRITE) != 0;
  }
  uc_free(regions);
  return writable;
}

std::optional<std::u16string> Guest::ReadWideString(uint32_t address) const {
  if (address % 2 != 0) return std::nullopt;
  std::u16string text;
  for (uint32_t at = address; text.size() < kMaxWideString; at += 2) {
    char16_t unit = 0;
    if (!Read(at, &unit, sizeof unit)) return std::nullopt;
    if (unit == 0) return text;
    text += unit;
  }
  return std::nullopt;
}

}  // namespace cerunner
