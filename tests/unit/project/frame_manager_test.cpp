// The frame manager: names, settling the queue, entering frames.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "project/_dict.hpp"
#include "project/_frame0.hpp"
#include "project/_frame3.hpp"
#include "project/ladder2c.hpp"
#include "support/fresh_board.hpp"
#include "support/recording_display.hpp"
#include "support/screen_display.hpp"
#include "widgets/widget.hpp"

namespace {

TEST(FrameManager, IndexOfFrameIsExactAndCaseSensitive) {
    EXPECT_EQ(hmi_IndexOfFrame("Frame1"), 1u);
    EXPECT_EQ(hmi_IndexOfFrame("Frame3"), 3u);
    EXPECT_EQ(hmi_IndexOfFrame("Frame5"), 5u);
    EXPECT_EQ(hmi_IndexOfFrame("frame3"), 0u);
    EXPECT_EQ(hmi_IndexOfFrame("Frame"), 0u);
    EXPECT_EQ(hmi_IndexOfFrame("Frame33"), 0u);
    EXPECT_EQ(hmi_IndexOfFrame("Frame6"), 0u);
    EXPECT_EQ(hmi_IndexOfFrame(""), 0u);
    EXPECT_EQ(hmi_IndexOfFrame(nullptr), 0u);
}

// A widget that records the messages it receives.
std::vector<uint32_t> g_received;
uint32_t Record(WidgetRecord*, uint32_t message, uint32_t, uint32_t) {
    g_received.push_back(message);
    return 0;
}

class FrameManagerQueue : public ::testing::Test {
  protected:
    void SetUp() override {
        FreshBoard();
        testsupport::UseAsPanel(display_);
        QueueMessages();
    }
    void QueueMessages() {
        WidgetAdd(&g_sRoot, &widget_);
        // Pending: a paint of the old screen between touches that arrived meanwhile.
        ASSERT_EQ(WidgetPointerMessage(MSG_POINTER_DOWN, 10, 10), 1u);
        ASSERT_EQ(WidgetMessageQueueAdd(&widget_, MSG_PAINT, 0, 0, 0, 0), 1u);
        ASSERT_EQ(WidgetPointerMessage(MSG_POINTER_MOVE, 11, 10), 1u);
        ASSERT_EQ(WidgetMessageQueueAdd(&widget_, MSG_PAINT, 0, 0, 0, 0), 1u);
        ASSERT_EQ(WidgetPointerMessage(MSG_POINTER_UP, 11, 10), 1u);
    }
    // The two pending paints delivered, the pointer messages dropped; a frame entered then
    // paints the whole tree once more.
    void ExpectSettled(size_t screenPaints = 0) {
        EXPECT_EQ(g_received, std::vector<uint32_t>(2 + screenPaints, MSG_PAINT))
            << "paints delivered, pointer messages dropped";
        EXPECT_EQ(g_ulMQRead, g_ulMQWrite) << "the queue ends empty";
    }
    testsupport::RecordingDisplay display_;
    WidgetRecord widget_ = {sizeof(WidgetRecord), nullptr, nullptr, nullptr, nullptr,
                            {0, 0, 319, 239},     Record};
};

TEST_F(FrameManagerQueue, UnknownFramesOnlySettleTheQueue) {
    bool first = true;
    for (uint32_t frame : {0u, 6u, 0xFFFFFFFFu}) {
        if (!first) {
            g_received.clear();
            QueueMessages();
        }
        first = false;
        _CurrentFrame = 4;
        hmi_GotoFrame(frame);
        ExpectSettled();
        EXPECT_EQ(_CurrentFrame, 4u) << frame;
        EXPECT_EQ(table_init_flag, 0u) << "no frame entered: the cycle stays off";
        EXPECT_EQ(__var_table[0], nullptr);
        WidgetRemove(&widget_);
    }
    g_received.clear();
    QueueMessages();
    hmi_GotoFrameByName("frame2");
    ExpectSettled();
    EXPECT_EQ(_CurrentFrame, 4u);
}

TEST_F(FrameManagerQueue, EnteringAFrameSettlesTheQueueThenFillsTheTable) {
    hmi_GotoFrameByName("Frame2");
    ExpectSettled(1);
    EXPECT_EQ(_CurrentFrame, 2u);
    EXPECT_EQ(table_init_flag, 1u);
    EXPECT_EQ(__var_table[0], &Dev_1_AO0);
    EXPECT_EQ(__var_table[28], &start);
}

TEST(FrameManager, EveryFrameEntryRefillsTheTableAndSetsTheFlag) {
    FreshBoard();
    testsupport::RecordingDisplay display;
    testsupport::UseAsPanel(display);
    for (uint32_t frame = 1; frame <= kFrameCount; ++frame) {
        table_init_flag = 0;
        for (auto& entry : __var_table) {
            entry = nullptr;
        }
        hmi_GotoFrame(frame);
        EXPECT_EQ(_CurrentFrame, frame);
        EXPECT_EQ(table_init_flag, 1u) << frame;
        for (uint32_t i = 0; i < kVarTableSize; ++i) {
            ASSERT_NE(__var_table[i], nullptr) << "frame " << frame << " entry " << i;
        }
        EXPECT_EQ(__var_table[25], &Dev_1_ERROR);
    }
}

// Entry points replaced to watch a screen being torn down and rebuilt.
std::vector<std::pair<char, WidgetRecord*>> g_treeChanges;
void WatchedAdd(WidgetRecord* parent, WidgetRecord* widget) {
    g_treeChanges.emplace_back('+', widget);
    RAM_WidgetAdd(parent, widget);
}
void WatchedRemove(WidgetRecord* widget) {
    g_treeChanges.emplace_back('-', widget);
    RAM_WidgetRemove(widget);
}

std::vector<WidgetRecord*> Children(const WidgetRecord& parent) {
    std::vector<WidgetRecord*> children;
    for (WidgetRecord* w = parent.child; w != nullptr; w = w->next) {
        children.push_back(w);
    }
    return children;
}

TEST_F(FrameManagerQueue, EnteringTheFrameAlreadyShownTearsItDownAndRebuildsIt) {
    hmi_GotoFrame(3);
    std::vector<WidgetRecord*> screen = Children(g_sRoot);
    ASSERT_EQ(screen.front(), &widget_);
    screen.erase(screen.begin());
    ASSERT_EQ(screen.size(), 16u) << "canvas, navigation bar, eleven labels";
    // A value shown during this visit stays in its label's buffer.
    var_set(&Dev_1_AO3, 42);
    (void)default_output(1);
    WidgetMessageQueueProcess();  // the label paints it queued
    ASSERT_STREQ(Label11.text, "42");

    g_received.clear();
    for (auto& entry : __var_table) {
        entry = nullptr;
    }
    QueueMessages();
    display_.fill(testsupport::RecordingDisplay::kUntouched);
    Dev_1_AO3.dirty = 0;
    WidgetAdd = WatchedAdd;
    WidgetRemove = WatchedRemove;
    hmi_GotoFrame(3);
    WidgetAdd = RAM_WidgetAdd;
    WidgetRemove = RAM_WidgetRemove;

    ExpectSettled(1);
    EXPECT_EQ(_CurrentFrame, 3u);
    EXPECT_EQ(__var_table[10], &Dev_1_AO10) << "the entry routine ran again";
    std::vector<std::pair<char, WidgetRecord*>> expected;
    for (WidgetRecord* w : screen) {
        expected.emplace_back('-', w);
    }
    for (WidgetRecord* w : screen) {
        expected.emplace_back('+', w);
    }
    EXPECT_EQ(g_treeChanges, expected) << "every widget removed, then every widget added";
    std::vector<WidgetRecord*> after = Children(g_sRoot);
    after.erase(after.begin());
    EXPECT_EQ(after, screen);
    EXPECT_EQ(display_.touched(), 320u * 240u) << "the whole screen repainted";
    EXPECT_STREQ(Label11.text, "42");
    EXPECT_EQ(Dev_1_AO3.display_proc, display_Dev_1_AO3);
    EXPECT_EQ(Dev_1_AO3.dirty, 1) << "bound again: shown in the next cycle";
}

}  // namespace
