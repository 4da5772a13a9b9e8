// Numbers shared by the assembly sources and the linker script of the image.
#pragma once

#define KESTRUM_IMAGE_BASE 0x00010000
#define KESTRUM_SECTION_ALIGNMENT 0x1000
#define KESTRUM_FILE_ALIGNMENT 0x200
