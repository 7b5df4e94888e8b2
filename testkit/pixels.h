#pragma once
// What the screen shows: a bitmap whose 32-bit pixels the test reads directly, rows top down.
#include <windows.h>

#include "platform/scoped.h"

// A width x height bitmap of 32-bit pixels, first row on top; `bits` points at them. Empty
// when the system has no memory for it.
inline GdiObject<HBITMAP> TopDownBitmap(HDC dc, int width, int height, void** bits)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    *bits = nullptr;
    return GdiObject<HBITMAP>(::CreateDIBSection(dc, &info, DIB_RGB_COLORS, bits, nullptr, 0));
}
