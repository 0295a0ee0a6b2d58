// The inputs the fuzzer once failed on, replayed through the same walk over
// the engine interface: each must come through without a crash or a hang.
#include "fuzz/EngineWalk.h"
#include "support/PdfBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

namespace lumora {
namespace {

std::vector<std::filesystem::path> RegressionInputs()
{
    std::vector<std::filesystem::path> inputs;
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator(LUMORA_FUZZ_REGRESSIONS, error))
        if (entry.is_regular_file() && entry.path().filename().string().front() != '.')
            inputs.push_back(entry.path());
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

TEST(FuzzRegressionTest, EveryKeptInputIsWalkedThroughTheEngine)
{
    const auto inputs = RegressionInputs();
    if (inputs.empty())
        GTEST_SKIP() << "no inputs in " << LUMORA_FUZZ_REGRESSIONS;
    test::TempDir work;
    for (const auto &input : inputs) {
        SCOPED_TRACE(input.filename().string());
        fuzz::WalkDocument(input.string(), work.Path().string());
    }
}

} // namespace
} // namespace lumora
