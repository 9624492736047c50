// What a fortified copy in the drawing libraries does when it finds an overflow.
//
// The cairo build checks some copies (__memcpy_chk), which end in __chk_fail on an overflow.
// GCC's libssp defines __chk_fail beside a constructor that seeds a stack canary through
// CryptAcquireContext, so loading this module would load the system's cryptographic
// provider (and under Wine its TLS libraries) for a canary nothing here reads. Defined here,
// libssp's object stays out of the module; the outcome of an overflow is the same: a line
// on standard error and the end of the process.
#include <cstdio>
#include <cstdlib>

extern "C" [[noreturn]] void __chk_fail(void) {
    std::fputs("*** buffer overflow detected ***: terminated\n", stderr);
    std::abort();
}
