// libFuzzer entry: any broken rule of the port survey ends the run with abort().
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/fuzz/port_list_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    std::string failure;
    if (!CheckPortListInput(bytes, size, &failure)) {
        std::fprintf(stderr, "port survey check failed: %s\n", failure.c_str());
        std::abort();
    }
    return 0;
}
