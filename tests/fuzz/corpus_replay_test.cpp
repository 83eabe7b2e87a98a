// Every input of the committed fuzzing corpus, run through the fuzzing harness as a test, so
// each build (and each compiler) checks them without libFuzzer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/fuzz/port_list_harness.h"

namespace {

std::vector<std::string> CorpusFiles() {
    std::vector<std::string> files;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(PORTLOOK_FUZZ_CORPUS, error), end;
         !error && entry != end; entry.increment(error)) {
        if (entry->is_regular_file(error)) files.push_back(entry->path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST(FuzzCorpusTest, EveryInputKeepsTheRules) {
    const std::vector<std::string> files = CorpusFiles();
    ASSERT_GE(files.size(), 5u) << "corpus not found in " << PORTLOOK_FUZZ_CORPUS;
    for (const std::string& file : files) {
        std::ifstream in(file, std::ios::binary);
        ASSERT_TRUE(in) << file;
        const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                      std::istreambuf_iterator<char>()};
        std::string failure;
        EXPECT_TRUE(CheckPortListInput(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                       bytes.size(), &failure))
            << file << ": " << failure;
    }
}

}  // namespace
