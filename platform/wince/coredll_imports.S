// The import directory of Kestrum.exe: COREDLL.dll only, every function by
// name, each one listed in coredll_imports.tsv. Each import gets an ARM thunk
// under its own name that jumps through its import address table slot, so
// C++ calls it like any other function.
#include "platform/wince/image_layout.h"

#define RVA(symbol) ((symbol) - KESTRUM_IMAGE_BASE)

  .syntax unified
  .arm

  .section .kestrum.import_descriptors, "a", %progbits
  .p2align 2
  .global __kestrum_import_directory_start, __kestrum_import_directory_end
__kestrum_import_directory_start:
  .word RVA(import_lookup_table)      // OriginalFirstThunk
  .word 0                             // TimeDateStamp: not bound
  .word 0                             // ForwarderChain
  .word RVA(coredll_name)
  .word RVA(__kestrum_iat_start)      // FirstThunk
  .fill 5, 4, 0                       // the closing null descriptor
__kestrum_import_directory_end:

  .section .kestrum.import_lookup, "a", %progbits
  .p2align 2
import_lookup_table:

  .section .kestrum.iat, "aw", %progbits
  .p2align 2
  .global __kestrum_iat_start, __kestrum_iat_end
__kestrum_iat_start:

  .section .kestrum.import_names, "a", %progbits
coredll_name:
  .asciz "COREDLL.dll"

// Until the loader binds it, the address table slot holds the same hint/name
// RVA as the lookup table. The thunk reaches the slot through a literal, as
// ARMv5TE has no movw; ldr pc switches to Thumb if the callee is Thumb code.
.macro coredll_import name
  .section .kestrum.import_names, "a", %progbits
  .p2align 1
hint_name_\name:
  .short 0   // hint: COREDLL's name index differs by build; a miss falls back to the name
  .asciz "\name"

  .section .kestrum.import_lookup, "a", %progbits
  .word RVA(hint_name_\name)

  .section .kestrum.iat, "aw", %progbits
iat_\name:
  .word RVA(hint_name_\name)

  .section .text.kestrum.import.\name, "ax", %progbits
  .p2align 2
  .global \name
  .type \name, %function
\name:
  ldr ip, 0f
  ldr pc, [ip]
0:
  .word iat_\name
  .size \name, . - \name
.endm

// One line per row of coredll_imports.tsv, made by cmake/CoredllExports.cmake.
// A declaration in platform/coredll.h or startup_calls.h that the program
// calls but the list lacks has no thunk here, so the device link stops.
#include "coredll_imports.inc"

  .section .kestrum.import_lookup, "a", %progbits
  .word 0

  .section .kestrum.iat, "aw", %progbits
  .word 0
__kestrum_iat_end:
