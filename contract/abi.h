#pragma once
// The one place that spells the calling convention of the host contract.

#if defined(_WIN32) && !defined(_WIN64)
#  define J27_CALL __stdcall  // object first on the stack, callee pops (COM)
#else
#  define J27_CALL            // native builds: tests only, no host behind it
#endif
