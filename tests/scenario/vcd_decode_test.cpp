// The pin trace read back by an independent decoder: sigrok-cli's parallel-bus decoder, clocked
// by WR's rising edge, must find on D0-D15 and RS the very words the display module latched
// during a screen change.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "panel_harness.hpp"
#include "panel_models.hpp"
#include "pin_trace.hpp"
#include "project/_frame0.hpp"
#include "support/scratch_path.hpp"

namespace {

// Runs a command and returns its standard output; the exit status in status.
std::string Output(const std::string& command, int& status) {
    std::string out;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        status = -1;
        return out;
    }
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) {
        out.append(buffer, n);
    }
    status = pclose(pipe);
    return out;
}

TEST(PinTrace, TheDisplayBusDecodesToTheWordsTheControllerLatched) {
    int status = 0;
    Output("command -v sigrok-cli >/dev/null 2>&1", status);
    ASSERT_EQ(status, 0) << "sigrok-cli is missing (Debian package sigrok-cli): it decodes the trace";

    sim::PanelHarness panel;
    sim::Board& board = panel.board();
    ASSERT_EQ(panel.runUntil([] { return _CurrentFrame == 1; }, 3000.0), sim::StopReason::Condition);
    panel.runForMs(500);  // screen 1 painted, the bus quiet

    const std::string path = testsupport::ScratchPath("bus.vcd");
    sim::trace::PinTraceOptions options;
    options.groups = sim::trace::kDisplay;
    options.window.start = board.scheduler().nowPs() / 1000;
    std::string why;
    sim::trace::PinTrace* trace = sim::trace::PinTrace::Attach(board, path, options, &why);
    ASSERT_NE(trace, nullptr) << why;
    // RS beside the word: index writes and data writes must not be confused either.
    std::vector<uint32_t> latched;
    sim::DisplayOf(board).setWordTap([&latched](const sim::DisplayModule::Latched& word) {
        latched.push_back((word.data ? 0x10000u : 0u) | word.word);
    });

    // WEJDZ on screen 1: the change to screen 2, a full repaint.
    sim::TouchOf(board).press(158, 171);
    panel.runForMs(100);
    sim::TouchOf(board).release();
    ASSERT_EQ(panel.runUntil([] { return _CurrentFrame == 2; }, 500.0), sim::StopReason::Condition);
    panel.runForMs(200);
    sim::DisplayOf(board).setWordTap(nullptr);
    const sim::trace::PinTrace::Summary summary = trace->finish();
    ASSERT_GT(latched.size(), 76800u) << "a screen change repaints every pixel at least once";
    EXPECT_EQ(summary.late, 0u);

    // One sample a processor cycle (20 ns at 50 MHz): every store lands on a sample. The decoder
    // takes at most 16 lines, so RS is a bus of its own on the same clock.
    // sigrok takes the dump's first values as changes from 0, so WR, high when the window opens,
    // shows a rising edge at the window's first sample: that item is no strobe.
    const std::string firstSample = std::to_string(options.window.start / 20);
    const auto decode = [&path, &firstSample](const std::string& channels,
                                              std::vector<uint32_t>& items) {
        const std::string errors = path + ".err";
        int status = 0;
        const std::string out =
            Output("sigrok-cli -i " + path + " -I vcd:downsample=20 -P parallel:clk=PF1_WR:" +
                       channels + ":clock_edge=rising -A parallel=items --protocol-decoder-samplenum 2>" + errors,
                   status);
        std::string stderrText;
        if (std::FILE* f = std::fopen(errors.c_str(), "r")) {
            char buffer[4096];
            stderrText.append(buffer, std::fread(buffer, 1, sizeof(buffer), f));
            std::fclose(f);
        }
        std::remove(errors.c_str());
        // Debian's libsigrokdecode 0.5.3 drops a reference to Python's True or False in the
        // parallel decoder's wait, and the interpreter aborts on it at exit, after the decoder
        // has printed everything (the counts below hold it to that).
        const bool abortAtExit = WIFEXITED(status) == 0 || WEXITSTATUS(status) == 134;
        const bool knownAbort = abortAtExit &&
                                stderrText.find("bool_dealloc") != std::string::npos &&
                                stderrText.find("runtime state: finalizing") != std::string::npos;
        ASSERT_TRUE(status == 0 || knownAbort) << "sigrok-cli: " << stderrText;
        size_t at = 0;
        while (at < out.size()) {
            const size_t end = out.find('\n', at);
            const std::string line = out.substr(at, end - at);
            at = end == std::string::npos ? out.size() : end + 1;
            const size_t colon = line.find(": ");
            ASSERT_NE(colon, std::string::npos) << "not a decoder line: " << line;
            if (line.rfind(firstSample + "-", 0) == 0) {
                continue;
            }
            items.push_back(static_cast<uint32_t>(std::strtoul(line.c_str() + colon + 2, nullptr, 16)));
        }
    };
    // The decoder takes at most eight data lines: the low byte, the high byte and RS are three
    // buses on the same clock, put together item by item.
    const auto byteLines = [](char port, int firstBit) {
        std::string lines;
        for (int pin = 0; pin < 8; ++pin) {
            lines += std::string(pin == 0 ? "" : ":") + "d" + std::to_string(pin) + "=P" + port +
                     std::to_string(pin) + "_DB" + std::to_string(firstBit + pin);
        }
        return lines;
    };
    std::vector<uint32_t> low;
    std::vector<uint32_t> high;
    std::vector<uint32_t> rs;
    decode(byteLines('B', 0), low);
    decode(byteLines('A', 8), high);
    decode("d0=PF2_RS", rs);
    // The decoder reports an item when the next strobe comes: the bus's last word stays unsaid.
    ASSERT_EQ(low.size(), latched.size() - 1);
    ASSERT_EQ(high.size(), low.size());
    ASSERT_EQ(rs.size(), low.size());
    for (size_t i = 0; i < low.size(); ++i) {
        ASSERT_EQ(rs[i] << 16 | high[i] << 8 | low[i], latched[i])
            << "word " << i << " of " << latched.size();
    }
    std::remove(path.c_str());
}

}  // namespace
