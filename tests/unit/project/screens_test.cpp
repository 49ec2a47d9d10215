// The five screens on a recording display: what each adds to the tree and binds, how their
// pictures layer, and how values reach labels and LEDs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <vector>

#include "project/_dict.hpp"
#include "project/_frame0.hpp"
#include "project/_frame1.hpp"
#include "project/_frame2.hpp"
#include "project/_frame3.hpp"
#include "project/_frame4.hpp"
#include "project/_frame5.hpp"
#include "project/ladder2c.hpp"
#include "project/pictures.hpp"
#include "support/fresh_board.hpp"
#include "support/recording_display.hpp"
#include "support/screen_display.hpp"
#include "widgets/widget.hpp"

namespace {

using testsupport::RecordingDisplay;

const std::map<uint32_t, std::vector<WidgetRecord*>> kScreens = {
    {1, {&CanvasFrame1, &TextPushButton71}},
    {2,
     {&CanvasFrame2, &TextPushButton77, &TextPushButton79, &TextPushButton81, &TextPushButton83,
      &CheckBox47, &CheckBox57, &CheckBox68}},
    {3,
     {&CanvasFrame3, &TextPushButton10, &TextPushButton39, &TextPushButton41, &TextPushButton56,
      &Label11, &Label53, &Label131, &Label136, &Label141, &Label147, &Label152, &Label160,
      &Label165, &Label169, &Label173}},
    {4,
     {&CanvasFrame4, &TextPushButton60, &TextPushButton62, &TextPushButton85, &TextPushButton87,
      &CheckBox16, &CheckBox21, &Label23, &CheckBox46, &CheckBox155, &CheckBox178, &CheckBox183,
      &Label13, &Label17, &Label22, &Label35, &Label36}},
    {5,
     {&CanvasFrame5, &TextPushButton91, &TextPushButton93, &TextPushButton95, &TextPushButton97,
      &TextPushButton28, &TextPushButton30}},
};

VarRecord* const kRemote[22] = {&Dev_1_AO0,  &Dev_1_AO1,  &Dev_1_AO2,  &Dev_1_AO3,  &Dev_1_AO4,
                                &Dev_1_AO5,  &Dev_1_AO6,  &Dev_1_AO7,  &Dev_1_AO8,  &Dev_1_AO9,
                                &Dev_1_AO10, &Dev_1_AO11, &Dev_1_AO12, &Dev_1_AO13, &Dev_1_AO14,
                                &Dev_1_AO15, &Dev_1_AO16, &Dev_1_AO17, &Dev_1_AO18, &Dev_1_AO19,
                                &Dev_1_AO20, &Dev_1_AO21};

// Register indexes shown while each screen is current.
const std::map<uint32_t, std::vector<int>> kBound = {
    {1, {}},
    {2, {0, 1, 2}},
    {3, {3, 4, 5, 6, 7, 8, 9, 16, 17, 18, 19}},
    {4, {10, 11, 12, 13, 14, 15}},
    {5, {20, 21}},
};

std::vector<WidgetRecord*> Children() {
    std::vector<WidgetRecord*> children;
    for (WidgetRecord* w = g_sRoot.child; w != nullptr; w = w->next) {
        children.push_back(w);
    }
    return children;
}

class Screens : public ::testing::Test {
  protected:
    void SetUp() override {
        FreshBoard();
        testsupport::UseAsPanel(display_);
    }
    // One control cycle's output pass, then the paints it queued.
    void OutputPass() {
        (void)default_output(1);
        WidgetMessageQueueProcess();
    }
    uint32_t Native(uint32_t rgb) const { return RecordingDisplay::Native(rgb); }
    // True when the box shows the 80 x 80 16-bit picture at its corner + (1, 1), clipped to it.
    bool ShowsPicture(const WidgetRecord& box, const uint8_t* picture) const {
        const Rect& p = box.position;
        for (int y = p.ymin + 1; y <= p.ymax; ++y) {
            for (int x = p.xmin + 1; x <= p.xmax; ++x) {
                const size_t i = 5 + 2 * (static_cast<size_t>(y - p.ymin - 1) * 80 +
                                          static_cast<size_t>(x - p.xmin - 1));
                const uint32_t value = picture[i] | picture[i + 1] << 8;
                if (display_.at(x, y) != RecordingDisplay::Native565(value)) {
                    return false;
                }
            }
        }
        return true;
    }
    RecordingDisplay display_;
};

TEST_F(Screens, EachScreenAddsItsWidgetsInOrderAndRemovesThemAll) {
    for (uint32_t frame : {1u, 2u, 3u, 4u, 5u, 3u, 1u}) {
        hmi_GotoFrame(frame);
        EXPECT_EQ(Children(), kScreens.at(frame)) << "frame " << frame;
        for (const auto& [other, widgets] : kScreens) {
            for (WidgetRecord* w : widgets) {
                EXPECT_EQ(w->parent, &g_sRoot);
                EXPECT_EQ(w->display, &g_sDisplayDriverROM);
                EXPECT_EQ(w->child, nullptr);
                if (other != frame) {
                    EXPECT_EQ(w->next, nullptr) << "frame " << other << " left the tree";
                }
            }
        }
    }
}

TEST_F(Screens, OnlyTheVariablesOfTheScreenShownHaveADisplay) {
    for (uint32_t frame : {2u, 3u, 4u, 5u, 1u, 4u}) {
        for (VarRecord* v : kRemote) {
            v->dirty = 0;
        }
        hmi_GotoFrame(frame);
        const std::vector<int>& bound = kBound.at(frame);
        for (int i = 0; i < 22; ++i) {
            const bool shown = std::find(bound.begin(), bound.end(), i) != bound.end();
            EXPECT_EQ(kRemote[i]->display_proc != nullptr, shown) << "frame " << frame << ", " << i;
            EXPECT_EQ(kRemote[i]->dirty, shown ? 1 : 0) << "frame " << frame << ", " << i;
        }
    }
}

TEST_F(Screens, PicturesLayerInTheirDrawingOrder) {
    hmi_GotoFrame(1);
    EXPECT_EQ(display_.touched(), 320u * 240u);
    EXPECT_EQ(display_.at(0, 0), Native(0xFFFFFF));
    EXPECT_EQ(display_.at(100, 150), Native(0x1E5689)) << "WEJDZ";
    EXPECT_EQ(display_.at(95, 147), Native(0x3C4E5A)) << "its outline";
    EXPECT_EQ(display_.at(224, 198), Native(0x000000)) << "its shadow, right";
    EXPECT_EQ(display_.at(150, 199), Native(0x000000)) << "its shadow, below";
    EXPECT_EQ(display_.at(224, 150), Native(0xFFFFFF)) << "above the shadow";

    hmi_GotoFrame(3);
    EXPECT_EQ(display_.at(150, 40), Native(0x1E5689)) << "the header's rule";
    EXPECT_EQ(display_.at(81, 222), Native(0x000000)) << "a navigation button's shadow";
    EXPECT_EQ(display_.at(60, 208), Native(0x1E5689)) << "the button over it";
    EXPECT_EQ(display_.at(100, 102), Native(0xDEDEDE)) << "the second row's separator";
    EXPECT_EQ(display_.at(55, 102), Native(0xFFFFFF)) << "a bar drawn again over it";
    EXPECT_EQ(display_.at(55, 60), Native(0xFFFFFF)) << "a bar over its grey cell";
    EXPECT_EQ(display_.at(24, 62), Native(0xDEDEDE)) << "the cell beside its caption";
    EXPECT_EQ(display_.at(140, 130), Native(0xFFFFFF)) << "the empty cell";

    hmi_GotoFrame(5);
    EXPECT_EQ(display_.at(50, 90), Native(0xDEDEDE)) << "the band";
    EXPECT_EQ(display_.at(100, 90), Native(0xFFFFFF)) << "the white frame";
    EXPECT_EQ(display_.at(208, 108), Native(0x000000)) << "the send button's shadow";
    EXPECT_EQ(display_.at(108, 80), Native(0x1E5689)) << "WYSLIJ MAIL";
}

TEST_F(Screens, LabelsShowTheirVariablesInDecimalFromTheirOwnBuffers) {
    hmi_GotoFrame(3);
    EXPECT_STREQ(Label131.text, "0") << "until the first cycle";
    var_set(&Dev_1_AO5, 999);
    var_set(&Dev_1_AO19, INT32_MIN);  // the longest text a value can have
    OutputPass();
    EXPECT_STREQ(Label131.text, "999");
    EXPECT_STREQ(Label173.text, "##") << "too wide for the label";
    EXPECT_STREQ(Label11.text, "0");
    EXPECT_NE(Label131.text, Label11.text) << "each label has its own buffer";
    EXPECT_EQ(Dev_1_AO5.dirty, 0);

    // The label repainted: black digits on grey, inside its clip (274, 61)-(295, 79).
    int black = 0;
    for (int y = 60; y <= 80; ++y) {
        for (int x = 273; x <= 296; ++x) {
            black += display_.at(x, y) == Native(0x000000) ? 1 : 0;
        }
    }
    EXPECT_GT(black, 30);
    EXPECT_EQ(display_.at(273, 60), Native(0xDEDEDE));
    EXPECT_EQ(display_.at(296, 70), Native(0xDEDEDE)) << "the outline is kept";

    // Hidden, a label keeps its text and a variable changes only itself.
    hmi_GotoFrame(2);
    var_set(&Dev_1_AO5, 7);
    OutputPass();
    EXPECT_STREQ(Label131.text, "999");
    EXPECT_EQ(Dev_1_AO5.dirty, 1);
    hmi_GotoFrame(3);
    EXPECT_STREQ(Label131.text, "999") << "shown first from the buffer";
    OutputPass();
    EXPECT_STREQ(Label131.text, "7");
}

// A value label never shows a number cut at its edge: what does not fit its inside (22 pixels on
// screen 3, 27 on screen 4; '1' and '3' are 6 wide, the other digits 7, '-' 4) becomes a row
// of '#'.
TEST_F(Screens, ValueLabelsShowAnOverflowMarkInsteadOfACutNumber) {
    struct Case {
        int frame;
        VarRecord* variable;
        const CanvasRecord* label;
        int32_t value;
        const char* shown;
    };
    const Case cases[] = {
        {3, &Dev_1_AO5, &Label131, 0, "0"},       {3, &Dev_1_AO5, &Label131, 999, "999"},
        {3, &Dev_1_AO5, &Label131, 1000, "##"},   {3, &Dev_1_AO5, &Label131, 13365, "##"},
        {3, &Dev_1_AO5, &Label131, 65535, "##"},  {3, &Dev_1_AO5, &Label131, -99, "-99"},
        {3, &Dev_1_AO5, &Label131, -100, "##"},   {3, &Dev_1_AO19, &Label173, INT32_MIN, "##"},
        {4, &Dev_1_AO10, &Label22, 1, "1"},       {4, &Dev_1_AO10, &Label22, 999, "999"},
        {4, &Dev_1_AO10, &Label22, -999, "-999"}, {4, &Dev_1_AO10, &Label22, 1000, "1000"},
        {4, &Dev_1_AO15, &Label17, 2000, "##"},   {4, &Dev_1_AO15, &Label17, 65535, "##"},
    };
    for (const Case& c : cases) {
        if (_CurrentFrame != static_cast<uint32_t>(c.frame)) {
            hmi_GotoFrame(static_cast<uint32_t>(c.frame));
        }
        var_set(c.variable, c.value);
        OutputPass();
        EXPECT_STREQ(c.label->text, c.shown) << c.value << " on screen " << c.frame;
    }
}

TEST_F(Screens, ALabelPaintTheQueueRefusesIsRetriedByTheNextCycle) {
    hmi_GotoFrame(3);
    OutputPass();
    WidgetRecord other = {sizeof(WidgetRecord), nullptr, nullptr, nullptr, nullptr, {}, nullptr};
    while (WidgetMessageQueueAdd(&other, MSG_PAINT, 0, 0, 0, 0) != 0) {
    }
    var_set(&Dev_1_AO5, 9);
    (void)default_output(1);
    EXPECT_STREQ(Label131.text, "9");
    EXPECT_EQ(Dev_1_AO5.dirty, 1) << "still to be shown";

    g_ulMQRead = g_ulMQWrite;  // the queue drained elsewhere
    display_.clearCalls();
    OutputPass();
    EXPECT_EQ(Dev_1_AO5.dirty, 0);
    bool repainted = false;
    for (const auto& call : display_.calls()) {
        repainted |= call.op == RecordingDisplay::Op::RectFill && call.x == 273 && call.y == 60;
    }
    EXPECT_TRUE(repainted);
}

TEST_F(Screens, LedsShowThePictureOfTheValuesLowestBit) {
    const uint8_t* off = ObjectList6_0_pucImage_Picture9;
    const uint8_t* on = ObjectList6_1_pucImage_Picture9;
    var_set(&Dev_1_AO1, 1);
    hmi_GotoFrame(2);
    EXPECT_TRUE(ShowsPicture(CheckBox47, off));
    EXPECT_FALSE(ShowsPicture(CheckBox47, on));
    EXPECT_TRUE(ShowsPicture(CheckBox57, on)) << "entered while its variable holds 1";
    EXPECT_EQ(CheckBox57.style & CB_SELECTED, CB_SELECTED);
    EXPECT_EQ(CheckBox47.style & CB_SELECTED, 0);

    var_set(&Dev_1_AO0, 1);
    display_.clearCalls();
    OutputPass();
    EXPECT_TRUE(ShowsPicture(CheckBox47, on));
    EXPECT_EQ(display_.count(RecordingDisplay::Op::Flush), 6u)
        << "each of the three LEDs drawn twice by the first cycle after entry, each flushed";

    var_set(&Dev_1_AO0, 2);
    OutputPass();
    EXPECT_EQ(CheckBox47.style & CB_SELECTED, CB_SELECTED) << "ticked by a non-zero value";
    EXPECT_TRUE(ShowsPicture(CheckBox47, off)) << "but showing the picture of 2 % 2";

    // A negative value shows the picture of its lowest bit too.
    DrawCheckBox47(&CheckBox47, -1);
    EXPECT_TRUE(ShowsPicture(CheckBox47, on));
    DrawCheckBox47(&CheckBox47, -2);
    EXPECT_TRUE(ShowsPicture(CheckBox47, off));
}

}  // namespace
