#include "NaturalOrder.h"

#include <algorithm>

// Hand-written rather than QCollator: under the C locale QCollator ignores numeric mode, and the
// lists must sort the same way whatever locale the program runs in.

namespace plaintrove::runtime {
namespace {

bool isAsciiDigit(QChar c) noexcept
{
    return c >= u'0' && c <= u'9';
}

// Reads one code point at `pos` (joining a surrogate pair) and moves past it.
char32_t nextCodePoint(QStringView s, qsizetype &pos) noexcept
{
    const QChar high = s[pos++];
    if (high.isHighSurrogate() && pos < s.size() && s[pos].isLowSurrogate())
        return QChar::surrogateToUcs4(high, s[pos++]);
    return high.unicode();
}

qsizetype digitRunEnd(QStringView s, qsizetype pos) noexcept
{
    while (pos < s.size() && isAsciiDigit(s[pos]))
        ++pos;
    return pos;
}

int sign(qsizetype value) noexcept
{
    return value < 0 ? -1 : (value > 0 ? 1 : 0);
}

// Compares two runs of digits by value, without converting them (they may be any length).
int compareNumbers(QStringView a, QStringView b) noexcept
{
    const auto significant = [](QStringView digits) {
        qsizetype zeros = 0;
        while (zeros < digits.size() && digits[zeros] == u'0')
            ++zeros;
        return digits.mid(zeros);
    };
    const QStringView x = significant(a);
    const QStringView y = significant(b);
    if (x.size() != y.size())
        return sign(x.size() - y.size());
    for (qsizetype i = 0; i < x.size(); ++i) {
        if (x[i] != y[i])
            return x[i] < y[i] ? -1 : 1;
    }
    return 0;
}

// Case-insensitive, numbers by value; 0 for names a person would call the same.
int comparePrimary(QStringView a, QStringView b) noexcept
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (isAsciiDigit(a[i]) && isAsciiDigit(b[j])) {
            const qsizetype endA = digitRunEnd(a, i);
            const qsizetype endB = digitRunEnd(b, j);
            if (const int c = compareNumbers(a.sliced(i, endA - i), b.sliced(j, endB - j)))
                return c;
            i = endA;
            j = endB;
            continue;
        }
        const char32_t x = QChar::toCaseFolded(nextCodePoint(a, i));
        const char32_t y = QChar::toCaseFolded(nextCodePoint(b, j));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return sign((a.size() - i) - (b.size() - j));
}

} // namespace

int naturalCompare(QStringView a, QStringView b) noexcept
{
    if (const int c = comparePrimary(a, b))
        return c;
    // Same name to a person ("File" and "file", "a01" and "a1"): fall back to the exact
    // characters so that the order never depends on the order the names arrived in.
    const int c = a.compare(b, Qt::CaseSensitive);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

void sortNaturally(QStringList &names)
{
    std::sort(names.begin(), names.end(),
        [](const QString &a, const QString &b) { return naturalLess(a, b); });
}

} // namespace plaintrove::runtime
