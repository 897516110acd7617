#pragma once

// What a page's own markup keeps from being shown, as a browser reads it with no style sheet
// of the page: the hidden attribute of an HTML element, and an inline style of display: none.

#include "Tag.h"

namespace plaintrove::conversion::html {

// The last display declaration of a style attribute says none (`!important` or not).
inline bool displaysNone(std::string_view style)
{
    bool none = false;
    while (!style.empty()) {
        const std::string_view declaration = style.substr(0, style.find(';'));
        style.remove_prefix(std::min(declaration.size() + 1, style.size()));
        const std::size_t colon = declaration.find(':');
        if (colon == std::string_view::npos
            || !equalsIgnoringCase(trimmedSpace(declaration.substr(0, colon)), "display"))
            continue;
        std::string_view value = trimmedSpace(declaration.substr(colon + 1));
        value = trimmedSpace(value.substr(0, value.find('!')));
        none = equalsIgnoringCase(value, "none");
    }
    return none;
}

// The element is not shown, nor anything in it.
inline bool hiddenByPage(const Tag &tag)
{
    if (!tag.foreign && tag.attribute("hidden"))
        return true;
    const std::optional<std::string_view> style = tag.attribute("style");
    return style && displaysNone(*style);
}

} // namespace plaintrove::conversion::html
