// The animation's own random source: one 32-bit state word that mixes the
// wall clock into every step, a bias-free integer in a closed range, and the
// colour pick that keeps shapes from being nearly black.
#pragma once

#include <windows.h>

#include <cstdint>

// The generator state; 0 at process start, never reseeded.
extern uint32_t gRandomState;

// Sum of the three components below which a shape colour is drawn again.
constexpr int MinShapeColorSum = 96;

int32_t NextRandom();
// Uniform in [lo, hi]; returns lo without a step when hi < lo.
int32_t RandomRange(int32_t lo, int32_t hi);
COLORREF PickShapeColor();
