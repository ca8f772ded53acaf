// Measures the result columns with the real window on Qt's offscreen platform (or the display given in
// QT_QPA_PLATFORM): how long N rows take to append during a search and to show after it ends, how many
// bytes each row costs, and how long scrolling and selecting take at any depth.
//   velmora-window-bench [ROWS] [--engine]
// ROWS defaults to 10000000. With --engine the rows come from combinationSearch over a setup with exactly
// ROWS solutions (a multiple of 1000); without it, straight from a generator in batches of 1024, as the
// engines hand them on, so the figures are the window's alone.

#include "search/combination_search.h"
#include "window/qt/result_list.h"
#include "window/qt/velm.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QDir>
#include <QFile>
#include <QScrollBar>
#include <QTemporaryDir>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

using namespace velmora;

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Resident memory of the process in bytes, where the system tells it (Linux); 0 elsewhere.
std::size_t residentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0, resident = 0;
    if (statm >> pages >> resident)
        return resident * 4096;
    return 0;
}

void generate(std::size_t rows, SolutionSink& sink) {
    std::array<Solution, 1024> batch{};
    std::size_t done = 0;
    while (done < rows) {
        const std::size_t n = std::min(batch.size(), rows - done);
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t r = done + i;
            batch[i].sum = 1500;
            for (std::size_t k = 0; k < 8; ++k)
                batch[i].values[k] = static_cast<std::int16_t>((r >> (2 * k)) & 3);
        }
        sink.accept(std::span(batch.data(), n));
        done += n;
    }
}

// A setup with exactly `rows` solutions: weights 0 and target 0, terms 1..3 over 0..9 and the rest
// covering rows / 1000.
SearchSetup setupWithRows(std::size_t rows) {
    SearchSetup setup;
    std::size_t rest = rows / 1000;
    for (int k = 1; k <= 8; ++k) {
        std::size_t span = k <= 3 ? 10 : 1;
        if (k > 3 && rest > 1) {
            span = std::min<std::size_t>(rest, 30000);
            while (rest % span != 0)
                --span;
            rest /= span;
        }
        setup.term(k).first = 0;
        setup.term(k).last = static_cast<std::int16_t>(span - 1);
    }
    return setup;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::size_t rows = 10'000'000;
    bool engine = false;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--engine")
            engine = true;
        else
            rows = std::strtoull(argv[i], nullptr, 10);
    }

    Clock::time_point searchEnd;
    double searchSeconds = 0;
    const SearchSetup engineSetup = setupWithRows(rows);
    Velm window(RowStore::kDefaultLimit, [&](const SearchSetup&, SolutionSink& sink) {
        const auto start = Clock::now();
        if (engine)
            combinationSearch(engineSetup, sink);
        else
            generate(rows, sink);
        searchEnd = Clock::now();
        searchSeconds = std::chrono::duration<double>(searchEnd - start).count();
    });
    // A valid settings file in a temporary current directory, so that loading shows no message.
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    QFile settings(QStringLiteral("text-2x.ini"));
    if (!settings.open(QIODevice::WriteOnly))
        return 1;
    settings.write(QByteArray("0\r\n").repeated(33));
    settings.close();
    window.show();
    QCoreApplication::processEvents();
    const std::size_t residentBefore = residentBytes();

    window.Command1_Click(); // the search above ignores the loaded setup
    window.repaint();        // paints all nine lists now, scroll bars included
    const double showSeconds = secondsSince(searchEnd);
    const std::size_t held = window.resultColumns().rowCount();
    const std::size_t residentAfter = residentBytes();

    std::printf("rows appended           %zu (%s)\n", held, engine ? "combinationSearch" : "generated");
    std::printf("search with appends     %.3f s\n", searchSeconds);
    std::printf("shown after search end  %.3f s\n", showSeconds);
    std::printf("row store               %.2f bytes/row for all nine lists\n",
                double(window.resultColumns().store().bytesAllocated()) / double(held));
    if (residentAfter > 0)
        std::printf("process growth          %.2f bytes/row (resident memory)\n",
                    double(residentAfter - residentBefore) / double(held));

    // Scrolling and selecting at random depths, each followed by a full paint of the list.
    auto* list = window.findChild<ResultList*>(QStringLiteral("List2"));
    std::mt19937 random(42);
    std::uniform_int_distribution<int> anyRow(0, int(held) - 1);
    double worstScroll = 0, worstSelect = 0, worstKey = 0;
    for (int i = 0; i < 200; ++i) {
        auto start = Clock::now();
        list->verticalScrollBar()->setValue(anyRow(random));
        list->viewport()->repaint();
        worstScroll = std::max(worstScroll, secondsSince(start));
        start = Clock::now();
        list->setCurrentRow(anyRow(random));
        list->viewport()->repaint();
        worstSelect = std::max(worstSelect, secondsSince(start));
        start = Clock::now();
        QKeyEvent key(QEvent::KeyPress, i % 2 ? Qt::Key_End : Qt::Key_PageUp, Qt::NoModifier);
        QCoreApplication::sendEvent(list, &key);
        list->viewport()->repaint();
        worstKey = std::max(worstKey, secondsSince(start));
    }
    std::printf("worst scroll + paint    %.2f ms\n", worstScroll * 1e3);
    std::printf("worst select + paint    %.2f ms\n", worstSelect * 1e3);
    std::printf("worst End/PgUp + paint  %.2f ms\n", worstKey * 1e3);

    const auto start = Clock::now();
    window.Command3_Click();
    window.repaint();
    std::printf("reset + paint           %.3f s\n", secondsSince(start));
    return 0;
}
