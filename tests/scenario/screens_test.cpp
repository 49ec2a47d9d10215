// The whole panel on the simulated board, operated through its touch panel: the five screens,
// navigation, and the values that cross between the screens and the remote module.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "panel_harness.hpp"
#include "panel_models.hpp"
#include "project/_dict.hpp"
#include "project/_frame0.hpp"
#include "project/_frame2.hpp"
#include "project/_frame3.hpp"
#include "project/_frame4.hpp"
#include "project/pictures.hpp"
#include "remote_module.hpp"
#include "support/cycle_probe.hpp"
#include "uart.hpp"
#include "vars/pvar.hpp"

namespace {

using sim::StopReason;

// A colour as the panel shows it: cut to 5-6-5 and widened again.
uint32_t Shown565(uint32_t value) {
    const uint32_t r = (value >> 11) & 0x1F;
    const uint32_t g = (value >> 5) & 0x3F;
    const uint32_t b = value & 0x1F;
    return ((r << 3 | r >> 2) << 16) | ((g << 2 | g >> 4) << 8) | (b << 3 | b >> 2);
}
uint32_t Shown(uint32_t rgb) {
    const uint32_t r = (rgb >> 16) & 0xFF;
    const uint32_t g = (rgb >> 8) & 0xFF;
    const uint32_t b = rgb & 0xFF;
    return Shown565((r >> 3) << 11 | (g >> 2) << 5 | b >> 3);
}

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kBlue = 0x1E5689;
constexpr uint32_t kGrey = 0xDEDEDE;

struct Point {
    int x;
    int y;
};
// Centres of the navigation buttons of screens 2 to 5, by target screen.
constexpr Point kNavigation[6] = {{}, {}, {47, 208}, {120, 208}, {193, 208}, {265, 208}};
constexpr Point kEnter = {158, 171};
constexpr Point kSendMail = {155, 92};
constexpr Point kSendSms = {156, 143};

// Deliveries of queued messages, watched through the entry points the queue delivers with:
// pointer messages whose delivery has finished (the screen change a release caused included),
// and whether a delivery is under way.
uint32_t g_downsDelivered = 0;
uint32_t g_upsDelivered = 0;
uint32_t g_deliveriesRunning = 0;
uint32_t WatchedPostOrder(WidgetRecord* widget, uint32_t message, uint32_t param1, uint32_t param2,
                          uint32_t stop) {
    ++g_deliveriesRunning;
    const uint32_t result = RAM_WidgetMessageSendPostOrder(widget, message, param1, param2, stop);
    --g_deliveriesRunning;
    g_downsDelivered += message == MSG_POINTER_DOWN ? 1 : 0;
    g_upsDelivered += message == MSG_POINTER_UP ? 1 : 0;
    return result;
}
uint32_t WatchedPreOrder(WidgetRecord* widget, uint32_t message, uint32_t param1, uint32_t param2,
                         uint32_t stop) {
    ++g_deliveriesRunning;
    const uint32_t result = RAM_WidgetMessageSendPreOrder(widget, message, param1, param2, stop);
    --g_deliveriesRunning;
    return result;
}

// Nothing queued, nothing being delivered, no control cycle running: the screen is up to date.
bool Quiet() {
    return g_ulMQRead == g_ulMQWrite && g_deliveriesRunning == 0 &&
           cycle_probe::g_started == cycle_probe::Completed();
}

class Panel : public ::testing::Test {
  protected:
    void SetUp() override {
        module_ = &sim::RemoteModuleOf(panel_.board());
        module_->process().setRunning(false);
        ASSERT_EQ(panel_.runUntil([this] { return panel_.core().idleTurns() > 0; }, 1000.0),
                  StopReason::Condition);
        cycle_probe::Install(panel_.board());
        WidgetMessageSendPostOrder = WatchedPostOrder;
        WidgetMessageSendPreOrder = WatchedPreOrder;
    }

    sim::TouchPanel& touch() { return sim::TouchOf(panel_.board()); }
    uint32_t Pixel(int x, int y) { return sim::DisplayOf(panel_.board()).screenRgb(x, y); }
    bool RunCycles(size_t n) { return cycle_probe::RunCycles(panel_, n); }
    // Runs until the paints a cycle or a touch queued have been carried out.
    bool Settle() { return panel_.runUntil(Quiet, 300.0) == StopReason::Condition; }

    // A finger on the point until the firmware has seen it (after 28 ms of contact) and
    // delivered the pointer-down.
    void Press(Point p) {
        const uint32_t downs = g_downsDelivered;
        touch().press(p.x, p.y);
        ASSERT_EQ(panel_.runUntil([downs] { return g_downsDelivered > downs; }, 100.0),
                  StopReason::Condition);
    }
    // Lifted; the pointer-up arrives some 12 ms later and may build a whole screen.
    void Lift() {
        const uint32_t ups = g_upsDelivered;
        touch().release();
        ASSERT_EQ(panel_.runUntil([ups] { return g_upsDelivered > ups; }, 200.0),
                  StopReason::Condition);
    }
    void Tap(Point p) {
        Press(p);
        Lift();
    }
    // Taps the navigation button of the target; true when that screen is then shown.
    bool Navigate(uint32_t frame) {
        Tap(kNavigation[frame]);
        return _CurrentFrame == frame;
    }

    // A pixel that tells each screen from the others.
    bool Showing(uint32_t frame) {
        switch (frame) {
            case 1:
                return Pixel(224, 198) == Shown(kBlack) && Pixel(100, 150) == Shown(kBlue);
            case 2:
                return Pixel(59, 127) != Shown(kWhite) && Pixel(140, 82) == Shown(kWhite);
            case 3:
                return Pixel(100, 102) == Shown(kGrey) && Pixel(300, 140) == Shown(kWhite);
            case 4:
                return Pixel(140, 82) == Shown(kGrey) && Pixel(100, 102) == Shown(kWhite);
            case 5:
                return Pixel(300, 140) == Shown(kGrey) && Pixel(140, 82) == Shown(kBlue);
            default:
                return false;
        }
    }

    // True when the LED check box shows the picture: its centre pixel as drawn.
    bool LedShows(const WidgetRecord& box, const uint8_t* picture) {
        const int x = box.position.xmin + 41;
        const int y = box.position.ymin + 41;
        const size_t i = 5 + 2 * (40 * 80 + 40);
        return Pixel(x, y) == Shown565(picture[i] | picture[i + 1] << 8);
    }

    // The last write the module received: word i of its register block.
    int LastWritten(int i) const {
        for (auto it = module_->exchanges().rbegin(); it != module_->exchanges().rend(); ++it) {
            if (it->request.size() == 53 && it->request[1] == 16) {
                return it->request[7 + 2 * i] << 8 | it->request[8 + 2 * i];
            }
        }
        return -1;
    }

    sim::PanelHarness panel_;
    sim::RemoteModule* module_ = nullptr;
};

TEST_F(Panel, StartUpShowsTheWelcomeScreen) {
    EXPECT_EQ(_CurrentFrame, 1u);
    EXPECT_TRUE(Showing(1));
    EXPECT_EQ(Pixel(0, 0), Shown(kWhite));
    EXPECT_EQ(Pixel(95, 147), Shown(0x3C4E5A)) << "the button's outline";
    int caption = 0;  // white caption pixels inside the button
    int text = 0;     // dark pixels of the bottom-right text
    int logo = 0;     // anything but white where the logo stands
    for (int y = 148; y <= 194; ++y) {
        for (int x = 96; x <= 220; ++x) {
            caption += Pixel(x, y) == Shown(kWhite) ? 1 : 0;
        }
    }
    for (int y = 226; y <= 239; ++y) {
        for (int x = 257; x <= 319; ++x) {
            text += Pixel(x, y) == Shown(kBlack) ? 1 : 0;
        }
    }
    for (int y = 30; y < 95; ++y) {
        for (int x = 9; x < 309; ++x) {
            logo += Pixel(x, y) != Shown(kWhite) ? 1 : 0;
        }
    }
    EXPECT_GT(caption, 40);
    EXPECT_GT(text, 40);
    EXPECT_GT(logo, 2000);
    EXPECT_TRUE(panel_.board().faults().empty());
}

TEST_F(Panel, EveryNavigationButtonReachesItsScreen) {
    Tap(kEnter);
    ASSERT_EQ(_CurrentFrame, 2u);
    EXPECT_TRUE(Showing(2));
    for (uint32_t from = 2; from <= 5; ++from) {
        for (uint32_t to = 2; to <= 5; ++to) {
            if (_CurrentFrame != from) {
                ASSERT_TRUE(Navigate(from));
            }
            EXPECT_TRUE(Navigate(to)) << from << " -> " << to;
            EXPECT_TRUE(Showing(to)) << from << " -> " << to;
        }
    }
    EXPECT_TRUE(panel_.board().faults().empty());
}

TEST_F(Panel, APressSlidOffANavigationButtonStillChangesTheScreen) {
    Tap(kEnter);
    ASSERT_EQ(_CurrentFrame, 2u);
    Press(kNavigation[3]);
    // Off the button, across a LED, and lifted there.
    touch().press(120, 150);
    panel_.runForMs(40);
    touch().press(160, 127);
    panel_.runForMs(40);
    EXPECT_EQ(_CurrentFrame, 2u) << "not before the release";
    Lift();
    EXPECT_EQ(_CurrentFrame, 3u);
    EXPECT_TRUE(Showing(3));
    EXPECT_EQ(Dev_1_AO1.flags & VAR_FLAG_WRITE, 0) << "the LED under the finger was not touched";
}

TEST_F(Panel, LedsFollowTheModuleAndATapSwitchesOne) {
    module_->process().set(0, 1);
    module_->process().set(2, 1);
    Tap(kEnter);
    ASSERT_EQ(_CurrentFrame, 2u);
    ASSERT_TRUE(RunCycles(2));
    EXPECT_TRUE(LedShows(CheckBox47, ObjectList6_1_pucImage_Picture9));
    EXPECT_TRUE(LedShows(CheckBox57, ObjectList48_0_pucImage_Picture9));
    EXPECT_TRUE(LedShows(CheckBox68, ObjectList63_1_pucImage_Picture9));
    ASSERT_FALSE(LedShows(CheckBox57, ObjectList48_1_pucImage_Picture9)) << "the lamps differ";

    Tap({160, 127});
    EXPECT_EQ(CheckBox57.style & CB_SELECTED, CB_SELECTED);
    EXPECT_TRUE(LedShows(CheckBox57, ObjectList48_1_pucImage_Picture9)) << "at once";
    EXPECT_EQ(Dev_1_AO1.value, 1);
    ASSERT_TRUE(RunCycles(1));
    EXPECT_EQ(module_->process().read(1), 1) << "written through the poller";
    EXPECT_EQ(LastWritten(1), 1);

    module_->process().set(2, 0);  // the module switches the USER LED off
    ASSERT_TRUE(RunCycles(3));
    EXPECT_EQ(CheckBox68.style & CB_SELECTED, 0);
    EXPECT_TRUE(LedShows(CheckBox68, ObjectList63_0_pucImage_Picture9));
    EXPECT_TRUE(LedShows(CheckBox57, ObjectList48_1_pucImage_Picture9));
}

TEST_F(Panel, InputLabelsShowTheModulesInputsWithinACycleOfEntering) {
    const int inputs[] = {3, 4, 5, 6, 7, 8, 9, 16, 17, 18, 19};
    CanvasRecord* const labels[] = {&Label11,  &Label53,  &Label131, &Label136,
                                    &Label141, &Label147, &Label152, &Label160,
                                    &Label165, &Label169, &Label173};
    for (int i : inputs) {
        module_->process().set(i, static_cast<uint16_t>(50 * i + 1));  // fits a label
    }
    ASSERT_TRUE(RunCycles(2));  // read while the welcome screen shows nothing
    ASSERT_EQ(Dev_1_AO19.value, 951);

    Tap(kEnter);
    Press(kNavigation[3]);
    touch().release();
    ASSERT_EQ(panel_.runUntil([] { return _CurrentFrame == 3; }, 100.0), StopReason::Condition);
    const size_t startedAtEntry = cycle_probe::g_started;
    const double entryMs = panel_.nowMs();
    for (CanvasRecord* label : labels) {
        EXPECT_STREQ(label->text, "0") << "the first visit starts from the initial text";
    }
    ASSERT_EQ(panel_.runUntil([] { return std::string(Label173.text) == "951"; }, 300.0),
              StopReason::Condition);
    EXPECT_EQ(cycle_probe::g_started, startedAtEntry + 1) << "the first cycle after entering";
    EXPECT_LT(panel_.nowMs() - entryMs, 100.0);
    ASSERT_TRUE(Settle());
    for (size_t k = 0; k < 11; ++k) {
        EXPECT_EQ(labels[k]->text, std::to_string(50 * inputs[k] + 1)) << k;
    }
    // Label11 at (59, 61)-(82, 81): black digits inside its grey box.
    int black = 0;
    for (int y = 62; y <= 80; ++y) {
        for (int x = 60; x <= 81; ++x) {
            black += Pixel(x, y) == Shown(kBlack) ? 1 : 0;
        }
    }
    EXPECT_GT(black, 25);

    // A change while another screen shows is seen on the next visit.
    ASSERT_TRUE(Navigate(2));
    module_->process().set(5, 77);
    ASSERT_TRUE(RunCycles(2));
    EXPECT_STREQ(Label131.text, "251");
    ASSERT_TRUE(Navigate(3));
    EXPECT_STREQ(Label131.text, "251") << "the buffer keeps the last text";
    ASSERT_TRUE(RunCycles(1));
    ASSERT_TRUE(Settle());
    EXPECT_STREQ(Label131.text, "77");
}

TEST_F(Panel, OutputCheckBoxesWriteAndTakeTheirStateOnlyOnEntry) {
    module_->process().set(12, 1);  // PO1 already on
    ASSERT_TRUE(RunCycles(2));
    Tap(kEnter);
    ASSERT_TRUE(Navigate(4));
    EXPECT_EQ(CheckBox46.style & CB_SELECTED, CB_SELECTED);
    EXPECT_EQ(CheckBox16.style & CB_SELECTED, 0);

    Tap({50, 80});  // DO1
    EXPECT_EQ(CheckBox16.style & CB_SELECTED, CB_SELECTED);
    EXPECT_EQ(Dev_1_AO10.value, 1);
    ASSERT_TRUE(RunCycles(1));
    ASSERT_TRUE(Settle());
    EXPECT_EQ(module_->process().read(10), 1);
    EXPECT_STREQ(Label22.text, "1");

    module_->process().set(10, 0);  // switched off at the module
    ASSERT_TRUE(RunCycles(2));
    ASSERT_TRUE(Settle());
    EXPECT_STREQ(Label22.text, "0") << "the label follows";
    EXPECT_EQ(CheckBox16.style & CB_SELECTED, CB_SELECTED) << "the box does not";

    ASSERT_TRUE(Navigate(2));
    ASSERT_TRUE(Navigate(4));
    EXPECT_EQ(CheckBox16.style & CB_SELECTED, 0) << "until the screen is entered again";
    EXPECT_TRUE(Showing(4));
}

TEST_F(Panel, ASendPressedAndReleasedWithinOneCycleWritesOnlyZero) {
    Tap(kEnter);
    ASSERT_TRUE(Navigate(5));
    ASSERT_TRUE(RunCycles(1));  // just after a cycle
    const size_t before = cycle_probe::Completed();
    touch().press(kSendSms.x, kSendSms.y);
    ASSERT_EQ(panel_.runUntil([] { return Dev_1_AO20.value == 1; }, 60.0), StopReason::Condition);
    touch().release();
    ASSERT_EQ(panel_.runUntil([] { return Dev_1_AO20.value == 0; }, 40.0), StopReason::Condition);
    ASSERT_EQ(cycle_probe::Completed(), before) << "both within one cycle";
    EXPECT_EQ(Dev_1_AO20.flags & VAR_FLAG_WRITE, VAR_FLAG_WRITE);

    ASSERT_TRUE(RunCycles(1));
    EXPECT_EQ(LastWritten(20), 0) << "the write carries 0";
    EXPECT_TRUE(module_->process().events().empty()) << "the module never saw 1";
}

TEST_F(Panel, ASendHeldAcrossACycleWritesOneFirstAndTheModuleLogsTheRequest) {
    Tap(kEnter);
    ASSERT_TRUE(Navigate(5));
    Press(kSendMail);
    ASSERT_EQ(Dev_1_AO21.value, 1);
    ASSERT_TRUE(RunCycles(2));
    EXPECT_EQ(module_->process().read(21), 1);
    EXPECT_EQ(Pixel(kSendMail.x, 80), Shown(kBlack)) << "shown pressed while held";
    // Slid off before lifting: the release still writes 0.
    touch().press(20, 60);
    panel_.runForMs(40);
    Lift();
    EXPECT_EQ(Dev_1_AO21.value, 0);
    EXPECT_EQ(Pixel(kSendMail.x, 80), Shown(kBlue));
    ASSERT_TRUE(RunCycles(2));
    EXPECT_EQ(module_->process().read(21), 0);
    ASSERT_EQ(module_->process().events().size(), 1u);
    EXPECT_EQ(module_->process().events()[0].kind, remote_io::Event::Kind::Email);

    Press(kSendSms);
    ASSERT_TRUE(RunCycles(2));
    Lift();
    ASSERT_TRUE(RunCycles(2));
    ASSERT_FALSE(module_->process().events().empty());
    EXPECT_EQ(module_->process().events().back().kind, remote_io::Event::Kind::Sms);
}

}  // namespace
