/* Places the sections of Kestrum.exe: each output section sits at its
   virtual address and loads at its file offset, so that objcopy -O binary
   writes the PE file as it is laid out on disk. */
#include "platform/wince/image_layout.h"

ENTRY(KestrumStartup)

SECTIONS
{
  .headers KESTRUM_IMAGE_BASE : AT(0) {
    KEEP(*(.kestrum.headers))
    . = ALIGN(KESTRUM_FILE_ALIGNMENT);
  }

  .text ALIGN(ADDR(.headers) + SIZEOF(.headers), KESTRUM_SECTION_ALIGNMENT)
      : AT(LOADADDR(.headers) + SIZEOF(.headers)) {
    *(.text .text.*)
    __kestrum_text_virtual_size = . - ADDR(.text);
    . = ALIGN(KESTRUM_FILE_ALIGNMENT);
  }

  .rdata ALIGN(ADDR(.text) + SIZEOF(.text), KESTRUM_SECTION_ALIGNMENT)
      : AT(LOADADDR(.text) + SIZEOF(.text)) {
    KEEP(*(.kestrum.import_descriptors))
    KEEP(*(.kestrum.import_lookup))
    KEEP(*(.kestrum.import_names))
    *(.rodata .rodata.*)
    __kestrum_rdata_virtual_size = . - ADDR(.rdata);
    . = ALIGN(KESTRUM_FILE_ALIGNMENT);
  }

  /* The loader writes the import address table, so it stays writable. */
  .data ALIGN(ADDR(.rdata) + SIZEOF(.rdata), KESTRUM_SECTION_ALIGNMENT)
      : AT(LOADADDR(.rdata) + SIZEOF(.rdata)) {
    KEEP(*(.kestrum.iat))
    *(.data .data.*)
    *(.bss .bss.* COMMON)
    __kestrum_data_virtual_size = . - ADDR(.data);
    . = ALIGN(KESTRUM_FILE_ALIGNMENT);
  }

  /* The icon and version, where data directory 2 points: the platform looks
     the resources up in the section that starts at that address. */
  .rsrc ALIGN(ADDR(.data) + SIZEOF(.data), KESTRUM_SECTION_ALIGNMENT)
      : AT(LOADADDR(.data) + SIZEOF(.data)) {
    KEEP(*(.kestrum.rsrc))
    __kestrum_rsrc_virtual_size = . - ADDR(.rsrc);
    . = ALIGN(KESTRUM_FILE_ALIGNMENT);
  }

  /* Functions are marked "cannot unwind" even without exceptions; nothing
     on the platform reads that table. */
  /DISCARD/ : { *(.ARM.exidx .ARM.exidx.*) }

  .comment 0 : { *(.comment) }
  .ARM.attributes 0 : { *(.ARM.attributes) }
  .symtab 0 : { *(.symtab) }
  .strtab 0 : { *(.strtab) }
  .shstrtab 0 : { *(.shstrtab) }
}

__kestrum_headers_size = SIZEOF(.headers);
__kestrum_text_rva = ADDR(.text) - KESTRUM_IMAGE_BASE;
__kestrum_text_raw_offset = LOADADDR(.text);
__kestrum_text_raw_size = SIZEOF(.text);
__kestrum_rdata_rva = ADDR(.rdata) - KESTRUM_IMAGE_BASE;
__kestrum_rdata_raw_offset = LOADADDR(.rdata);
__kestrum_rdata_raw_size = SIZEOF(.rdata);
__kestrum_data_rva = ADDR(.data) - KESTRUM_IMAGE_BASE;
__kestrum_data_raw_offset = LOADADDR(.data);
__kestrum_data_raw_size = SIZEOF(.data);
__kestrum_rsrc_rva = ADDR(.rsrc) - KESTRUM_IMAGE_BASE;
__kestrum_rsrc_raw_offset = LOADADDR(.rsrc);
__kestrum_rsrc_raw_size = SIZEOF(.rsrc);
__kestrum_rsrc_directory_size = __kestrum_rsrc_end - __kestrum_rsrc_start;
__kestrum_initialized_data_size = SIZEOF(.rdata) + SIZEOF(.data) + SIZEOF(.rsrc);
__kestrum_image_size = ALIGN(ADDR(.rsrc) + SIZEOF(.rsrc), KESTRUM_SECTION_ALIGNMENT) - KESTRUM_IMAGE_BASE;
__kestrum_import_directory_rva = __kestrum_import_directory_start - KESTRUM_IMAGE_BASE;
__kestrum_import_directory_size = __kestrum_import_directory_end - __kestrum_import_directory_start;
__kestrum_iat_rva = __kestrum_iat_start - KESTRUM_IMAGE_BASE;
__kestrum_iat_size = __kestrum_iat_end - __kestrum_iat_start;

ASSERT(SIZEOF(.headers) == KESTRUM_FILE_ALIGNMENT, "PE headers must fit in one file block")
ASSERT(__kestrum_rsrc_start == ADDR(.rsrc), "the resource directory must open its section")
