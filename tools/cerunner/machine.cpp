#include "tools/cerunner/machine.h"

#include <algorithm>
#include <stdexcept>

#include "tools/cerunner/coredll_exports.h"
#include "tools/cerunner/memory_layout.h"

namespace cerunner {
namespace {

constexpr uint32_t kThumbBit = 0x20;
constexpr uint32_t kUserMode = 0x10;
constexpr uint32_t kShowWindow = 5;                   // SW_SHOW
constexpr uint32_t kUndefinedArm = 0xE7F000F0;        // fills ARM stub pages
constexpr uint32_t kUndefinedThumbPair = 0xDEFEDEFE;  // fills Thumb stub pages
constexpr uint64_t kNeverReached = 0xFFFFFFF0;
constexpr uint32_t kScratch = 0xDEAD0000;  // caller-saved registers after a call
constexpr uint32_t kEntrySpOffset = 12;    // keeps sp = 4 (mod 8), as the platform gives

struct StubArea {
  uint32_t base;
  uint32_t size;
};
constexpr StubArea kStubAreas[] = {{kPhoneLibraryBase, kPhoneLibrarySize},
                                   {kCoredllBase, kCoredllStubsSize}};

// LDRD/STRD (ARM, immediate or register offset): cond 000P U?W0 ... 11x1.
bool IsDoublewordTransfer(uint32_t word) {
  const bool extra_transfer = (word & 0x0E100090) == 0x00000090;
  const uint32_t op = (word >> 5) & 3;
  return extra_transfer && (op == 2 || op == 3) && (word & 0xF0000000) != 0xF0000000;
}

std::string Describe(uc_mem_type type) {
  switch (type) {
    case UC_MEM_READ_UNMAPPED:
      return "read of unmapped memory";
    case UC_MEM_WRITE_UNMAPPED:
      return "write to unmapped memory";
    case UC_MEM_FETCH_UNMAPPED:
      return "execution of unmapped memory";
    case UC_MEM_WRITE_PROT:
      return "write to read-only memory";
    case UC_MEM_READ_PROT:
      return "read of unreadable memory";
    case UC_MEM_FETCH_PROT:
      return "execution outside the image's code";
    default:
      return "invalid memory access";
  }
}

Machine* Self(void* user_data) { return static_cast<Machine*>(user_data); }

void ImageInstructionHook(uc_engine*, uint64_t address, uint32_t, void* self) {
  Self(self)->OnImageInstruction(static_cast<uint32_t>(address));
}

void LibraryCallHook(uc_engine*, uint64_t address, uint32_t, void* self) {
  Self(self)->OnLibraryCall(static_cast<uint32_t>(address));
}

void AccessHook(uc_engine*, uc_mem_type type, uint64_t address, int size, int64_t, void* self) {
  Self(self)->OnAccess(type == UC_MEM_WRITE, static_cast<uint32_t>(address), size);
}

bool InvalidAccessHook(uc_engine*, uc_mem_type type, uint64_t address, int, int64_t, void* self) {
  Self(self)->OnInvalidAccess(type, static_cast<uint32_t>(address));
  return false;
}

void ExceptionHook(uc_engine*, uint32_t number, void* self) { Self(self)->OnException(number); }

bool InvalidInstructionHook(uc_engine*, void*) { return false; }

}  // namespace

Machine::Machine(const LoadedImage& image, const PhoneSetup& setup)
    : image_(image), setup_(setup), libraries_(setup) {}

Machine::~Machine() {
  if (uc_ != nullptr) uc_close(uc_);
}

// The loader admits only images that the layout has room for, so a set-up
// that fails is the runner's own inconsistency, never the program's doing.
RunReport Machine::Run() {
  const uc_err problem = Setup();
  if (problem != UC_ERR_OK) {
    throw std::logic_error(std::string("cannot set up the emulator: ") + uc_strerror(problem));
  }
  const uint32_t entry = image_.image_base + image_.entry_rva;
  Finish(uc_emu_start(uc_, entry, kNeverReached, 0, 0));
  report_.manner_mode = libraries_.manner_mode();
  report_.virtual_ms = libraries_.clock_ms();
  report_.heap_in_use = libraries_.heap_in_use();
  report_.trace = libraries_.trace();
  report_.stack_high_water = initial_sp_ - std::min(lowest_stack_access_, initial_sp_);
  return report_;
}

// The CPU model must be chosen before any memory is mapped.
uc_err Machine::Setup() {
  uc_err problem = uc_open(UC_ARCH_ARM, UC_MODE_ARM, &uc_);
  if (problem != UC_ERR_OK) return problem;
  problem = uc_ctl_set_cpu_model(uc_, UC_CPU_ARM_PXA270);
  guest_ = Guest(uc_);
  if (problem == UC_ERR_OK) problem = MapImage();
  if (problem == UC_ERR_OK) problem = MapRuntime();
  if (problem == UC_ERR_OK) problem = AddHooks();
  if (problem == UC_ERR_OK) SetEntryRegisters();
  return problem;
}

// The bytes, if any, are written at the region's start.
uc_err Machine::Map(uint64_t address, size_t size, uint32_t protection, const void* bytes,
                    size_t length) {
  const uc_err problem = uc_mem_map(uc_, address, size, protection);
  return problem != UC_ERR_OK || length == 0 ? problem : uc_mem_write(uc_, address, bytes, length);
}

uc_err Machine::MapImage() {
  for (const ImageRegion& region : image_.regions) {
    const uc_err problem = Map(image_.image_base + region.rva, region.size, region.protection,
                               image_.memory.data() + region.rva, region.size);
    if (problem != UC_ERR_OK) return problem;
  }
  return UC_ERR_OK;
}

uc_err Machine::MapRuntime() {
  std::u16string line = setup_.command_line;
  line += u'\0';
  const auto line_bytes = static_cast<uint32_t>(line.size() * 2);
  const uint32_t line_pages = (line_bytes + kPageSize - 1) & ~(kPageSize - 1);
  stack_base_ = kStackTop - image_.stack_reserve;
  const std::vector<uint32_t> fill(std::max(kPhoneLibrarySize, kCoredllStubsSize) / 4,
                                   setup_.thumb_libraries ? kUndefinedThumbPair : kUndefinedArm);
  constexpr uint32_t kData = UC_PROT_READ | UC_PROT_WRITE;
  uc_err problem = Map(kHeapBase, kHeapSize, kData, nullptr, 0);
  if (problem == UC_ERR_OK)
    problem = Map(kArgumentsBase, line_pages, kData, line.data(), line_bytes);
  if (problem == UC_ERR_OK) problem = Map(stack_base_, image_.stack_reserve, kData, nullptr, 0);
  for (const StubArea& area : kStubAreas) {
    if (problem != UC_ERR_OK) break;
    problem = Map(area.base, area.size, UC_PROT_READ | UC_PROT_EXEC, fill.data(), area.size);
  }
  return problem;
}

uc_err Machine::AddHooks() {
  const uint64_t image_start = image_.image_base;
  const uint64_t image_end = image_start + image_.memory.size() - 1;
  uc_err problem = UC_ERR_OK;
  const auto add = [this, &problem](int type, auto* callback, uint64_t begin, uint64_t end) {
    uc_hook hook;
    if (problem == UC_ERR_OK) {
      problem = uc_hook_add(uc_, &hook, type, reinterpret_cast<void*>(callback), this, begin, end);
    }
  };
  add(UC_HOOK_CODE, ImageInstructionHook, image_start, image_end);
  for (const StubArea& area : kStubAreas) {
    add(UC_HOOK_CODE, LibraryCallHook, area.base, uint64_t{area.base} + area.size - 1);
  }
  // begin > end: the hook watches all memory.
  add(UC_HOOK_MEM_READ | UC_HOOK_MEM_WRITE, AccessHook, 1, 0);
  add(UC_HOOK_MEM_INVALID, InvalidAccessHook, 1, 0);
  add(UC_HOOK_INTR, ExceptionHook, 1, 0);
  add(UC_HOOK_INSN_INVALID, InvalidInstructionHook, 1, 0);
  return problem;
}

// WinMain(hInstance, hPrevInstance, lpCmdLine, nShowCmd) as CE 5 calls it:
// the instance is the process handle, the command line is never null. User
// mode, ARM state; a return from the entry ends the primary thread.
void Machine::SetEntryRegisters() {
  initial_sp_ = kStackTop - kEntrySpOffset;
  lowest_stack_access_ = initial_sp_;
  guest_.SetRegister(UC_ARM_REG_CPSR, kUserMode);
  guest_.SetRegister(UC_ARM_REG_R0, kProcessHandle);
  guest_.SetRegister(UC_ARM_REG_R1, 0);
  guest_.SetRegister(UC_ARM_REG_R2, kArgumentsBase);
  guest_.SetRegister(UC_ARM_REG_R3, kShowWindow);
  guest_.SetRegister(UC_ARM_REG_SP, initial_sp_);
  guest_.SetRegister(UC_ARM_REG_LR, kReturnTrap);
}

void Machine::OnImageInstruction(uint32_t address) {
  if (finished_) return;
  if (report_.instructions == setup_.instruction_budget) {
    return Stop("instruction budget of " + std::to_string(setup_.instruction_budget) + " exceeded" +
                At());
  }
  if ((guest_.Register(UC_ARM_REG_CPSR) & kThumbBit) != 0) return Stop("Thumb state" + At());
  ++report_.instructions;
  uint32_t word = 0;
  guest_.Read(address, &word, sizeof word);
  doubleword_transfer_ = IsDoublewordTransfer(word);
  accesses_this_instruction_ = 0;
}

void Machine::OnLibraryCall(uint32_t address) {
  if (finished_) return;
  const uint32_t lr = guest_.Register(UC_ARM_REG_LR);
  if (address == kReturnTrap) {
    return Ended(libraries_.EntryReturned(static_cast<int32_t>(guest_.Register(UC_ARM_REG_R0))));
  }
  const std::string name = libraries_.StubName(address);
  if (name.empty()) return Stop("jump into a library at " + Hex32(address) + ", lr=" + Hex32(lr));
  const bool thumb = (guest_.Register(UC_ARM_REG_CPSR) & kThumbBit) != 0;
  if (thumb != setup_.thumb_libraries) {
    return Stop(name +
                (thumb ? " (ARM code) entered in Thumb state"
                       : " (Thumb code) entered in ARM state: the call did not interwork") +
                ", lr=" + Hex32(lr));
  }
  if ((lr & 1) != 0) return Stop(name + " called with a Thumb return address lr=" + Hex32(lr));
  if (guest_.Register(UC_ARM_REG_SP) % 4 != 0) return Stop(name + " called with sp misaligned");
  const CallResult result = libraries_.Call(address, guest_);
  if (result.kind != CallResult::Kind::kReturn) return Ended(result, ", lr=" + Hex32(lr));
  guest_.SetRegister(UC_ARM_REG_R0, result.value);
  for (int reg : {UC_ARM_REG_R1, UC_ARM_REG_R2, UC_ARM_REG_R3, UC_ARM_REG_R12}) {
    guest_.SetRegister(reg, kScratch | static_cast<uint32_t>(reg));
  }
  // As the callee's bx lr: bit 0 of lr (clear here) selects ARM state.
  guest_.SetRegister(UC_ARM_REG_PC, lr);
}

void Machine::Ended(const CallResult& result, const std::string& where) {
  if (result.kind == CallResult::Kind::kFault) return Stop(result.fault + where);
  exited_ = true;
  report_.exit_status = static_cast<int32_t>(result.value);
  Stop("");
}

void Machine::OnAccess(bool write, uint32_t address, int size) {
  if (finished_) return;
  const auto bytes = static_cast<uint32_t>(size);
  const std::string what = std::to_string(size) + "-byte " + (write ? "write to " : "read of ");
  if (bytes > 1 && address % bytes != 0) return Stop("misaligned " + what + Hex32(address) + At());
  if (doubleword_transfer_ && accesses_this_instruction_ == 0 && address % 8 != 0) {
    return Stop("LDRD/STRD " + what + Hex32(address) + " not 8-byte aligned" + At());
  }
  ++accesses_this_instruction_;
  const LoaderTable& table = image_.loader_table;
  const uint32_t table_start = image_.image_base + table.rva;
  if (write && table.size != 0 && address < table_start + table.size &&
      table_start < address + bytes) {
    return Stop(what + Hex32(address) +
                ": the loader keeps its section table there, past the "
                "section's virtual size" +
                At());
  }
  if (address >= stack_base_ && address < kStackTop) {
    lowest_stack_access_ = std::min(lowest_stack_access_, address);
  }
  const std::optional<std::string> heap_fault = libraries_.CheckHeapAccess(address, bytes);
  if (heap_fault) Stop("heap " + what.substr(0, what.size() - 1) + ": " + *heap_fault + At());
}

void Machine::OnInvalidAccess(uc_mem_type type, uint32_t address) {
  if (finished_) return;
  const bool guard = address < stack_base_ && address >= stack_base_ - kStackGuard;
  Stop((guard ? "stack overflow: " : "") + Describe(type) + " " + Hex32(address) + At());
}

void Machine::OnException(uint32_t number) {
  if (finished_) return;
  uint32_t word = 0;
  const uint32_t pc = guest_.Register(UC_ARM_REG_PC);
  guest_.Read(pc, &word, sizeof word);
  Stop("processor exception " + std::to_string(number) + " (instruction " + Hex32(word) + ")" +
       At());
}

void Machine::Stop(const std::string& why) {
  if (finished_) return;
  finished_ = true;
  report_.message = why;
  uc_emu_stop(uc_);
}

void Machine::Finish(uc_err result) {
  if (!finished_ && result == UC_ERR_INSN_INVALID) {
    uint32_t word = 0;
    guest_.Read(guest_.Register(UC_ARM_REG_PC), &word, sizeof word);
    Stop("undefined or non-ARMv5TE instruction " + Hex32(word) + At());
  }
  if (!finished_ && result != UC_ERR_OK)
    Stop(std::string("emulation failed: ") + uc_strerror(result) + At());
  if (!finished_) Stop("run ended before the process did" + At());
  report_.outcome = exited_ ? RunReport::Outcome::kExited : RunReport::Outcome::kStopped;
}

std::string Machine::At() const { return " at pc=" + Hex32(guest_.Register(UC_ARM_REG_PC)); }

}  // namespace cerunner
