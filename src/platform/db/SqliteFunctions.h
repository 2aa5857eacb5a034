#pragma once

struct sqlite3;

namespace zentaro::sqlitefunctions {

// Registers on the handle the functions the dialect adapter targets:
//   zentaro_decimal(x, s)  x rounded half away from zero to s decimals, as an exact decimal
//   zentaro_sum(x)         SUM whose running total is an exact decimal
void install(sqlite3 *handle);

} // namespace zentaro::sqlitefunctions
