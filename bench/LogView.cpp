// The cost of one log view entry (displayLogs) when the log already holds 10, 1,000 or 10,000
// entries, with the Preferences window hidden (as it mostly is) and shown (the entry then also paints,
// offscreen). The entry is appended at the end of the document, so its cost should not grow with the
// log; the summary at the end gives the ratios between the sizes. With the window shown, a log longer
// than a screenful also scrolls the view on every entry, which repaints all its visible lines.
//
// Every iteration appends one entry and, untimed, removes it again, so the log keeps its size.
#include "BenchKit.h"
#include "FakeHost.h"
#include "TestApplication.h"
#include "app/AppDelegate.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <regex>

using namespace tolvane;

namespace {

const QString EntryText =
    QStringLiteral("Tolvane is running at http://127.0.0.1:8008/ (data: /home/user/.tolvane)");

void removeLastEntry(QPlainTextEdit& view)
{
    // An entry is a line feed and one line: the last block and the separator before it.
    QTextCursor cursor(view.document());
    cursor.movePosition(QTextCursor::End);
    cursor.movePosition(QTextCursor::StartOfBlock, QTextCursor::KeepAnchor);
    cursor.movePosition(QTextCursor::PreviousCharacter, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}

void BM_DisplayLogs(benchmark::State& state)
{
    const int entries = static_cast<int>(state.range(0));
    const bool shown = state.range(1) != 0;

    tolvane::testing::FakeHost fake;
    ScopedHost installed(fake);
    AppDelegate controller;
    controller.loadInterface();
    controller.applicationWillFinishLaunching();
    QPlainTextEdit& view = *controller.outlets.taskLogs;
    if (shown) {
        // The log is on one of the window's tabs: that one is brought to the front.
        if (auto* tabs = controller.outlets.window->findChild<QTabWidget*>()) {
            for (int i = 0; i < tabs->count(); ++i) {
                if (tabs->widget(i)->isAncestorOf(&view))
                    tabs->setCurrentIndex(i);
            }
        }
        controller.outlets.window->resize(640, 480);
        controller.outlets.window->show();
        QCoreApplication::processEvents();
        if (!view.isVisible()) {
            state.SkipWithError("the log view is not visible");
            return;
        }
    }
    for (int i = 0; i < entries; ++i)
        controller.displayLogs(QStringLiteral("entry %1: %2").arg(i).arg(EntryText));
    QCoreApplication::processEvents();
    const int blocks = view.document()->blockCount();

    for (auto _ : state) {
        controller.displayLogs(EntryText);
        if (shown)
            QCoreApplication::processEvents(); // the repaint the entry asked for
        state.PauseTiming();
        removeLastEntry(view);
        if (shown)
            QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    if (view.document()->blockCount() != blocks)
        state.SkipWithError("the log did not keep its size");
    state.counters["entries"] = entries;
}
BENCHMARK(BM_DisplayLogs)
    ->ArgNames({"entries", "shown"})
    ->ArgsProduct({{10, 100, 1000, 10000}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

// The console report, and the figures kept for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    SummaryReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        static const std::regex name(R"(entries:(\d+)/shown:(\d))");
        for (const Run& run : runs) {
            std::smatch match;
            const std::string benchmarkName = run.benchmark_name();
            if (run.run_type != Run::RT_Iteration || run.error_occurred ||
                !std::regex_search(benchmarkName, match, name))
                continue;
            // Microseconds per entry, the benchmark's unit.
            perEntry[std::stoi(match[2])][std::stoi(match[1])] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void printSummary() const
    {
        std::printf("[4] Log view, wall time of one displayLogs entry by the number of entries already in "
                    "the log:\n");
        for (const auto& [shown, bySize] : perEntry) {
            std::printf("    window %-7s", shown ? "shown:" : "hidden:");
            for (const auto& [size, us] : bySize)
                std::printf("  %5d: %7.1f us", size, us);
            // Once the view is full, an entry scrolls it and repaints every visible line: the test of
            // growth with the log is therefore between the two largest logs, both far past a screenful.
            if (bySize.count(1000) && bySize.count(10000) && bySize.count(10)) {
                const double tail = bySize.at(10000) / bySize.at(1000);
                std::printf("   10000/1000 x%.2f, 10000/10 x%.2f%s", tail, bySize.at(10000) / bySize.at(10),
                            tail > 1.5 ? "  <- grows with the log" : "");
            }
            std::printf("\n");
        }
    }

private:
    std::map<int, std::map<int, double>> perEntry;
};

} // namespace

int main(int argc, char* argv[])
{
    tolvane::testing::defaultToOffscreenPlatform();
    benchmark::Initialize(&argc, argv);
    QApplication application(argc, argv);
    tolvane::bench::prepareApplication();
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printSummary();
    benchmark::Shutdown();
    return 0;
}
