#pragma once

// The 15-bit generator every random placement draws from: values 0..32767, the range the
// placement formulas were made for (glibc's rand() reaches 2^31-1). Single-threaded use only.
void SeedRandom(unsigned int seed);
int Random15();

// 0 when lo > hi; otherwise lo + Random15() / 32767.0 * (hi - lo), truncated toward zero.
int RandomBetween(int lo, int hi);
