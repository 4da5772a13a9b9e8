# Code generation for the phones: ARMv5TE (PXA270) in ARM mode, the
# platform's 4-byte-aligned APCS stack, int-sized enums, 16-bit wchar_t.
find_program(KESTRUM_DEVICE_CXX NAMES clang++-14 clang++ REQUIRED)

set(KESTRUM_DEVICE_CXX_FLAGS
    --target=armv5te-none-eabi -marm -mcpu=xscale -mabi=apcs-gnu
    -fno-short-enums -fshort-wchar
    -std=c++20 -ffreestanding -nostdinc++ -fno-exceptions -fno-rtti
    -fno-unwind-tables -fno-asynchronous-unwind-tables -fno-threadsafe-statics
    -Os -Wall -Wextra -Wpedantic -Wconversion -Wshadow -Werror)
