// Widget tree, delivery order, pointer tracking and the message queue.
#include "widgets/widget.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "project/_frame0.hpp"
#include "support/fresh_board.hpp"

namespace {

struct Delivery {
    std::string widget;
    uint32_t message;
    uint32_t param1;
    uint32_t param2;
};

std::vector<Delivery> g_log;

// A widget that logs what it receives and answers with a fixed result.
struct TestWidget {
    WidgetRecord header;
    const char* name;
    uint32_t result;
    void (*onMessage)(TestWidget& self, uint32_t message, uint32_t param1);
};

uint32_t TestWidgetProc(WidgetRecord* widget, uint32_t message, uint32_t param1, uint32_t param2) {
    auto& self = *reinterpret_cast<TestWidget*>(widget);
    g_log.push_back({self.name, message, param1, param2});
    if (self.onMessage != nullptr) {
        self.onMessage(self, message, param1);
    }
    return self.result;
}

TestWidget MakeWidget(const char* name, uint32_t result = 0) {
    TestWidget w{};
    w.header.size = sizeof(TestWidget);
    w.header.msgProc = TestWidgetProc;
    w.name = name;
    w.result = result;
    return w;
}

std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (const auto& d : g_log) {
        names.push_back(d.widget);
    }
    return names;
}

uint32_t QueueLength() {
    return (g_ulMQWrite - g_ulMQRead) & (kMessageQueueSize - 1);
}

std::vector<uint32_t> g_nullCalls;
uint32_t NullProc(WidgetRecord* widget, uint32_t message, uint32_t, uint32_t) {
    EXPECT_EQ(widget, nullptr);
    g_nullCalls.push_back(message);
    return 1;
}

class WidgetRuntime : public ::testing::Test {
  protected:
    void SetUp() override {
        FreshBoard();
        g_sRoot.child = nullptr;
        g_pPointerWidget = nullptr;
        g_ulMQRead = 0;
        g_ulMQWrite = 0;
        g_ucMQMutex = 0;
        g_ulToCheckIO = 0;
        pfnNullWidgetMsgProc = nullptr;
        g_log.clear();
        g_nullCalls.clear();
    }
    WidgetRecord* W(TestWidget& w) { return &w.header; }
};

TEST_F(WidgetRuntime, QueueHoldsFifteenMessagesAndRefusesTheSixteenth) {
    TestWidget a = MakeWidget("a");
    WidgetAdd(&g_sRoot, W(a));
    for (uint32_t i = 0; i < 15; ++i) {
        EXPECT_EQ(WidgetMessageQueueAdd(W(a), MSG_PAINT, i, 0, 0, 0), 1u) << i;
    }
    EXPECT_EQ(WidgetMessageQueueAdd(W(a), MSG_PAINT, 15, 0, 0, 0), 0u);
    EXPECT_EQ(g_ucMQMutex, 0) << "a refused add must release the mutex";

    WidgetMessageQueueProcess();
    ASSERT_EQ(g_log.size(), 15u);
    for (uint32_t i = 0; i < 15; ++i) {
        EXPECT_EQ(g_log[i].param1, i) << "messages come out in the order they went in";
    }
    EXPECT_EQ(QueueLength(), 0u);
    // The ring wraps: after draining, fifteen fit again.
    for (uint32_t i = 0; i < 15; ++i) {
        EXPECT_EQ(WidgetMessageQueueAdd(W(a), MSG_PAINT, i, 0, 0, 0), 1u);
    }
}

TEST_F(WidgetRuntime, ConsecutivePointerMovesMergeIntoTheLastEntry) {
    TestWidget a = MakeWidget("a", 1);
    WidgetAdd(&g_sRoot, W(a));
    EXPECT_EQ(WidgetPointerMessage(MSG_POINTER_DOWN, 1, 1), 1u);
    EXPECT_EQ(WidgetPointerMessage(MSG_POINTER_MOVE, 2, 2), 1u);
    EXPECT_EQ(WidgetPointerMessage(MSG_POINTER_MOVE, 3, 3), 1u);
    EXPECT_EQ(WidgetPointerMessage(MSG_POINTER_MOVE, 4, 5), 1u);
    ASSERT_EQ(QueueLength(), 2u) << "a move after the down is a new entry; later moves merge";
    EXPECT_EQ(g_pMQ[0].param1, 1u) << "the down keeps its coordinates";
    EXPECT_EQ(g_pMQ[1].param1, 4u);
    EXPECT_EQ(g_pMQ[1].param2, 5u);

    // A paint between moves stops the merging.
    WidgetMessageQueueAdd(W(a), MSG_PAINT, 0, 0, 0, 0);
    WidgetPointerMessage(MSG_POINTER_MOVE, 6, 6);
    EXPECT_EQ(QueueLength(), 4u);

    WidgetMessageQueueProcess();
    ASSERT_EQ(g_log.size(), 4u);
    EXPECT_EQ(g_log[1].message, MSG_POINTER_MOVE);
    EXPECT_EQ(g_log[1].param1, 4u);
    EXPECT_EQ(g_log[3].param1, 6u);

    // With the queue drained, the slot of the last move is no longer pending: a new move must
    // be queued, not merged into it.
    EXPECT_EQ(WidgetPointerMessage(MSG_POINTER_MOVE, 7, 7), 1u);
    EXPECT_EQ(QueueLength(), 1u);
}

TEST_F(WidgetRuntime, MergingAMoveWorksAcrossTheRingWrap) {
    TestWidget a = MakeWidget("a", 1);
    WidgetAdd(&g_sRoot, W(a));
    g_ulMQRead = 15;
    g_ulMQWrite = 15;
    WidgetPointerMessage(MSG_POINTER_MOVE, 1, 1);  // lands in entry 15, write wraps to 0
    EXPECT_EQ(g_ulMQWrite, 0u);
    WidgetPointerMessage(MSG_POINTER_MOVE, 2, 3);  // the last entry is (0 - 1) & 15 = 15
    EXPECT_EQ(g_ulMQWrite, 0u);
    EXPECT_EQ(g_pMQ[15].param1, 2u);
    EXPECT_EQ(g_pMQ[15].param2, 3u);
}

TEST_F(WidgetRuntime, DeliveryOrdersFollowTheLinks) {
    TestWidget p = MakeWidget("p"), c1 = MakeWidget("c1"), c2 = MakeWidget("c2"),
               q = MakeWidget("q");
    WidgetAdd(&g_sRoot, W(p));
    WidgetAdd(&g_sRoot, W(q));
    WidgetAdd(W(p), W(c1));
    WidgetAdd(W(p), W(c2));
    WidgetMessageSendPreOrder(W(p), MSG_PAINT, 0, 0, 0);
    EXPECT_EQ(Names(), (std::vector<std::string>{"p", "c1", "c2"}))
        << "pre-order stays inside the target's subtree";

    g_log.clear();
    WidgetMessageSendPostOrder(W(p), MSG_PAINT, 0, 0, 0);
    EXPECT_EQ(Names(), (std::vector<std::string>{"c1", "c2", "p"}))
        << "post-order from a non-root target is kept inside its subtree";

    g_log.clear();
    WidgetMessageSendPostOrder(&g_sRoot, MSG_PAINT, 0, 0, 0);
    EXPECT_EQ(Names(), (std::vector<std::string>{"c1", "c2", "p", "q"}));
}

TEST_F(WidgetRuntime, PreOrderWithoutStopReachesEveryWidgetAndReturnsZero) {
    TestWidget a = MakeWidget("a", 1), b = MakeWidget("b", 7);
    WidgetAdd(&g_sRoot, W(a));
    WidgetAdd(&g_sRoot, W(b));
    EXPECT_EQ(WidgetMessageSendPreOrder(&g_sRoot, MSG_PAINT, 0, 0, 0), 0u);
    EXPECT_EQ(Names(), (std::vector<std::string>{"a", "b"}));

    g_log.clear();
    EXPECT_EQ(WidgetMessageSendPreOrder(&g_sRoot, MSG_PAINT, 0, 0, 1), 1u);
    EXPECT_EQ(Names(), (std::vector<std::string>{"a"})) << "with stop, the first non-zero ends it";
}

TEST_F(WidgetRuntime, EarlierOfTwoOverlappingSiblingsClaimsThePointer) {
    TestWidget under = MakeWidget("under", 1), over = MakeWidget("over", 1);
    WidgetAdd(&g_sRoot, W(under));
    WidgetAdd(&g_sRoot, W(over));

    WidgetPointerMessage(MSG_POINTER_DOWN, 10, 20);
    WidgetPointerMessage(MSG_POINTER_MOVE, 11, 21);
    WidgetPointerMessage(MSG_POINTER_UP, 300, 200);  // released far away
    WidgetMessageQueueProcess();

    EXPECT_EQ(Names(), (std::vector<std::string>{"under", "under", "under"}));
    EXPECT_EQ(g_log[2].param1, 300u) << "the release goes to the claimer wherever it is";
    EXPECT_EQ(g_pPointerWidget, nullptr) << "the release ends the touch";

    // Moves and releases without a claimed touch go nowhere.
    g_log.clear();
    EXPECT_EQ(WidgetMessageSendPostOrder(&g_sRoot, MSG_POINTER_UP, 0, 0, 1), 0u);
    EXPECT_TRUE(g_log.empty());
}

TEST_F(WidgetRuntime, UnclaimedPointerDownKeepsThePointerWidget) {
    TestWidget a = MakeWidget("a", 1), b = MakeWidget("b", 0);
    WidgetAdd(&g_sRoot, W(a));
    WidgetMessageSendPostOrder(&g_sRoot, MSG_POINTER_DOWN, 0, 0, 1);
    ASSERT_EQ(g_pPointerWidget, W(a));
    a.result = 0;
    WidgetAdd(&g_sRoot, W(b));
    WidgetMessageSendPostOrder(&g_sRoot, MSG_POINTER_DOWN, 0, 0, 1);
    EXPECT_EQ(g_pPointerWidget, W(a));
}

TEST_F(WidgetRuntime, RemovingTheWidgetThatHoldsThePointerForgetsIt) {
    TestWidget panel = MakeWidget("panel"), button = MakeWidget("button", 1),
               other = MakeWidget("other");
    WidgetAdd(&g_sRoot, W(panel));
    WidgetAdd(W(panel), W(button));
    WidgetAdd(&g_sRoot, W(other));
    WidgetMessageSendPostOrder(&g_sRoot, MSG_POINTER_DOWN, 5, 5, 1);
    ASSERT_EQ(g_pPointerWidget, W(button));

    WidgetRemove(W(other));
    EXPECT_EQ(g_pPointerWidget, W(button)) << "removing another widget keeps the touch";

    WidgetRemove(W(panel));  // takes the button with it
    EXPECT_EQ(g_pPointerWidget, nullptr);
    EXPECT_EQ(g_sRoot.child, nullptr);
    EXPECT_EQ(panel.header.child, W(button)) << "the removed subtree stays intact";

    g_log.clear();
    WidgetPointerMessage(MSG_POINTER_UP, 5, 5);
    WidgetMessageQueueProcess();
    EXPECT_TRUE(g_log.empty()) << "the release of a forgotten touch is dropped";
}

TEST_F(WidgetRuntime, AddAndRemoveKeepTheSiblingListConsistent) {
    TestWidget a = MakeWidget("a"), b = MakeWidget("b"), c = MakeWidget("c"),
               stray = MakeWidget("stray");
    WidgetAdd(&g_sRoot, W(a));
    WidgetAdd(&g_sRoot, W(b));
    WidgetAdd(&g_sRoot, W(c));
    WidgetAdd(&g_sRoot, W(b));  // already there: no change
    EXPECT_EQ(a.header.next, W(b));
    EXPECT_EQ(b.header.next, W(c));
    EXPECT_EQ(c.header.next, nullptr);

    WidgetRemove(W(b));
    EXPECT_EQ(a.header.next, W(c));
    EXPECT_EQ(b.header.next, nullptr);
    WidgetRemove(W(b));  // removed already: no change
    EXPECT_EQ(a.header.next, W(c));

    stray.header.parent = &g_sRoot;  // names the root but was never added
    WidgetRemove(W(stray));
    EXPECT_EQ(g_sRoot.child, W(a));
    EXPECT_EQ(a.header.next, W(c));

    WidgetRemove(W(a));
    EXPECT_EQ(g_sRoot.child, W(c));
    WidgetAdd(&g_sRoot, W(a));
    EXPECT_EQ(c.header.next, W(a));
}

TEST_F(WidgetRuntime, ProcessExDeliversOnlyTheRequestedCodeAndEmptiesTheQueue) {
    TestWidget a = MakeWidget("a", 1);
    WidgetAdd(&g_sRoot, W(a));
    pfnNullWidgetMsgProc = NullProc;
    WidgetMessageQueueAdd(nullptr, MSG_CHECK_IO, 0, 0, 0, 0);
    WidgetPointerMessage(MSG_POINTER_DOWN, 1, 1);
    WidgetMessageQueueAdd(W(a), MSG_PAINT, 9, 0, 0, 0);
    WidgetPointerMessage(MSG_POINTER_MOVE, 2, 2);

    WidgetMessageQueueProcessEx(MSG_PAINT);
    ASSERT_EQ(g_log.size(), 1u);
    EXPECT_EQ(g_log[0].message, MSG_PAINT);
    EXPECT_EQ(g_log[0].param1, 9u);
    EXPECT_EQ(QueueLength(), 0u);
    EXPECT_TRUE(g_nullCalls.empty()) << "ProcessEx leaves the control-cycle request alone";
    EXPECT_EQ(g_ulToCheckIO, 1u);
}

TEST_F(WidgetRuntime, MessagesQueuedDuringADeliveryAreDeliveredInTheSameCall) {
    TestWidget a = MakeWidget("a");
    a.onMessage = [](TestWidget& self, uint32_t message, uint32_t param1) {
        if (message == MSG_PAINT && param1 < 3) {
            WidgetMessageQueueAdd(&self.header, MSG_PAINT, param1 + 1, 0, 0, 0);
        }
    };
    WidgetAdd(&g_sRoot, W(a));
    WidgetMessageQueueAdd(W(a), MSG_PAINT, 0, 0, 0, 0);
    WidgetMessageQueueProcess();
    ASSERT_EQ(g_log.size(), 4u);
    EXPECT_EQ(g_log[3].param1, 3u);
    EXPECT_EQ(QueueLength(), 0u);
}

TEST_F(WidgetRuntime, ADeliveryThatDrainsTheQueueDoesNotConfuseTheOuterLoop) {
    // A release handler that changes the screen settles the queue: paints behind it are
    // delivered, everything else is dropped.
    TestWidget button = MakeWidget("button", 1), label = MakeWidget("label");
    button.onMessage = [](TestWidget&, uint32_t message, uint32_t) {
        if (message == MSG_POINTER_UP) {
            WidgetMessageQueueProcessEx(MSG_PAINT);
        }
    };
    WidgetAdd(&g_sRoot, W(button));
    WidgetAdd(&g_sRoot, W(label));
    WidgetMessageSendPostOrder(&g_sRoot, MSG_POINTER_DOWN, 1, 1, 1);
    g_log.clear();

    WidgetPointerMessage(MSG_POINTER_UP, 1, 1);
    WidgetMessageQueueAdd(W(label), MSG_PAINT, 0, 0, 0, 0);
    WidgetPointerMessage(MSG_POINTER_DOWN, 2, 2);
    WidgetMessageQueueProcess();

    EXPECT_EQ(Names(), (std::vector<std::string>{"button", "label"}));
    EXPECT_EQ(QueueLength(), 0u);
    EXPECT_EQ(g_pPointerWidget, nullptr);
}

TEST_F(WidgetRuntime, ControlCycleRequestsCoalesceIntoOneRunAfterTheQueue) {
    TestWidget a = MakeWidget("a");
    WidgetAdd(&g_sRoot, W(a));
    pfnNullWidgetMsgProc = NullProc;
    g_ucMQMutex = 1;  // requests never touch the mutex
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(WidgetMessageQueueAdd(nullptr, MSG_CHECK_IO, 0, 0, 0, 0), 1u);
    }
    g_ucMQMutex = 0;
    EXPECT_EQ(QueueLength(), 0u) << "a request is counted, never queued";
    WidgetMessageQueueAdd(W(a), MSG_PAINT, 0, 0, 0, 0);

    WidgetMessageQueueProcess();
    EXPECT_EQ(g_nullCalls, (std::vector<uint32_t>{MSG_CHECK_IO}));
    ASSERT_EQ(g_log.size(), 1u) << "the queue is drained before the cycle runs";
    EXPECT_EQ(g_ulToCheckIO, 0u);

    WidgetMessageQueueProcess();
    EXPECT_EQ(g_nullCalls.size(), 1u);
}

TEST_F(WidgetRuntime, MessagesForNoWidgetGoToTheNullProcedureOrNowhere) {
    EXPECT_EQ(WidgetMessageSendPreOrder(nullptr, MSG_PAINT, 0, 0, 0), 0u);
    pfnNullWidgetMsgProc = NullProc;
    EXPECT_EQ(WidgetMessageSendPostOrder(nullptr, MSG_PAINT, 0, 0, 0), 1u);
    EXPECT_EQ(g_nullCalls.size(), 1u);
}

TEST_F(WidgetRuntime, AProducerThatFindsTheMutexTakenDropsItsMessage) {
    TestWidget a = MakeWidget("a");
    WidgetAdd(&g_sRoot, W(a));
    g_ucMQMutex = 1;  // the main loop is in the middle of an add
    EXPECT_EQ(WidgetPointerMessage(MSG_POINTER_DOWN, 1, 1), 0u);
    EXPECT_EQ(g_ucMQMutex, 1) << "the loser must not release a mutex it does not hold";
    EXPECT_EQ(QueueLength(), 0u);
}

TEST_F(WidgetRuntime, AnInterruptBetweenTheExclusiveLoadAndStoreDropsTheAdd) {
    TestWidget a = MakeWidget("a");
    WidgetAdd(&g_sRoot, W(a));
    const uint32_t ticksBefore = g_TimerTicksCount;
    // The tick falls due now; the next sim point is the mutex's exclusive load.
    FreshCore().board().nvic().pendSysTick();

    EXPECT_EQ(WidgetMessageQueueAdd(W(a), MSG_PAINT, 0, 0, 0, 0), 0u);
    EXPECT_EQ(g_TimerTicksCount, ticksBefore + 1) << "the SysTick handler ran inside the add";
    EXPECT_EQ(QueueLength(), 0u);
    EXPECT_EQ(g_ucMQMutex, 0);

    EXPECT_EQ(WidgetMessageQueueAdd(W(a), MSG_PAINT, 0, 0, 0, 0), 1u) << "undisturbed, it succeeds";
}

TEST_F(WidgetRuntime, EveryCallerGoesThroughTheEntryPointVariables) {
    TestWidget a = MakeWidget("a");
    WidgetAdd(&g_sRoot, W(a));
    const auto original = WidgetMutexGet;
    WidgetMutexGet = [](volatile uint8_t*) -> uint32_t { return 1; };
    EXPECT_EQ(WidgetMessageQueueAdd(W(a), MSG_PAINT, 0, 0, 0, 0), 0u);
    WidgetMutexGet = original;
    EXPECT_EQ(WidgetMessageQueueAdd(W(a), MSG_PAINT, 0, 0, 0, 0), 1u);
}

}  // namespace
