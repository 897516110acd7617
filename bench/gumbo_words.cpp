// Prints the words a browser shows on an HTML page, one a line, as gumbo's HTML5 parser finds
// them (text outside script, style and template; block elements as gaps): the reference of the
// word agreement that readable.sh measures. The same oracle as the tests'.

#include "GumboWords.h"

#include <iostream>
#include <iterator>

int main()
{
    std::cin >> std::noskipws;
    const std::string page { std::istreambuf_iterator<char>(std::cin), {} };
    for (const std::string &word : plaintrove::testing::gumboWords(page))
        std::cout << word << '\n';
    return std::cout.good() ? 0 : 1;
}
