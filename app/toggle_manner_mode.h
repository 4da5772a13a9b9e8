// One pass: read the phone's manner mode, write the opposite, confirm it.
#pragma once

#include <stdint.h>

// words: argc entries followed by a null one; word 1, if any, is the sound
// file to play when manner mode is switched off. Returns the exit status;
// a binding failure ends the process with -1 instead of returning.
int32_t ToggleMannerMode(int32_t argc, const char16_t* const* words);

// The program's entry, called by each platform's start-up.
int32_t KestrumMain(int32_t argc, const char16_t* const* words);
