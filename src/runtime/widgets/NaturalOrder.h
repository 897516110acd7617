#pragma once

// The order of names in the file-system lists: case ignored, runs of digits by their value
// ("page2" before "Page10"), the same whatever locale the program runs in. Names that only
// differ in case or in leading zeros still get a fixed order.

#include <QCollator>
#include <QString>

namespace plaintrove::runtime {

class NaturalOrder
{
public:
    NaturalOrder();
    bool operator()(const QString &a, const QString &b) const;

private:
    QCollator m_collator;
};

} // namespace plaintrove::runtime
