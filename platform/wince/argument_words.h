// The words the entry function receives: word 0 is the program's own path,
// then the command-line words, then a null entry. They live in one block,
// the pointers first so that they are aligned, the text after them.
#pragma once

#include <stdint.h>

struct ArgumentWords {
  int32_t count;  // without the null entry
  const char16_t* const* words;
};

// Bytes of the block for this command line; 0 if that would not fit 32 bits.
uint32_t ArgumentBlockBytes(const char16_t* line);

// Lays the words out in the block (aligned for pointers). Word 0 points at
// path itself, which must outlive the words. Returns {0, nullptr} when the
// block is missing or smaller than ArgumentBlockBytes(line).
ArgumentWords LayOutArgumentWords(void* block, uint32_t block_bytes, const char16_t* path,
                                  const char16_t* line);
