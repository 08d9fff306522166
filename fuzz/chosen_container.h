// The row of the table of containers a container-driven fuzz target works on: the environment's
// MIRELTH_FUZZ_CONTAINER names it by extension without the dot ("dds"; mirelth-tables fuzz-targets lists them).
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "formats/containers.h"

inline const mirelth::Container* ChosenContainer(const char* program) {
  static const mirelth::Container* const chosen = [program] {
    const char* name = std::getenv("MIRELTH_FUZZ_CONTAINER");
    size_t count = 0;
    const mirelth::Container* rows = mirelth::Containers(&count);
    for (size_t i = 0; name && i < count; ++i) {
      if (std::strcmp(rows[i].extension + 1, name) == 0) return &rows[i];
    }
    std::fprintf(stderr, "%s: MIRELTH_FUZZ_CONTAINER=%s names no container\n", program, name ? name : "");
    std::exit(2);
  }();
  return chosen;
}
