// Cuts a command line into argument words: white space outside double quotes
// ends a word, and every double quote is then dropped from it. Pure and
// allocation-free, so the start-up can measure first and fill second.
#pragma once

#include <stdint.h>

struct WordCounts {
  uint32_t words;
  uint32_t chars;  // text units of all words, one terminator each included
};

// The program's own white space for splitting: the Unicode White_Space set.
bool IsWideSpace(char16_t c);

// Returns the counts the whole line needs. Words and text are complete only
// when both capacities cover those counts; with less, nothing is written out
// of bounds. Pass null buffers with zero capacities to measure. A null line
// has no words.
WordCounts SplitCommandLine(const char16_t* line, const char16_t** words, uint32_t word_capacity,
                            char16_t* text, uint32_t text_capacity);
