#pragma once
// Additions for colours: conversion into RGB, HSB offsets, replaced alpha, the imaging layer's
// opaque colour, and red and blue swapped.

#include "platform/graphics/Color.h"

namespace vtl {

// The colour blended with red by 0.00001: converted into RGB, all but unchanged.
Color rgbColor(const Color& color);
// Hue, saturation, brightness and alpha offsets added (not clamped); an HSB colour of the sums.
Color colorByAddingHue(const Color& color, float hue, float saturation, float brightness, float alpha);
Color colorWithAlpha(const Color& color, float alpha);
// The colour's red, green and blue, opaque.
Color ciColor(const Color& color);
Color colorFromCIColor(const Color& ciColor);
Color colorBySwappingRedAndBlue(const Color& color);

} // namespace vtl
