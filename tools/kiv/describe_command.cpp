// kiv describe: not built yet.
#include <cstdio>

#include "tools/kiv/commands.h"

int kiv::RunDescribe(int, char**) {
  std::fprintf(stderr, "kiv describe: not available yet\n");
  return 1;
}
