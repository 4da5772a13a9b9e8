// The Windows CE calls the program makes, and nothing more. The device image
// binds these names to COREDLL.dll imports; the host build supplies stand-ins.
// Each must be a row of platform/wince/coredll_imports.tsv (exit aside, which
// the device runtime defines): the thunks are made from that list, so the
// device link finds no definition for a called one that is missing.
#pragma once

#include <stdint.h>

using BOOL = int32_t;
using UINT = uint32_t;
using DWORD = uint32_t;
using WCHAR = char16_t;
using LPCWSTR = const WCHAR*;
using HWND = struct OpaqueWindow*;
using HMODULE = struct OpaqueModule*;
using FARPROC = int32_t (*)();

constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_ICONHAND = 0x00000010;

constexpr DWORD SND_ASYNC = 0x00000001;
constexpr DWORD SND_FILENAME = 0x00020000;

constexpr UINT NLED_SETTINGS_INFO_ID = 2;

struct NLED_SETTINGS_INFO {
  UINT LedNum;
  int32_t OffOnBlink;
  int32_t TotalCycleTime;
  int32_t OnTime;
  int32_t OffTime;
  int32_t MetaCycleOn;
  int32_t MetaCycleOff;
};
static_assert(sizeof(NLED_SETTINGS_INFO) == 28, "the driver reads seven 32-bit fields");

extern "C" {
HMODULE LoadLibraryW(LPCWSTR lpLibFileName);
FARPROC GetProcAddressW(HMODULE hModule, LPCWSTR lpProcName);
BOOL FreeLibrary(HMODULE hLibModule);
int32_t MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType);

BOOL NLedSetDevice(UINT nDeviceId, void* pInput);
BOOL PlaySoundW(LPCWSTR pszSound, HMODULE hmod, DWORD fdwSound);
BOOL MessageBeep(UINT uType);
void Sleep(DWORD dwMilliseconds);

// Declared as the C library does (attribute spelling included), so both
// declarations can meet in one host unit.
__attribute__((noreturn)) void exit(int status) noexcept;
}
