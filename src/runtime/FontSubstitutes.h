#pragma once

namespace plaintrove::runtime {

// The windows ask for Windows font families by name. Where fontconfig's own choice for a missing
// family looks nothing like it, point Qt at a look-alike that Debian ships.
void installFontSubstitutes();

} // namespace plaintrove::runtime
