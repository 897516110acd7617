#pragma once

// A start or end tag as the tokenizer (HtmlTokenizer.h) reports it: its name lowered, what the
// name stands for, and its attributes, names lowered and values with their references decoded.
// It holds at most a fixed amount whatever the page: past `maxAttributes` attributes the rest
// are read but not kept, names are cut after `maxNameLength` bytes and values after
// `maxValueLength`. The views it gives are valid only during the call that reports the tag.
//
// Most tags are read whole from the piece of the page at hand, and most of their attributes
// are never asked for: names are lowered and values decoded only when they are.

#include "CharacterReferences.h"
#include "HtmlElements.h"
#include "TextScan.h"

#include <optional>
#include <span>

namespace plaintrove::conversion::html {

struct Attribute
{
    std::string_view name;
    std::string_view value;
};

class Tag
{
public:
    static constexpr std::size_t maxAttributes = 32;
    static constexpr std::size_t maxNameLength = 64;
    static constexpr std::size_t maxValueLength = 2048;
    static constexpr std::size_t nameCapacity = 31;

    bool endTag = false;
    bool selfClosing = false;
    bool foreign = false; // an element of svg or MathML, or a tag read inside one
    ElementKind kind; // of the HTML element by this name

    // The lower-case name; empty when longer than nameCapacity, whose names match nothing.
    std::string_view name() const { return m_name.view(); }
    // The name's first eight bytes as one number, the first lowest, which elementKind() reads.
    std::uint64_t nameFirstBytes() const { return m_name.firstBytes(); }
    // A hash of the whole name, which tells apart names that name() leaves empty.
    std::uint32_t nameHash() const { return m_name.hash(); }

    bool hasAttributes() const { return m_count != 0; }

    // The value of the first attribute by this name, references decoded. Inline, so that the
    // bit of a name known at compile time is too.
    [[gnu::always_inline]] std::optional<std::string_view> attribute(
        std::string_view lowerCaseName) const
    {
        if ((m_nameBits & nameBit(lowerCaseName)) == 0)
            return std::nullopt; // most lookups: no name has its length and first and last bytes
        return find(lowerCaseName);
    }

    // Every attribute, in the page's order, each name once (the first of its duplicates),
    // lower-case, with its value decoded.
    std::span<const Attribute> attributes() const
    {
        if (!m_normalized)
            normalize();
        return { m_attributes.data(), m_count };
    }

    // --- For the tokenizer -------------------------------------------------------------------

    ShortText<nameCapacity> &nameText() { return m_name; }

    void begin(bool isEndTag)
    {
        endTag = isEndTag;
        selfClosing = foreign = m_normalized = false;
        m_count = m_used = 0;
        m_decoded = m_nameBits = 0;
        m_keeping = false;
    }

    // A new attribute whose name lies whole in the page at hand.
    void addAttribute(const Byte *begin, const Byte *end)
    {
        m_keeping = m_count < maxAttributes;
        if (!m_keeping)
            return;
        const std::string_view name = bytesBetween(begin, std::min(end, begin + maxNameLength));
        m_attributes[m_count++] = { name, {} };
        m_nameBits |= nameBit(name);
    }
    // A new attribute whose name comes a piece at a time (addToName()).
    void beginAttribute()
    {
        m_keeping = m_count < maxAttributes;
        if (m_keeping)
            m_attributes[m_count++] = { { m_arena.data() + m_used, 0 }, {} };
        m_nameBits = ~std::uint64_t { 0 }; // its bit is not known yet: any name may be there
    }
    void addToName(const Byte *begin, const Byte *end)
    {
        if (m_keeping)
            append(m_attributes[m_count - 1].name, begin, end, maxNameLength);
    }
    // The value of the last attribute, which lies whole in the page at hand.
    void setValue(const Byte *begin, const Byte *end)
    {
        if (m_keeping)
            m_attributes[m_count - 1].value
                = bytesBetween(begin, std::min(end, begin + maxValueLength));
    }
    // The value of the last attribute, a piece at a time.
    void addToValue(const Byte *begin, const Byte *end)
    {
        if (!m_keeping)
            return;
        std::string_view &value = m_attributes[m_count - 1].value;
        if (value.empty())
            value = { m_arena.data() + m_used, 0 };
        append(value, begin, end, maxValueLength);
    }

private:
    // A name's bit in m_nameBits, the same whatever the case of its letters.
    static constexpr std::uint64_t nameBit(std::string_view name)
    {
        if (name.empty())
            return 1;
        const unsigned first = static_cast<Byte>(name.front()) | 0x20U;
        const unsigned last = static_cast<Byte>(name.back()) | 0x20U;
        return std::uint64_t { 1 } << ((first + last + 6 * name.size()) & 63);
    }

    // Out of line: attribute() is inlined where a tag is read, and the loop seldom runs.
    [[gnu::noinline]] std::optional<std::string_view> find(std::string_view lowerCaseName) const
    {
        for (std::size_t i = 0; i < m_count; ++i) {
            if (equalsIgnoringCase(m_attributes[i].name, lowerCaseName))
                return value(i);
        }
        return std::nullopt;
    }

    // Adds to a name or value that ends where the arena's used part does.
    void append(std::string_view &text, const Byte *begin, const Byte *end, std::size_t limit)
    {
        if (text.data() + text.size() != m_arena.data() + m_used)
            return; // the arena is full, or this is a name cut by maxNameLength
        const std::size_t count = std::min({ static_cast<std::size_t>(end - begin),
            limit - text.size(), m_arena.size() - m_used });
        std::copy(begin, begin + count, m_arena.data() + m_used);
        m_used += count;
        text = { text.data(), text.size() + count };
    }

    std::string_view value(std::size_t i) const
    {
        const std::uint64_t bit = std::uint64_t { 1 } << i;
        if ((m_decoded & bit) != 0)
            return m_attributes[i].value;
        m_decoded |= bit;
        std::string_view &value = m_attributes[i].value;
        if (value.find('&') != std::string_view::npos) {
            value = decodeAttributeValue(value,
                { m_arena.data() + m_used, std::min(maxValueLength, m_arena.size() - m_used) });
            m_used += value.size();
        }
        return m_attributes[i].value;
    }

    void normalize() const
    {
        std::size_t kept = 0;
        for (std::size_t i = 0; i < m_count; ++i) {
            Attribute &attribute = m_attributes[i];
            const std::size_t size = std::min(attribute.name.size(), m_arena.size() - m_used);
            char *const lower = m_arena.data() + m_used;
            for (std::size_t k = 0; k < size; ++k) {
                const auto c = static_cast<Byte>(attribute.name[k]);
                lower[k] = static_cast<char>(c == 0 ? 0xFF : lowered(c));
            }
            m_used += size;
            const std::string_view name(lower, size);
            const auto first = m_attributes.begin();
            if (std::find_if(first, first + static_cast<std::ptrdiff_t>(kept),
                    [&](const Attribute &earlier) { return earlier.name == name; })
                != first + static_cast<std::ptrdiff_t>(kept))
                continue;
            m_attributes[kept] = { name, value(i) };
            ++kept;
        }
        m_count = kept;
        m_decoded = ~std::uint64_t { 0 };
        m_normalized = true;
    }

    ShortText<nameCapacity> m_name;
    // Each name and value, as the page has them until asked for.
    mutable std::array<Attribute, maxAttributes> m_attributes;
    mutable std::size_t m_count = 0;
    mutable std::uint64_t m_decoded = 0; // one bit for each value whose references are decoded
    mutable bool m_normalized = false;
    std::uint64_t m_nameBits = 0; // the nameBit() of every attribute kept
    bool m_keeping = false; // the attribute being read is kept
    // Names and values read in pieces, lowered names, decoded values.
    mutable std::array<char, 4 * maxValueLength> m_arena;
    mutable std::size_t m_used = 0;
};

} // namespace plaintrove::conversion::html
