// Confirmation of a new manner mode: the vibrator (notification LED 1) and
// the leave sound. Nothing here reports failure; the timing always holds.
#pragma once

// path may be null: no sound file was given.
void PlayLeaveSound(const char16_t* path);
void SetVibrator(bool on);

void SignalMannerOff(const char16_t* path);
void SignalMannerOn();
