/* Compiled by the test suite as C11, as C++20 and with 4-byte pointers: the
 * header must stand alone and its layout assertions must hold. */
#include "kiv/plugin_abi.h"

int kiv_abi_compile_check(void) { return (int)sizeof(HostResponse); }
