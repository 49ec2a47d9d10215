// What the operator sees, pinned pixel for pixel: the panel is driven through its touch panel and
// its module to each state below, and the simulated display's picture must equal the PNG in
// tests/golden/. A mismatch leaves NAME.actual.png and NAME.diff.png (changed pixels in red on a
// faded copy of the expected picture) beside the golden one. After an intended change,
// PANEL_UPDATE_GOLDEN=1 rewrites the golden pictures instead of comparing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>

#include "panel_harness.hpp"
#include "panel_models.hpp"
#include "png_io.hpp"
#include "project/_frame0.hpp"
#include "remote_module.hpp"
#include "uart.hpp"

namespace {

using sim::StopReason;

// The panel after start-up, with the module's process stopped so its registers hold still.
class Panel {
  public:
    explicit Panel(sim::DisplayController controller) : panel_(Config(controller)) {
        sim::RemoteModuleOf(panel_.board()).process().setRunning(false);
        // Idle in the main loop: the welcome screen is up.
        EXPECT_EQ(panel_.runUntil([this] { return panel_.core().idleTurns() > 0; }, 1000.0),
                  StopReason::Condition);
    }
    // A register of the module; the poller carries it to the firmware's variable.
    void Module(int reg, uint16_t value) {
        sim::RemoteModuleOf(panel_.board()).process().set(reg, value);
    }
    // A finger down long enough to be reported and the press drawn, but not lifted.
    void Press(int x, int y) {
        sim::TouchOf(panel_.board()).press(x, y);
        panel_.runForMs(100);
    }
    void Tap(int x, int y) {
        sim::TouchOf(panel_.board()).press(x, y);
        panel_.runForMs(60);
        sim::TouchOf(panel_.board()).release();
        panel_.runForMs(200);  // released 12 ms later, then the next screen is built
    }
    void Wait(double ms) { panel_.runForMs(ms); }
    sim::PanelHarness& harness() { return panel_; }

  private:
    static sim::BoardConfig Config(sim::DisplayController controller) {
        sim::BoardConfig config;
        config.panel.controller = controller;
        return config;
    }
    sim::PanelHarness panel_;
};

// Centres of the buttons that lead from screen to screen.
constexpr int kEnter[] = {158, 171};
constexpr int kNav[6][2] = {{}, {}, {47, 208}, {120, 208}, {193, 208}, {265, 208}};

void Goto(Panel& p, int frame) {
    p.Tap(kEnter[0], kEnter[1]);
    if (frame != 2) {
        p.Tap(kNav[frame][0], kNav[frame][1]);
    }
}

// The registers screen 3 shows, left to right and top to bottom.
constexpr int kInputs[] = {3, 4, 5, 6, 7, 8, 9, 16, 17, 18, 19};

void Inputs(Panel& p, const uint16_t (&values)[11]) {
    for (int i = 0; i < 11; ++i) {
        p.Module(kInputs[i], values[i]);
    }
    Goto(p, 3);
    p.Wait(300);
}

struct Case {
    const char* name;
    sim::DisplayController controller;
    std::function<void(Panel&)> drive;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

const Case kCases[] = {
    {"screen1", sim::DisplayController::HX8347A, [](Panel&) {}},
    {"screen1_hx8347g", sim::DisplayController::HX8347G, [](Panel&) {}},
    {"screen2", sim::DisplayController::HX8347A, [](Panel& p) { Goto(p, 2); }},
    {"screen3", sim::DisplayController::HX8347A, [](Panel& p) { Goto(p, 3); }},
    {"screen4", sim::DisplayController::HX8347A, [](Panel& p) { Goto(p, 4); }},
    {"screen5", sim::DisplayController::HX8347A, [](Panel& p) { Goto(p, 5); }},
    {"screen2_lamp1_on", sim::DisplayController::HX8347A,
     [](Panel& p) {
         p.Module(0, 1);
         Goto(p, 2);
         p.Wait(300);
     }},
    {"screen2_lamp2_on", sim::DisplayController::HX8347A,
     [](Panel& p) {
         p.Module(1, 1);
         Goto(p, 2);
         p.Wait(300);
     }},
    {"screen2_lamp3_on", sim::DisplayController::HX8347A,
     [](Panel& p) {
         p.Module(2, 1);
         Goto(p, 2);
         p.Wait(300);
     }},
    {"screen3_values_0", sim::DisplayController::HX8347A,
     [](Panel& p) {
         Inputs(p, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
     }},
    {"screen3_values_999", sim::DisplayController::HX8347A,
     [](Panel& p) {
         Inputs(p, {999, 999, 999, 999, 999, 999, 999, 999, 999, 999, 999});
     }},
    {"screen3_values_overflowing", sim::DisplayController::HX8347A,
     [](Panel& p) {
         Inputs(p, {1000, 1001, 9999, 10000, 13365, 32767, 32768, 65535, 4096, 2000, 1234});
     }},
    {"screen4_all_ticked", sim::DisplayController::HX8347A,
     [](Panel& p) {
         Goto(p, 4);
         constexpr int kBoxes[6][2] = {{56, 80},   {200, 80}, {56, 118},
                                       {200, 118}, {56, 156}, {200, 156}};
         for (const auto& box : kBoxes) {
             p.Tap(box[0], box[1]);
         }
         p.Wait(300);  // the labels follow the module
     }},
    {"screen2_navigation_pressed", sim::DisplayController::HX8347A,
     [](Panel& p) {
         Goto(p, 2);
         p.Press(kNav[3][0], kNav[3][1]);
     }},
    {"screen5_send_pressed", sim::DisplayController::HX8347A,
     [](Panel& p) {
         Goto(p, 5);
         p.Press(155, 92);
     }},
};

pngio::RgbImage Screen(sim::PanelHarness& panel) {
    const sim::DisplayModule& display = sim::DisplayOf(panel.board());
    pngio::RgbImage image;
    image.width = sim::DisplayModule::kScreenWidth;
    image.height = sim::DisplayModule::kScreenHeight;
    image.pixels.resize(static_cast<size_t>(image.width) * image.height);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            image.at(x, y) = display.screenRgb(x, y);
        }
    }
    return image;
}

// Changed pixels in red; the rest a faded copy of the expected picture, for orientation.
pngio::RgbImage Difference(const pngio::RgbImage& expected, const pngio::RgbImage& actual) {
    pngio::RgbImage diff = actual;
    for (size_t i = 0; i < diff.pixels.size(); ++i) {
        if (expected.pixels[i] != actual.pixels[i]) {
            diff.pixels[i] = 0xFF0000;
            continue;
        }
        uint32_t faded = 0;
        for (int shift = 0; shift <= 16; shift += 8) {
            const uint32_t c = (expected.pixels[i] >> shift) & 0xFF;
            faded |= (0xC0 + c / 4) << shift;
        }
        diff.pixels[i] = faded;
    }
    return diff;
}

class Golden : public ::testing::TestWithParam<Case> {};

TEST_P(Golden, ScreenMatchesItsPicture) {
    const Case& c = GetParam();
    Panel panel(c.controller);
    c.drive(panel);
    ASSERT_TRUE(panel.harness().board().faults().empty())
        << panel.harness().board().faults()[0].what;
    const pngio::RgbImage actual = Screen(panel.harness());

    const std::string base = std::string(PANEL_GOLDEN_DIR) + "/" + c.name;
    const std::string goldenPath = base + ".png";
    std::string error;
    const char* update = std::getenv("PANEL_UPDATE_GOLDEN");
    if (update != nullptr && *update != '\0' && *update != '0') {
        ASSERT_TRUE(pngio::Write(goldenPath, actual, error)) << error;
        std::remove((base + ".actual.png").c_str());
        std::remove((base + ".diff.png").c_str());
        return;
    }
    pngio::RgbImage expected;
    ASSERT_TRUE(pngio::Read(goldenPath, expected, error))
        << error << " (PANEL_UPDATE_GOLDEN=1 writes it)";
    ASSERT_EQ(expected.width, actual.width);
    ASSERT_EQ(expected.height, actual.height);
    int changed = 0;
    int left = actual.width, top = actual.height, right = -1, bottom = -1;
    for (int y = 0; y < actual.height; ++y) {
        for (int x = 0; x < actual.width; ++x) {
            if (expected.at(x, y) != actual.at(x, y)) {
                ++changed;
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    if (changed == 0) {
        return;
    }
    const std::string actualPath = base + ".actual.png";
    const std::string diffPath = base + ".diff.png";
    ASSERT_TRUE(pngio::Write(actualPath, actual, error)) << error;
    ASSERT_TRUE(pngio::Write(diffPath, Difference(expected, actual), error)) << error;
    ADD_FAILURE() << c.name << ": " << changed << " pixels differ within (" << left << ", " << top
                  << ")-(" << right << ", " << bottom << ")\n  expected " << goldenPath
                  << "\n  actual   " << actualPath << "\n  diff     " << diffPath;
}

INSTANTIATE_TEST_SUITE_P(Panel, Golden, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
