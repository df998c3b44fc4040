// kiv serve: not built yet.
#include <cstdio>

#include "tools/kiv/commands.h"

int kiv::RunServe(int, char**) {
  std::fprintf(stderr, "kiv serve: not available yet\n");
  return 1;
}
