#include "widgets/widget.hpp"

#include <atomic>

#include "periph/cpu.hpp"
#include "sound/beep.hpp"

WidgetRecord g_sRoot = {
    sizeof(WidgetRecord), nullptr, nullptr, nullptr, nullptr, {0, 0, 0, 0}, WidgetDefaultMsgProc,
};
WidgetRecord* g_pPointerWidget = nullptr;
QueuedMessage g_pMQ[kMessageQueueSize];
volatile uint32_t g_ulMQRead = 0;
volatile uint32_t g_ulMQWrite = 0;
volatile uint8_t g_ucMQMutex = 0;
volatile uint32_t g_ulToCheckIO = 0;
WidgetMsgProc pfnNullWidgetMsgProc = nullptr;
uint32_t g_bTouchBeep = 0;

void (*WidgetAdd)(WidgetRecord*, WidgetRecord*) = RAM_WidgetAdd;
void (*WidgetRemove)(WidgetRecord*) = RAM_WidgetRemove;
uint32_t (*WidgetMessageSendPreOrder)(WidgetRecord*, uint32_t, uint32_t, uint32_t,
                                      uint32_t) = RAM_WidgetMessageSendPreOrder;
uint32_t (*WidgetMessageSendPostOrder)(WidgetRecord*, uint32_t, uint32_t, uint32_t,
                                       uint32_t) = RAM_WidgetMessageSendPostOrder;
uint32_t (*WidgetMessageQueueAdd)(WidgetRecord*, uint32_t, uint32_t, uint32_t, uint32_t,
                                  uint32_t) = RAM_WidgetMessageQueueAdd;
void (*WidgetMessageQueueProcess)() = RAM_WidgetMessageQueueProcess;
void (*WidgetMessageQueueProcessEx)(uint32_t) = RAM_WidgetMessageQueueProcessEx;
PointerMessageFn WidgetPointerMessage = RAM_WidgetPointerMessage;
void (*RegisterNullWidgetMsgProc)(WidgetMsgProc) = RAM_RegisterNullWidgetMsgProc;
uint32_t (*WidgetMutexGet)(volatile uint8_t*) = RAM_WidgetMutexGet;
void (*WidgetMutexPut)(volatile uint8_t*) = RAM_WidgetMutexPut;

namespace {

constexpr uint32_t kQueueMask = kMessageQueueSize - 1;

// Tree walks on the links alone, without recursion or a stack.

// Next widget after w in pre-order, staying inside the subtree of top.
WidgetRecord* PreOrderNext(WidgetRecord* w, const WidgetRecord* top) {
    if (w->child != nullptr) {
        return w->child;
    }
    while (w != top) {
        if (w->next != nullptr) {
            return w->next;
        }
        w = w->parent;
    }
    return nullptr;
}

WidgetRecord* DeepestFirstDescendant(WidgetRecord* w) {
    while (w->child != nullptr) {
        w = w->child;
    }
    return w;
}

// Next widget after w in post-order; the walk ends with top itself.
WidgetRecord* PostOrderNext(WidgetRecord* w, const WidgetRecord* top) {
    if (w == top) {
        return nullptr;
    }
    if (w->next != nullptr) {
        return DeepestFirstDescendant(w->next);
    }
    return w->parent;
}

bool IsInTree(WidgetRecord* top, const WidgetRecord* widget) {
    for (WidgetRecord* w = top; w != nullptr; w = PreOrderNext(w, top)) {
        if (w == widget) {
            return true;
        }
    }
    return false;
}

// Unlinks widget from whichever link below top points at it: a child link anywhere in the
// subtree, or a sibling link of a widget inside it. Returns false if no link points at it.
bool UnlinkFromSubtree(WidgetRecord* top, const WidgetRecord* widget) {
    for (WidgetRecord* w = top; w != nullptr; w = PreOrderNext(w, top)) {
        if (w->child == widget) {
            w->child = widget->next;
            return true;
        }
        if (w != top && w->next == widget) {
            w->next = widget->next;
            return true;
        }
    }
    return false;
}

void Deliver(const QueuedMessage& m) {
    const uint32_t stop = (m.flags & QM_STOP_ON_NONZERO) != 0 ? 1 : 0;
    if ((m.flags & QM_POST_ORDER) != 0) {
        WidgetMessageSendPostOrder(m.widget, m.message, m.param1, m.param2, stop);
    } else {
        WidgetMessageSendPreOrder(m.widget, m.message, m.param1, m.param2, stop);
    }
}

// Takes entries until the queue is empty, delivering those that pass the filter. The indices are
// re-read after every delivery, because interrupts and the delivered code itself may add entries
// or drain the queue.
template <typename Filter>
void DrainQueue(Filter wanted) {
    while (g_ulMQRead != g_ulMQWrite) {
        const uint32_t read = g_ulMQRead;
        std::atomic_signal_fence(std::memory_order_acquire);
        const QueuedMessage m = g_pMQ[read];
        std::atomic_signal_fence(std::memory_order_release);
        g_ulMQRead = (read + 1) & kQueueMask;
        if (wanted(m)) {
            Deliver(m);
        }
    }
}

uint32_t SendToNullWidget(uint32_t message, uint32_t param1, uint32_t param2) {
    if (pfnNullWidgetMsgProc == nullptr) {
        return 0;
    }
    return pfnNullWidgetMsgProc(nullptr, message, param1, param2);
}

}  // namespace

uint32_t WidgetDefaultMsgProc(WidgetRecord*, uint32_t, uint32_t, uint32_t) {
    return 0;
}

void RAM_WidgetAdd(WidgetRecord* parent, WidgetRecord* widget) {
    widget->parent = parent;
    if (parent->child == nullptr) {
        parent->child = widget;
        return;
    }
    WidgetRecord* last = parent->child;
    for (;;) {
        if (last == widget) {
            return;  // already a child of this parent
        }
        if (last->next == nullptr) {
            break;
        }
        last = last->next;
    }
    last->next = widget;
}

void RAM_WidgetRemove(WidgetRecord* widget) {
    WidgetRecord* parent = widget->parent;
    if (parent == nullptr) {
        return;
    }
    if (!IsInTree(parent, widget) || widget == parent) {
        return;  // never added, or removed already
    }
    if (!UnlinkFromSubtree(parent, widget)) {
        return;
    }
    if (g_pPointerWidget != nullptr && !IsInTree(&g_sRoot, g_pPointerWidget)) {
        g_pPointerWidget = nullptr;  // it was widget or inside widget's subtree
    }
    widget->next = nullptr;
}

uint32_t RAM_WidgetMessageSendPreOrder(WidgetRecord* widget, uint32_t message, uint32_t param1,
                                       uint32_t param2, uint32_t stop) {
    if (widget == nullptr) {
        return SendToNullWidget(message, param1, param2);
    }
    for (WidgetRecord* w = widget; w != nullptr; w = PreOrderNext(w, widget)) {
        const uint32_t result = w->msgProc(w, message, param1, param2);
        if (result != 0 && stop != 0) {
            return result;
        }
    }
    return 0;
}

uint32_t RAM_WidgetMessageSendPostOrder(WidgetRecord* widget, uint32_t message, uint32_t param1,
                                        uint32_t param2, uint32_t stop) {
    if (widget == nullptr) {
        return SendToNullWidget(message, param1, param2);
    }

    // Moves and the release belong to the widget that claimed the touch, wherever it is.
    if (message == MSG_POINTER_MOVE || message == MSG_POINTER_UP) {
        WidgetRecord* pointerWidget = g_pPointerWidget;
        if (pointerWidget == nullptr) {
            return 0;
        }
        const uint32_t result = pointerWidget->msgProc(pointerWidget, message, param1, param2);
        if (message == MSG_POINTER_UP) {
            g_pPointerWidget = nullptr;
        }
        return result;
    }

    // The walk is kept inside widget's subtree (it is only ever started at the root).
    for (WidgetRecord* w = DeepestFirstDescendant(widget); w != nullptr;
         w = PostOrderNext(w, widget)) {
        const uint32_t result = w->msgProc(w, message, param1, param2);
        if (message == MSG_POINTER_DOWN && result != 0) {
            if (g_bTouchBeep != 0) {
                hmi_Beep();
            }
            g_pPointerWidget = IsInTree(&g_sRoot, w) ? w : nullptr;
        }
        if (result != 0 && stop != 0) {
            return result;
        }
    }
    return 0;
}

uint32_t RAM_WidgetMessageQueueAdd(WidgetRecord* widget, uint32_t message, uint32_t param1,
                                   uint32_t param2, uint32_t postOrder, uint32_t stop) {
    if (message == MSG_CHECK_IO) {
        g_ulToCheckIO = g_ulToCheckIO + 1;
        return 1;
    }
    if (WidgetMutexGet(&g_ucMQMutex) != 0) {
        return 0;  // another producer holds the queue: drop, never wait
    }

    const uint32_t write = g_ulMQWrite;
    if (message == MSG_POINTER_MOVE && g_ulMQRead != write) {
        QueuedMessage& last = g_pMQ[(write - 1) & kQueueMask];
        if (last.message == MSG_POINTER_MOVE) {
            last.param1 = param1;
            last.param2 = param2;
            WidgetMutexPut(&g_ucMQMutex);
            return 1;
        }
    }
    if (((write + 1) & kQueueMask) == g_ulMQRead) {
        WidgetMutexPut(&g_ucMQMutex);
        return 0;
    }

    QueuedMessage& entry = g_pMQ[write];
    entry.flags = (stop != 0 ? QM_STOP_ON_NONZERO : 0) | (postOrder != 0 ? QM_POST_ORDER : 0);
    entry.widget = widget;
    entry.message = message;
    entry.param1 = param1;
    entry.param2 = param2;
    // The consumer may read the entry as soon as the index moves: all fields first.
    std::atomic_signal_fence(std::memory_order_release);
    g_ulMQWrite = (write + 1) & kQueueMask;

    WidgetMutexPut(&g_ucMQMutex);
    return 1;
}

void RAM_WidgetMessageQueueProcess() {
    DrainQueue([](const QueuedMessage&) { return true; });

    if (g_ulToCheckIO != 0) {
        SendToNullWidget(MSG_CHECK_IO, 0, 0);
        g_ulToCheckIO = 0;
    }
}

void RAM_WidgetMessageQueueProcessEx(uint32_t message) {
    DrainQueue([message](const QueuedMessage& m) { return m.message == message; });
}

uint32_t RAM_WidgetPointerMessage(uint32_t message, int32_t x, int32_t y) {
    return WidgetMessageQueueAdd(&g_sRoot, message, static_cast<uint32_t>(x),
                                 static_cast<uint32_t>(y), 1, 1);
}

void RAM_RegisterNullWidgetMsgProc(WidgetMsgProc procedure) {
    pfnNullWidgetMsgProc = procedure;
}

uint32_t RAM_WidgetMutexGet(volatile uint8_t* mutex) {
    const uint8_t value = CPULoadExclusiveByte(mutex);
    if (value != 0) {
        return value;
    }
    return CPUStoreExclusiveByte(mutex, 1) == 0 ? 0 : 1;
}

void RAM_WidgetMutexPut(volatile uint8_t* mutex) {
    *mutex = 0;
}
