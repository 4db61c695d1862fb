#pragma once

// <windows.h> as this program takes it: without the parts it never uses
// (WIN32_LEAN_AND_MEAN) and without the min and max macros that would
// break std::min and std::max (NOMINMAX). Built for Windows only.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
