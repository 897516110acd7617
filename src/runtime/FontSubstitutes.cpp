#include "FontSubstitutes.h"

#include <QFont>
#include <QStringList>

namespace plaintrove::runtime {

void installFontSubstitutes()
{
    // fontconfig answers "Comic Sans MS" with a calligraphic italic; Comic Neue keeps its look.
    // Arial and Times New Roman need nothing: fontconfig maps them to the metric-compatible
    // Liberation fonts.
    QFont::insertSubstitutions(QStringLiteral("Comic Sans MS"),
        QStringList { QStringLiteral("Comic Neue"), QStringLiteral("Liberation Sans") });
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
        QStringList { QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans") });
}

} // namespace plaintrove::runtime
