#pragma once

// Name ordering for the file-system lists: letters compare case-insensitively and runs of
// digits compare by their numeric value, so "file2" sorts before "File10". The order is total:
// names that only differ in case or in leading zeros still get a fixed order.

#include <QStringList>
#include <QStringView>

namespace plaintrove::runtime {

// Negative when `a` sorts before `b`, positive when after, 0 only for identical strings.
int naturalCompare(QStringView a, QStringView b) noexcept;

inline bool naturalLess(QStringView a, QStringView b) noexcept
{
    return naturalCompare(a, b) < 0;
}

void sortNaturally(QStringList &names);

} // namespace plaintrove::runtime
