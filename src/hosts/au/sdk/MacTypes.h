// Stand-in for Apple's MacTypes.h on systems without Apple's SDK: the basic integer, float and
// status types under Apple's names, with Apple's sizes. Never compiled on Apple.
#pragma once
#if defined(__APPLE__)
#error "the Audio Unit SDK stand-in is for systems without Apple's SDK"
#endif
#include <stdint.h>

typedef uint8_t UInt8;
typedef int8_t SInt8;
typedef uint16_t UInt16;
typedef int16_t SInt16;
typedef uint32_t UInt32;
typedef int32_t SInt32;
typedef uint64_t UInt64;
typedef int64_t SInt64;
typedef float Float32;
typedef double Float64;
typedef unsigned char Boolean;
typedef SInt32 OSStatus;
typedef SInt16 OSErr;
typedef UInt32 OSType;
typedef UInt32 FourCharCode;
typedef char* Ptr;
typedef Ptr* Handle;

enum { noErr = 0, paramErr = -50, memFullErr = -108 };
