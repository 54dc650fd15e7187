#pragma once

#include <string>
#include <vector>

namespace pelvaro::bench {

// The kinds of delivery every decoder is measured on.
const std::vector<std::string>& Kinds();

#ifdef PELVARO_BENCH_GAMMU
// Registers "gammu/<kind>" for every kind.
void RegisterGammu();
#endif

}  // namespace pelvaro::bench
