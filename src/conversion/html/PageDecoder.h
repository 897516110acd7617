#pragma once

// The stage in front of the tokenizer: takes a page's bytes in pieces of any size and hands on
// its text in UTF-8, having found its encoding as a browser does:
//
//   1. a byte-order mark (UTF-8, UTF-16LE, UTF-16BE), which is dropped;
//   2. else the encoding the caller gives (the user's choice);
//   3. else the <meta> that HTML's prescan finds in the first 1,024 bytes (Encodings.h);
//   4. else UTF-8 if the page's first non-ASCII bytes are UTF-8, windows-1252 if not. ASCII is
//      the same in both, so it passes on while the choice waits; the choice is made on the
//      4 KiB from the first byte above 0x7F, enough for dozens of accented letters or a few
//      lines of any script, and no more is ever held.
//
// A sequence that is not valid in the encoding becomes U+FFFD and decoding goes on. Decoders
// are glibc's iconv, but for UTF-8, which only needs checking, and x-user-defined, which is a
// sum: both run at the speed of memory, as most pages are UTF-8. Valid UTF-8 is handed on
// without a copy. It holds at most the sizes above and a 64 KiB buffer, whatever the page.
//
//     decoder.put(bytes);
//     for (std::string_view text; !(text = decoder.take()).empty();)
//         tokenizer.feed(text);
//     ... decoder.finish(), then take() again until it is empty.

#include "Encodings.h"

#include <memory>
#include <string>
#include <string_view>

namespace plaintrove::conversion {

class PageDecoder
{
public:
    // `given`: the user's encoding, which only a byte-order mark overrides; null for none.
    explicit PageDecoder(const Encoding *given = nullptr);
    ~PageDecoder();
    PageDecoder(const PageDecoder &) = delete;
    PageDecoder &operator=(const PageDecoder &) = delete;

    // The next bytes of the page, to be taken before the next put(); they must stay valid
    // until take() returns nothing.
    void put(std::string_view bytes);
    // The page has ended: what was held back is decoded by the next take() calls.
    void finish();
    // UTF-8 decoded from what was put, valid until the next call; empty when everything put
    // has been handed on, or is held back until more comes or finish().
    std::string_view take();

private:
    class Converter;

    std::string_view sniff();
    std::string_view undecided();
    void decide(const Encoding &encoding);
    std::string_view decode(std::string_view &input);
    std::string_view decodeUtf8(std::string_view &input);
    std::string_view convert(std::string_view &input);
    std::string_view userDefined(std::string_view &input);
    std::string_view completeHeldSequence();

    const Encoding *m_given;
    const Encoding *m_encoding = nullptr;
    bool m_finished = false;
    bool m_prescanned = false;
    std::string m_held; // bytes held back: the head, a choice's window, a cut sequence
    std::string_view m_input; // what put() gave and take() has not yet taken
    std::string_view m_pendingHeld; // held bytes to decode before m_input, once decided
    std::string m_heldCopy; // m_held, moved out of the way of new bytes while it is decoded
    std::unique_ptr<char[]> m_buffer;
    std::unique_ptr<Converter> m_converter;
    bool m_replaced = false; // the replacement encoding has written its U+FFFD
};

} // namespace plaintrove::conversion
