#pragma once

// Which file a batch converts into which output, decided before any is converted: with -r a
// directory among the inputs is walked for its pages, whose paths below it are mirrored below
// the output directory. A page or folder the walk cannot take is a job refused with the reason,
// in its place among the pages. The walk stops when the run is interrupted.

#include <QString>
#include <QStringList>
#include <vector>

namespace plaintrove::cli {

struct BatchJob
{
    QString input;
    QString output; // empty when refused by the walk
    QString refusal; // why the input is not converted; empty when it is
    QString refusalAbout; // the file the refusal names
};

std::vector<BatchJob> planBatch(
    const QStringList &inputs, const QString &outputDirectory, bool recursive);

} // namespace plaintrove::cli
