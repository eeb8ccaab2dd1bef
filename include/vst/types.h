/*
 * Integer types, calling convention and compile-time checks shared by every
 * interface header. Valid C (C99 and later) and C++.
 */
#ifndef VST_TYPES_H
#define VST_TYPES_H

#include <stdint.h>

/* Signed 32-bit integer: opcodes, indices, counts, 32-bit answers. */
typedef int32_t VstInt32;

/* Signed integer of pointer size. Never `long`: that is 32 bits on 64-bit Windows. */
typedef intptr_t VstIntPtr;

/* Calling convention of every function that crosses the module boundary. On
 * x86-64 each platform has a single convention; 32-bit Windows names cdecl. */
#if defined(_WIN32) && !defined(_WIN64)
#define VSTCALLBACK __cdecl
#else
#define VSTCALLBACK
#endif

/* A compile-time check: C++11 and C11 have one of their own. C99 has none, so
 * there each check declares the same external array, one element long when
 * the condition holds and of negative length (an error) when it fails; the
 * declarations agree, so any number of them may meet in one translation unit.
 * Nothing defines or uses the array. */
#if defined(__cplusplus)
#define VST_STATIC_ASSERT(condition, message) static_assert(condition, message)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define VST_STATIC_ASSERT(condition, message) _Static_assert(condition, message)
#else
#define VST_STATIC_ASSERT(condition, message) \
  extern char vst_static_assert_failed[(condition) ? 1 : -1]
#endif

/* Layout checks apply to 64-bit builds, the only ones the records are fixed for. */
#if UINTPTR_MAX == 0xFFFFFFFFFFFFFFFFu
#define VST_64BIT 1
#else
#define VST_64BIT 0
#endif

VST_STATIC_ASSERT(sizeof(VstInt32) == 4, "VstInt32 must be 32 bits");
VST_STATIC_ASSERT(sizeof(VstIntPtr) == sizeof(void*), "VstIntPtr must be pointer-sized");
VST_STATIC_ASSERT(sizeof(float) == 4, "parameter values are 32-bit floats");

/* Builds a four-character code: the first character lands in the most significant byte. */
#define VST_FOUR_CHARS(a, b, c, d)                                              \
  ((VstInt32)(((uint32_t)(uint8_t)(a) << 24) | ((uint32_t)(uint8_t)(b) << 16) | \
              ((uint32_t)(uint8_t)(c) << 8) | (uint32_t)(uint8_t)(d)))

#endif
