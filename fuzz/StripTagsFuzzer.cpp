// Differential fuzzing of the tag stripper against the literal reference of its tests. The first
// byte of an input is the longest piece the stripper is fed at a time (0: all at once), the
// second the seed of the pieces' lengths; the rest is the page.

#include "ReferenceStripper.h"
#include "StripHarness.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace plaintrove::testing;
    // The reference is quadratic on long lines.
    if (size < 2 || size > PLAINTROVE_FUZZ_MAX_LEN)
        return 0;
    const std::string page(reinterpret_cast<const char *>(data) + 2, size - 2);
    const Stripped actual = stripInPieces(page, data[0], data[1]);
    const ReferenceResult expected = referenceStrip(page);
    const bool unclosed = actual.outcome == plaintrove::conversion::StripOutcome::UnclosedTag;
    if (actual.text == expected.output && unclosed == expected.unclosedTag)
        return 0;
    std::abort(); // libFuzzer saves the input; an example in tests/data can then pin it down
}
