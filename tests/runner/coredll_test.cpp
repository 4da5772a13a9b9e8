// Simulated COREDLL behaviour that the real image does not reach: limits,
// stale handles and the heap checks behind the runner's fault reports.
#include <gtest/gtest.h>

#include "tools/cerunner/memory_layout.h"
#include "tools/cerunner/simulated_libraries.h"

namespace cerunner {
namespace {

constexpr uint32_t kScratch = 0x00100000;  // one writable page for arguments

class Coredll : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(uc_open(UC_ARCH_ARM, UC_MODE_ARM, &uc_), UC_ERR_OK);
    ASSERT_EQ(uc_mem_map(uc_, kScratch, 0x1000, UC_PROT_READ | UC_PROT_WRITE), UC_ERR_OK);
    ASSERT_EQ(uc_mem_map(uc_, kHeapBase, kHeapSize, UC_PROT_READ | UC_PROT_WRITE), UC_ERR_OK);
    guest_ = Guest(uc_);
  }
  void TearDown() override { uc_close(uc_); }

  CallResult Call(const char* name, std::initializer_list<uint32_t> arguments) {
    int reg = UC_ARM_REG_R0;
    for (uint32_t argument : arguments) guest_.SetRegister(reg++, argument);
    ImageImport import;
    import.name = name;
    return coredll_.Call(*SimulatedLibraries::Resolve(import, false), guest_);
  }

  uint32_t PutString(uint32_t at, std::u16string text) {
    guest_.Write(at, text.c_str(), (text.size() + 1) * 2);
    return at;
  }

  PhoneSetup setup_;
  SimulatedLibraries coredll_{setup_};
  uc_engine* uc_ = nullptr;
  Guest guest_{nullptr};
};

TEST_F(Coredll, ModuleFileNameIsTruncatedAndTerminated) {
  EXPECT_EQ(Call("GetModuleFileNameW", {0, kScratch, 5}).value, 4u);
  std::u16string copied(5, u'?');
  guest_.Read(kScratch, copied.data(), 10);
  EXPECT_EQ(copied, setup_.module_path.substr(0, 4) + u'\0');
  EXPECT_EQ(Call("GetModuleFileNameW", {0, kScratch, 0}).value, 0u);
  EXPECT_EQ(Call("GetModuleFileNameW", {0x1234, kScratch, 64}).value, 0u);
  EXPECT_EQ(Call("GetModuleFileNameW", {0, kScratch + 0xFF0, 64}).kind, CallResult::Kind::kFault);
}

// On CE 5 the instance handle is the process handle; the image base is not
// a module handle the kernel knows.
TEST_F(Coredll, ModuleFileNameKnowsTheProcessAndLoadedLibrariesOnly) {
  EXPECT_EQ(Call("GetModuleFileNameW", {kProcessHandle, kScratch, 64}).value,
            setup_.module_path.size());
  EXPECT_EQ(Call("GetModuleFileNameW", {0x00010000, kScratch, 64}).value, 0u);
  EXPECT_EQ(Call("GetModuleFileNameW", {kPhoneLibraryBase, kScratch, 64}).value, 0u);
  ASSERT_EQ(Call("LoadLibraryW", {PutString(kScratch, u"shphonelib.dll")}).value,
            kPhoneLibraryBase);
  EXPECT_EQ(Call("GetModuleFileNameW", {kPhoneLibraryBase, kScratch, 64}).value, 23u);
}

TEST_F(Coredll, OnlyTheProgramsOwnProcessCanBeEnded) {
  EXPECT_EQ(Call("TerminateProcess", {0x1234, 7}).kind, CallResult::Kind::kReturn);
  for (const uint32_t self : {kCurrentProcess, kProcessHandle}) {
    const CallResult result = Call("TerminateProcess", {self, 0xFFFFFFFF});
    EXPECT_EQ(result.kind, CallResult::Kind::kExit);
    EXPECT_EQ(static_cast<int32_t>(result.value), -1);
  }
  EXPECT_EQ(Call("ExitThread", {3}).kind, CallResult::Kind::kExit);
}

TEST_F(Coredll, PhoneLibraryIsUnusableOnceReleased) {
  const uint32_t name = PutString(kScratch, u"SHPHONELIB.DLL");
  ASSERT_EQ(Call("LoadLibraryW", {name}).value, kPhoneLibraryBase);
  EXPECT_EQ(Call("FreeLibrary", {kPhoneLibraryBase}).value, 1u);
  EXPECT_EQ(Call("FreeLibrary", {kPhoneLibraryBase}).value, 0u);
  EXPECT_EQ(coredll_.Call(kGetterAddress, guest_).kind, CallResult::Kind::kFault);
  const uint32_t getter = PutString(kScratch + 64, u"?GetMannerMode@CshphoneClientlib@@SAHXZ");
  EXPECT_EQ(Call("GetProcAddressW", {kPhoneLibraryBase, getter}).value, 0u);
}

TEST_F(Coredll, UnterminatedStringAtTheEndOfMemoryIsAFault) {
  const std::u16string filler(8, u'x');
  guest_.Write(kScratch + 0x1000 - 16, filler.data(), 16);
  EXPECT_EQ(Call("LoadLibraryW", {kScratch + 0x1000 - 16}).kind, CallResult::Kind::kFault);
  EXPECT_EQ(Call("LoadLibraryW", {kScratch + 1}).kind, CallResult::Kind::kFault);
}

TEST_F(Coredll, HeapAccessOutsideLiveBlocksIsReported) {
  const uint32_t block = Call("LocalAlloc", {0x40, 10}).value;
  ASSERT_NE(block, 0u);
  EXPECT_FALSE(coredll_.CheckHeapAccess(block, 4));
  EXPECT_FALSE(coredll_.CheckHeapAccess(block + 8, 2));
  EXPECT_TRUE(coredll_.CheckHeapAccess(block + 8, 4));  // runs past the end
  EXPECT_TRUE(coredll_.CheckHeapAccess(block + 12, 4));
  EXPECT_EQ(Call("LocalFree", {block}).value, 0u);
  EXPECT_TRUE(coredll_.CheckHeapAccess(block, 4));  // used after free
  EXPECT_EQ(Call("LocalFree", {block}).value, block);
  EXPECT_EQ(Call("LocalAlloc", {0x40, kHeapSize}).value, 0u);
  EXPECT_EQ(Call("LocalAlloc", {0x02, 4}).value, 0u);  // LMEM_MOVEABLE is not offered
}

// The LED driver reads the record by words, and CE's ARM kernel faults a
// misaligned one.
TEST_F(Coredll, LedRecordOffAWordBoundaryIsAFault) {
  EXPECT_EQ(Call("NLedSetDevice", {NLED_SETTINGS_INFO_ID, kScratch + 2}).kind,
            CallResult::Kind::kFault);
}

// File names compare as the phone's file system does, under every name the
// lookup tries; what the call then answers is the shared rule's.
TEST_F(Coredll, SoundFilesAreFoundAsThePhoneLooksThemUp) {
  setup_.playable_files = {u"\\Sounds\\Leave.wav"};
  setup_.not_a_wav_files = {u"\\Notes.WAV"};
  EXPECT_EQ(Call("PlaySoundW", {PutString(kScratch, u"\\SOUNDS\\leave.WAV"), 0, 0x00020001}).value,
            1u);
  EXPECT_EQ(coredll_.trace().back(),
            "@0 PlaySoundW path=\"\\\\SOUNDS\\\\leave.WAV\" flags=0x00020001 -> 1");
  EXPECT_EQ(Call("PlaySoundW", {PutString(kScratch, u"\\notes.wav"), 0, 0x00020001}).value, 0u);
  setup_.playable_files = {u"\\Windows\\Alarm.wav"};
  EXPECT_EQ(Call("PlaySoundW", {PutString(kScratch, u"alarm"), 0, 0x00020001}).value, 1u);
  EXPECT_EQ(coredll_.trace().back(), "@0 PlaySoundW path=\"alarm\" flags=0x00020001 -> 1");
  EXPECT_EQ(Call("Sleep", {0xFFFFFFFF}).kind, CallResult::Kind::kFault);
}

}  // namespace
}  // namespace cerunner
