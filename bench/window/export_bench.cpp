// Measures the rows leaving the Qt window, through the real window and its commands: every row copied to
// the clipboard (time; memory before, at its peak during the copy, and after), the copy read back by
// another program as a paste does (xclip), and every row saved as CSV (time, peak, bytes a second).
//   velmora-export-bench [COPY_ROWS] [SAVE_ROWS] [FOLDER]
// COPY_ROWS defaults to 1000000, SAVE_ROWS to 100000000, FOLDER (where the CSV goes, then removed) to the
// system's temporary folder. Run it on an X server (Xvfb) for the system's clipboard; the peaks come from
// /proc (VmHWM, reset before each measure), so the figures are Linux's.

#include "window/commands/row_export.h"
#include "window/qt/velm.h"

#include <QApplication>
#include <QClipboard>
#include <QEventLoop>
#include <QMimeData>
#include <QProcess>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

using namespace velmora;

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// A line of /proc/self/status in MiB: VmRSS now, VmHWM the peak since the last reset.
double statusMiB(const std::string& key) {
    std::ifstream status("/proc/self/status");
    std::string word;
    while (status >> word)
        if (word == key + ":") {
            double kib = 0;
            status >> kib;
            return kib / 1024;
        }
    return 0;
}

void resetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

void generate(std::size_t rows, SolutionSink& sink) {
    std::array<Solution, 1024> batch{};
    for (std::size_t done = 0; done < rows;) {
        const std::size_t n = std::min(batch.size(), rows - done);
        for (std::size_t i = 0; i < n; ++i) {
            batch[i].sum = 1500;
            for (std::size_t k = 0; k < 8; ++k)
                batch[i].values[k] = static_cast<std::int16_t>(((done + i) >> (2 * k)) & 3);
        }
        sink.accept(std::span(batch.data(), n));
        done += n;
    }
}

void fill(Velm& velm, std::size_t& rowsToMake, std::size_t rows) {
    velm.Command3_Click();
    rowsToMake = rows;
    const auto start = Clock::now();
    velm.Command1_Click();
    std::printf("%zu rows in the window (%.1f s), memory %.0f MiB\n", rows, secondsSince(start), statusMiB("VmRSS"));
}

void measureCopy(Velm& velm) {
    const double before = statusMiB("VmRSS");
    resetPeak();
    const auto start = Clock::now();
    velm.rowExport().copyAllRows();
    const double seconds = secondsSince(start);
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    const qsizetype bytes = data ? data->data(QStringLiteral("text/plain")).size() : 0; // shared, not copied
    std::printf("copy all: %.3f s for %lld bytes; memory %.0f MiB before, peak %.0f MiB, %.0f MiB after\n", seconds,
                static_cast<long long>(bytes), before, statusMiB("VmHWM"), statusMiB("VmRSS"));

    // Another program reads the clipboard while this one serves it, as a paste does.
    resetPeak();
    QProcess reader;
    reader.setStandardOutputFile(QProcess::nullDevice());
    QEventLoop loop;
    QObject::connect(&reader, &QProcess::finished, &loop, &QEventLoop::quit);
    const auto pasted = Clock::now();
    reader.start(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-o")});
    if (reader.waitForStarted())
        loop.exec();
    std::printf("read back by xclip: %.3f s (exit %d); peak %.0f MiB while serving it\n", secondsSince(pasted),
                reader.exitCode(), statusMiB("VmHWM"));
}

void measureSave(Velm& velm, const std::filesystem::path& file) {
    resetPeak();
    const double before = statusMiB("VmRSS");
    const auto start = Clock::now();
    const std::string reason = saveCsvFile(file, velm.setup(), velm.resultColumns().store());
    const double seconds = secondsSince(start);
    std::error_code error;
    const double bytes = static_cast<double>(std::filesystem::file_size(file, error));
    std::printf("save as CSV: %.1f s, %.0f MB (%.0f MB/s)%s%s; memory %.0f MiB before, peak %.0f MiB\n", seconds,
                bytes / 1e6, bytes / 1e6 / seconds, reason.empty() ? "" : ", failed: ", reason.c_str(), before,
                statusMiB("VmHWM"));
    std::filesystem::remove(file, error);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const std::size_t copyRows = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1'000'000;
    const std::size_t saveRows = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 100'000'000;
    const std::filesystem::path folder = argc > 3 ? std::filesystem::path(argv[3]) : std::filesystem::temp_directory_path();
    std::size_t rowsToMake = 0;
    Velm velm(machineRowLimit(), [&rowsToMake](const SearchSetup&, SolutionSink& sink) { generate(rowsToMake, sink); });
    velm.show();
    QCoreApplication::processEvents();
    std::printf("the window shown: memory %.0f MiB\n", statusMiB("VmRSS"));

    fill(velm, rowsToMake, copyRows);
    measureCopy(velm);
    if (saveRows > 0) {
        fill(velm, rowsToMake, saveRows);
        measureSave(velm, folder / "velmora-export-bench.csv");
    }
    return 0;
}
