// Commits one fault that the sanitizers must catch, chosen by its argument. The tests that run it
// pass only when the sanitizer's report appears, which proves that the sanitized build really
// checks: a build that silently lost its flags or its leak check would fail them.

#include <climits>
#include <cstdio>
#include <memory>
#include <string_view>
#include <vector>

int main(int argc, char *argv[])
{
    const std::string_view fault = argc > 1 ? argv[1] : "";
    volatile int index = 4; // unknown to the optimiser, so nothing is folded away
    if (fault == "leak") {
        static int *volatile lost = nullptr;
        lost = std::make_unique<int[]>(16).release();
        lost = nullptr;
        return 0;
    }
    if (fault == "heap-overflow") {
        const std::vector<int> numbers(4);
        return numbers.data()[index];
    }
    if (fault == "use-after-free") {
        int *dangling = nullptr;
        {
            const auto owner = std::make_unique<int>(7);
            dangling = owner.get();
        }
        return *dangling;
    }
    if (fault == "signed-overflow") {
        volatile int large = INT_MAX - 3;
        return large + index;
    }
    std::fputs("usage: sanitizer_canary leak|heap-overflow|use-after-free|signed-overflow\n",
        stderr);
    return 2;
}
