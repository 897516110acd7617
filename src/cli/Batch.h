#pragma once

// plaintrove-strip -d DIR [-r] [-j N] FILE...: many files converted at once by several workers
// as the walk finds them, their outputs committed in groups, the messages printed in the order
// of the inputs.

#include "Reporting.h"
#include "TextSink.h"

#include <filesystem>
#include <vector>

namespace plaintrove::cli {

ExitStatus convertBatch(const std::vector<std::filesystem::path> &inputs,
    const std::filesystem::path &outputDirectory, bool recursive, int jobs,
    conversion::StripOptions options);

} // namespace plaintrove::cli
