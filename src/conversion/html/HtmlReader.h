#pragma once

// A page in any encoding read as HTML, for a consumer of open and close events (as
// OpenElements.h describes it): the decoder (PageDecoder.h) feeds the tokenizer
// (HtmlTokenizer.h), which feeds the stack of open elements, which feeds the consumer. Each
// knows the next by its type, so that every call for a word or a tag can be inlined.

#include "HtmlTokenizer.h"
#include "OpenElements.h"
#include "PageDecoder.h"

namespace plaintrove::conversion::html {

template <typename Consumer> class HtmlReader
{
public:
    // `encoding`: the page's, unless a byte-order mark says otherwise; null to find it.
    HtmlReader(Consumer &consumer, const Encoding *encoding)
        : m_decoder(encoding)
        , m_elements(consumer)
    { }

    // Reads the next bytes of the page. False once the consumer has failed.
    bool feed(std::string_view bytes)
    {
        m_decoder.put(bytes);
        return drain();
    }

    // Ends the page, closing every element still open. True when it ended inside a tag, a
    // comment or a declaration, whose bytes are then lost.
    bool finish()
    {
        m_decoder.finish();
        drain();
        const bool unclosed = m_tokenizer.finish();
        m_elements.finish();
        return unclosed;
    }

private:
    bool drain()
    {
        for (std::string_view text; !(text = m_decoder.take()).empty();) {
            if (!m_tokenizer.feed(text))
                return false;
        }
        return !m_elements.failed();
    }

    PageDecoder m_decoder;
    OpenElements<Consumer> m_elements;
    HtmlTokenizer<OpenElements<Consumer>> m_tokenizer { m_elements };
};

} // namespace plaintrove::conversion::html
