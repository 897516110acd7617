#pragma once

// plaintrove-strip -d DIR [-r] [-j N] FILE...: many files converted at once by several workers,
// their outputs committed in groups, the messages printed in the order of the inputs.

#include "Reporting.h"
#include "TextSink.h"

#include <QString>
#include <QStringList>

namespace plaintrove::cli {

ExitStatus convertBatch(const QStringList &inputs, const QString &outputDirectory, bool recursive,
    int jobs, conversion::StripOptions options);

} // namespace plaintrove::cli
