#pragma once
// Which vector instructions the fast engine may use, decided when it is compiled.

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define VELMORA_SSE2 1
#endif
// 64-byte stores where the processor has them, chosen at run time (wide_writer.cpp alone is compiled
// for them). Not on Windows, where GCC does not keep the stack aligned for spilled 64-byte registers.
#if defined(__x86_64__) && !defined(_WIN32) && (defined(__GNUC__) || defined(__clang__))
#define VELMORA_AVX512 1
#endif
