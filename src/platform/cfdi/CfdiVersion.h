#pragma once

namespace zentaro::cfdi {

// Version of the electronic invoice this library writes.
inline constexpr const char *kCfdiVersion = "4.0";

} // namespace zentaro::cfdi
