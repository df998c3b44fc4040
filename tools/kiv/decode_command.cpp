// kiv decode: not built yet.
#include <cstdio>

#include "tools/kiv/commands.h"

int kiv::RunDecode(int, char**) {
  std::fprintf(stderr, "kiv decode: not available yet\n");
  return 1;
}
