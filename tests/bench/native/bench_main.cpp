// Runs the benchmarks with the reporter the flags choose, and ends with a failing status when
// any of them reported an error: a broken invariant must not pass as a figure.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

class ErrorNotingReporter : public benchmark::BenchmarkReporter {
public:
    explicit ErrorNotingReporter(benchmark::BenchmarkReporter* display) : m_display(display) {}

    bool ReportContext(const Context& context) override {
        return m_display->ReportContext(context);
    }
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) m_bError = m_bError || run.error_occurred;
        m_display->ReportRuns(runs);
    }
    void Finalize() override { m_display->Finalize(); }
    bool AnyError() const { return m_bError; }

private:
    std::unique_ptr<benchmark::BenchmarkReporter> m_display;
    bool m_bError = false;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    ErrorNotingReporter reporter(benchmark::CreateDefaultDisplayReporter());
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return reporter.AnyError() ? 1 : 0;
}
