#pragma once

// Writes the main text of a page, laid out as the readable mode lays out a whole page.

#include "MainText.h"
#include "readable/ReadableLayout.h"

namespace plaintrove::conversion::article {

void layOutMainText(const Tree &tree, const MainText &main, ReadableLayout &out);

} // namespace plaintrove::conversion::article
