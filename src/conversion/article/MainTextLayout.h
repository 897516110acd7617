#pragma once

// Writes the main text of a page, laid out as the readable mode lays out a whole page.

#include "MainText.h"
#include "readable/ReadableLayout.h"

namespace plaintrove::conversion::article {

void layOutMainText(const Tree &tree, const MainText &main, ReadableLayout &out);

// Writes the whole of a tree still being built, as the readable mode would have written the page
// so far; returns the elements left open, outermost first, for their ends to come.
std::vector<html::OpenElement> layOutUnfinishedTree(const Tree &tree, ReadableLayout &out);

} // namespace plaintrove::conversion::article
