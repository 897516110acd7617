#pragma once

// Finds the main text of a page: the element that holds the most prose for the least of the
// page around it, less the parts inside it that read as the page around it.

#include "ArticleTree.h"

#include <cstdint>
#include <vector>

namespace plaintrove::conversion::article {

struct MainText
{
    std::uint32_t root = 0; // the element that holds it
    std::vector<bool> dropped; // a node left out with everything inside it
};

MainText findMainText(const Tree &tree);

} // namespace plaintrove::conversion::article
