#pragma once

// <windows.h> as the project includes it: without the min and max macros,
// which would break std::min and std::max.
#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif
