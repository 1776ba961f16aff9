#pragma once
// DDE string handles are opaque pointers. This declaration is the platform's own, so that code
// that needs no Windows API (the type tables, the holder factories' signature) can still name
// them; <ddeml.h> declares the same type.
struct HSZ__;
typedef struct HSZ__* HSZ;
