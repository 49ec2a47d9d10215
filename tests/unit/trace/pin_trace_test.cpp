// The pin trace's writer and its speaker wire: a dump cut to its window and kept in time order
// whatever order the changes came in, and the key click's PWM as the speaker model heard it.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "panel_models.hpp"
#include "periph/sysctl.hpp"
#include "pin_trace.hpp"
#include "sound/beep.hpp"
#include "sound/sound.hpp"
#include "support/fresh_board.hpp"
#include "support/scratch_path.hpp"
#include "vcd_writer.hpp"

namespace {

using sim::trace::VcdWriter;

std::string Read(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(VcdWriter, CutsToTheWindowAndPutsLateAndEarlyChangesInOrder) {
    const std::string path = testsupport::ScratchPath("w.vcd");
    std::FILE* file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    VcdWriter writer(file, VcdWriter::Window{100, 300});
    const int a = writer.addWire("x", "A", '0');
    const int b = writer.addWire("y", "B", '1');
    writer.begin("test");
    writer.change(a, 50, '1');             // before the window: only its value at 100 shows
    writer.change(b, 150, '0');
    writer.changeOutOfOrder(a, 120, '0');  // dated before a change already given
    writer.changeOutOfOrder(b, 250, 'z');  // dated ahead
    writer.change(a, 200, '1');
    writer.change(a, 200, '1');  // a repeat writes nothing
    writer.release(210);
    writer.changeOutOfOrder(a, 205, '0');  // too late: written at the earliest open time
    writer.change(b, 400, '1');            // after the window
    writer.finish(500);
    std::fclose(file);
    EXPECT_EQ(Read(path),
              "$comment test $end\n$timescale 1ns $end\n$scope module panel $end\n"
              "$scope module x $end\n$var wire 1 ! A $end\n$upscope $end\n"
              "$scope module y $end\n$var wire 1 \" B $end\n$upscope $end\n"
              "$upscope $end\n$enddefinitions $end\n"
              "#100\n$dumpvars\n1!\n1\"\n$end\n"
              "#120\n0!\n#150\n0\"\n#200\n1!\n#210\n0!\n#250\nz\"\n#300\n");
    EXPECT_EQ(writer.changesLate(), 1u);
    EXPECT_EQ(writer.changesWritten(), 5u);
    std::remove(path.c_str());
}

// (time, level) of one wire's changes in a dump.
std::vector<std::pair<uint64_t, char>> Changes(const std::string& dump, const std::string& name) {
    const size_t var = dump.find(" " + name + " $end");
    const size_t idStart = dump.rfind(' ', var - 1) + 1;
    const std::string id = dump.substr(idStart, var - idStart);
    std::vector<std::pair<uint64_t, char>> out;
    std::istringstream lines(dump.substr(dump.find("$enddefinitions")));
    std::string line;
    uint64_t time = 0;
    while (std::getline(lines, line)) {
        if (!line.empty() && line[0] == '#') {
            time = std::stoull(line.substr(1));
        } else if (line.size() == id.size() + 1 && line.substr(1) == id) {
            out.emplace_back(time, line[0]);
        }
    }
    return out;
}

TEST(PinTrace, TheKeyClickOnTheSpeakerPinIsTheToneTheSpeakerPlayed) {
    sim::Board& board = FreshBoard();
    SysCtlClockSet(sysctl::kConfig50MHzFromPll8MHzCrystal);
    SoundInit();
    const std::string path = testsupport::ScratchPath("speaker.vcd");
    sim::trace::PinTraceOptions options;
    options.groups = sim::trace::kSpeaker;
    std::string why;
    sim::trace::PinTrace* trace = sim::trace::PinTrace::Attach(board, path, options, &why);
    ASSERT_NE(trace, nullptr) << why;
    hmi_Beep();
    SysCtlDelay(50'000'000 / 3 / 1000 * 300);
    trace->finish();

    const auto tones = sim::SpeakerOf(board).audibleTones();
    ASSERT_EQ(tones.size(), 1u);
    const sim::Speaker::Tone& click = tones[0];
    const auto changes = Changes(Read(path), "PC7_SPEAKER");
    // Inside the tone: a pulse of the match value every period (inverted PWM: high is the pulse).
    constexpr uint64_t kNsPerClock = 20;
    std::vector<uint64_t> rises;
    for (size_t i = 0; i + 1 < changes.size(); ++i) {
        const double ms = static_cast<double>(changes[i].first) / 1e6;
        if (changes[i].second != '1' || ms < click.startMs || ms >= click.endMs) {
            continue;
        }
        rises.push_back(changes[i].first);
        ASSERT_EQ(changes[i + 1].second, '0');
        EXPECT_NEAR(static_cast<double>(changes[i + 1].first - changes[i].first),
                    static_cast<double>(click.pulseClocks * kNsPerClock), 1.0);
    }
    ASSERT_GE(rises.size(), 2u);
    EXPECT_NEAR(static_cast<double>(rises.size()), click.durationMs() * click.hz / 1000.0, 1.0);
    for (size_t i = 1; i < rises.size(); ++i) {
        EXPECT_NEAR(static_cast<double>(rises[i] - rises[i - 1]),
                    static_cast<double>(click.periodClocks * kNsPerClock), 1.0);
    }
    // Muted: the pin is the port's again, held low.
    ASSERT_FALSE(changes.empty());
    EXPECT_EQ(changes.back().second, '0');
    for (const auto& [time, level] : changes) {
        if (static_cast<double>(time) / 1e6 >= click.endMs) {
            EXPECT_EQ(level, '0') << "at " << time << " ns, after the tone";
        }
    }
    std::remove(path.c_str());
}

}  // namespace
