// DOS header (no stub program), PE signature, file and optional headers and the section
// table of Kestrum.exe. Section places and sizes come from the linker script.
#include "platform/wince/image_layout.h"

// The phone refuses a program that needs a newer system than its own: 5.02
// for OS 5.2 phones, 5.01 for OS 5.1 phones. The build passes one of them.
#if !defined(KESTRUM_OS_MINOR) || (KESTRUM_OS_MINOR != 1 && KESTRUM_OS_MINOR != 2)
#error "KESTRUM_OS_MINOR must be 1 or 2"
#endif

#define RVA(symbol) ((symbol) - KESTRUM_IMAGE_BASE)

#define IMAGE_FILE_MACHINE_THUMB 0x01C2
#define IMAGE_SUBSYSTEM_WINDOWS_CE_GUI 9
// Relocations, line numbers and local symbols stripped; 32-bit executable.
#define FILE_CHARACTERISTICS 0x010F
#define CODE_RX 0x60000020
#define RDATA_R 0x40000040
#define DATA_RW 0xC0000040

.macro section_header name, prefix, characteristics
0:
  .ascii "\name"
1:
  .fill 8 - (1b - 0b), 1, 0
  .word __kestrum_\prefix\()_virtual_size
  .word __kestrum_\prefix\()_rva
  .word __kestrum_\prefix\()_raw_size
  .word __kestrum_\prefix\()_raw_offset
  .word 0, 0          // no relocations, no line numbers
  .short 0, 0
  .word \characteristics
.endm

  .section .kestrum.headers, "a", %progbits
dos_header:
  .ascii "MZ"
  .fill 0x3A, 1, 0
  .word pe_signature - dos_header   // e_lfanew

pe_signature:
  .ascii "PE\0\0"
file_header:
  .short IMAGE_FILE_MACHINE_THUMB
  .short 4                          // .text, .rdata, .data, .rsrc
  .word 0                           // no time stamp: the build is reproducible
  .word 0, 0                        // no COFF symbols
  .short optional_header_end - optional_header
  .short FILE_CHARACTERISTICS

optional_header:
  .short 0x010B                     // PE32
  .byte 1, 0                        // linker version
  .word __kestrum_text_raw_size     // SizeOfCode
  .word __kestrum_initialized_data_size
  .word 0                           // SizeOfUninitializedData
  .word RVA(KestrumStartup)
  .word __kestrum_text_rva          // BaseOfCode
  .word __kestrum_rdata_rva         // BaseOfData
  .word KESTRUM_IMAGE_BASE
  .word KESTRUM_SECTION_ALIGNMENT
  .word KESTRUM_FILE_ALIGNMENT
  .short 5, KESTRUM_OS_MINOR        // operating system version
  .short 0, 0                       // image version
  .short 5, KESTRUM_OS_MINOR        // subsystem version
  .word 0                           // Win32VersionValue
  .word __kestrum_image_size
  .word __kestrum_headers_size
  .word 0                           // CheckSum, left 0 as for programs
  .short IMAGE_SUBSYSTEM_WINDOWS_CE_GUI
  .short 0                          // DllCharacteristics
  .word 0x10000, 0x1000             // stack reserve, commit
  .word 0x100000, 0x1000            // heap reserve, commit
  .word 0                           // LoaderFlags
  .word 16                          // NumberOfRvaAndSizes
data_directories:
  .word 0, 0                        // export
  .word __kestrum_import_directory_rva, __kestrum_import_directory_size
  .word __kestrum_rsrc_rva, __kestrum_rsrc_directory_size
  .fill 6, 8, 0                     // exception .. global pointer: none
  .word 0, 0                        // TLS: none
  .word 0, 0                        // load config
  .word 0, 0                        // bound import: none
  .word __kestrum_iat_rva, __kestrum_iat_size
  .word 0, 0                        // delay import: none
  .word 0, 0                        // CLR
  .word 0, 0                        // reserved
optional_header_end:
// The loader reads the section table at e_lfanew + 0xF8 whatever the file
// header says the optional header's size is.
.if optional_header_end - optional_header != 0xE0
  .error "the optional header must be 0xE0 bytes with 16 directories"
.endif

section_table:
  section_header ".text", text, CODE_RX
  section_header ".rdata", rdata, RDATA_R
  section_header ".data", data, DATA_RW
  section_header ".rsrc", rsrc, RDATA_R
