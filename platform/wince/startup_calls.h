// COREDLL calls that only the device start-up makes.
#pragma once

#include "platform/coredll.h"

using HINSTANCE = HMODULE;
using LPWSTR = WCHAR*;
using HLOCAL = void*;

constexpr UINT LMEM_FIXED = 0x0000;
constexpr DWORD MAX_PATH = 260;

extern "C" {
DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);
HLOCAL LocalAlloc(UINT uFlags, UINT uBytes);
HLOCAL LocalFree(HLOCAL hMem);
}
