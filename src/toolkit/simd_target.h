// Brackets code compiled for a wider instruction set than the build's, used only where the
// processor reports it at run time. GCC takes its own pragma; clang (the fuzzing build) takes
// the same target as an attribute on every function in between.
#pragma once

#define QM_SIMD_STR(...) #__VA_ARGS__
#if defined(__clang__)
#define QM_SIMD_PUSH(isa) \
  _Pragma(QM_SIMD_STR(clang attribute push(__attribute__((target(isa))), apply_to = function)))
#define QM_SIMD_POP _Pragma("clang attribute pop")
#elif defined(__GNUC__)
#define QM_SIMD_PUSH(isa) _Pragma("GCC push_options") _Pragma(QM_SIMD_STR(GCC target(isa)))
#define QM_SIMD_POP _Pragma("GCC pop_options")
#endif
