// Times one walk over the device nodes for their facts, and a survey's rows answered from
// what the cache kept, with 32 USB adapters registered in the prefix. Run through
// scripts/wine-run; prints a Markdown table.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "ports/engine/port_facts_cache.h"
#include "ports/win32/port_facts_win32.h"
#include "tests/bench/wine/bench_stats.h"
#include "tests/win32/port_device_node.h"

namespace {

constexpr int kAdapters = 32;
constexpr int kFirstPort = 100;
constexpr int kSamples = 101;

void PrintRow(const char* what, const Summary& s) {
    std::printf("| %s | %zu | %.3f | %.3f | %.3f |\n", what, s.count, s.median, s.q1, s.q3);
}

}  // namespace

int main() {
    std::vector<std::unique_ptr<PortDeviceNode>> nodes;
    PortRows rows;
    for (int i = 0; i < kAdapters; ++i) {
        const std::string port = "COM" + std::to_string(kFirstPort + i);
        PortDeviceFields fields;
        fields.instanceId = "USB\\VID_0403&PID_6001\\BENCH" + std::to_string(i);
        fields.port = port;
        fields.friendlyName = "USB Serial Port (" + port + ")";
        fields.hardwareIds = std::string("USB\\VID_0403&PID_6001&REV_0600") + '\0';
        fields.manufacturer = "FTDI";
        fields.comPortInterface = true;
        nodes.push_back(std::make_unique<PortDeviceNode>(fields));
        if (nodes.back()->Error() != 0) {
            std::fprintf(stderr, "device node not made: %lu\n", nodes.back()->Error());
            return 1;
        }
        rows.push_back(PortRow{"\\Device\\Serial" + std::to_string(i), port});
    }

    PortFactsCache cache(ReadPortFacts);
    std::vector<double> walks;
    std::vector<double> kept;
    for (int sample = 0; sample < kSamples; ++sample) {
        cache.Forget();
        const Stopwatch walk;
        cache.Fill(rows);
        walks.push_back(walk.ElapsedMs());
        const Stopwatch answer;
        cache.Fill(rows);
        kept.push_back(answer.ElapsedMs());
    }
    if (cache.Walks() != kSamples || rows.back().facts.description.empty()) {
        std::fprintf(stderr, "walks %d, last description '%s'\n", cache.Walks(),
                     rows.back().facts.description.c_str());
        return 1;
    }
    std::printf("| %d registered adapters, ms | samples | median | q1 | q3 |\n", kAdapters);
    std::printf("|---|---|---|---|---|\n");
    PrintRow("walk (Forget, then Fill)", Summarize(walks));
    PrintRow("Fill of unchanged ports", Summarize(kept));
    return 0;
}
