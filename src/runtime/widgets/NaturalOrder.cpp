#include "NaturalOrder.h"

namespace plaintrove::runtime {

// A fixed locale: under the C locale QCollator would ignore the numeric mode.
NaturalOrder::NaturalOrder()
    : m_collator(QLocale(QLocale::English))
{
    m_collator.setNumericMode(true);
    m_collator.setCaseSensitivity(Qt::CaseInsensitive);
}

bool NaturalOrder::operator()(const QString &a, const QString &b) const
{
    const int order = m_collator.compare(a, b);
    return order != 0 ? order < 0 : a < b;
}

} // namespace plaintrove::runtime
