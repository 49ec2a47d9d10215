// Widget runtime: the widget tree under g_sRoot, message delivery, and the message queue through
// which interrupts hand work to the main loop. The public operations are reached through
// function-pointer variables whose initial values are the RAM_ routines.
#pragma once

#include <cstdint>

#include "graphics/context.hpp"

struct WidgetRecord;

using WidgetMsgProc = uint32_t (*)(WidgetRecord* widget, uint32_t message, uint32_t param1,
                                   uint32_t param2);

// The header that begins every widget record; class records append their fields.
struct WidgetRecord {
    uint32_t size;
    WidgetRecord* parent;
    WidgetRecord* next;
    WidgetRecord* child;
    const DisplayDriver* display;
    Rect position;
    WidgetMsgProc msgProc;
};

constexpr uint32_t MSG_CHECK_IO = 0;
constexpr uint32_t MSG_PAINT = 1;
constexpr uint32_t MSG_POINTER_DOWN = 2;
constexpr uint32_t MSG_POINTER_MOVE = 3;
constexpr uint32_t MSG_POINTER_UP = 4;

constexpr uint32_t QM_POST_ORDER = 1u << 0;
constexpr uint32_t QM_STOP_ON_NONZERO = 1u << 1;

struct QueuedMessage {
    uint32_t flags;
    WidgetRecord* widget;
    uint32_t message;
    uint32_t param1;
    uint32_t param2;
};

constexpr uint32_t kMessageQueueSize = 16;

static_assert(!kPointers32 || sizeof(WidgetRecord) == 32);
static_assert(!kPointers32 || sizeof(QueuedMessage) == 20);

// State of the runtime.
extern WidgetRecord g_sRoot;
extern WidgetRecord* g_pPointerWidget;
extern QueuedMessage g_pMQ[kMessageQueueSize];
extern volatile uint32_t g_ulMQRead;
extern volatile uint32_t g_ulMQWrite;
extern volatile uint8_t g_ucMQMutex;
extern volatile uint32_t g_ulToCheckIO;
extern WidgetMsgProc pfnNullWidgetMsgProc;
extern uint32_t g_bTouchBeep;

uint32_t WidgetDefaultMsgProc(WidgetRecord* widget, uint32_t message, uint32_t param1,
                              uint32_t param2);

// The routines behind the entry points.
void RAM_WidgetAdd(WidgetRecord* parent, WidgetRecord* widget);
void RAM_WidgetRemove(WidgetRecord* widget);
uint32_t RAM_WidgetMessageSendPreOrder(WidgetRecord* widget, uint32_t message, uint32_t param1,
                                       uint32_t param2, uint32_t stop);
uint32_t RAM_WidgetMessageSendPostOrder(WidgetRecord* widget, uint32_t message, uint32_t param1,
                                        uint32_t param2, uint32_t stop);
uint32_t RAM_WidgetMessageQueueAdd(WidgetRecord* widget, uint32_t message, uint32_t param1,
                                   uint32_t param2, uint32_t postOrder, uint32_t stop);
void RAM_WidgetMessageQueueProcess();
void RAM_WidgetMessageQueueProcessEx(uint32_t message);
uint32_t RAM_WidgetPointerMessage(uint32_t message, int32_t x, int32_t y);
void RAM_RegisterNullWidgetMsgProc(WidgetMsgProc procedure);
uint32_t RAM_WidgetMutexGet(volatile uint8_t* mutex);
void RAM_WidgetMutexPut(volatile uint8_t* mutex);

// The entry points every caller uses.
using PointerMessageFn = uint32_t (*)(uint32_t message, int32_t x, int32_t y);

extern void (*WidgetAdd)(WidgetRecord* parent, WidgetRecord* widget);
extern void (*WidgetRemove)(WidgetRecord* widget);
extern uint32_t (*WidgetMessageSendPreOrder)(WidgetRecord* widget, uint32_t message,
                                             uint32_t param1, uint32_t param2, uint32_t stop);
extern uint32_t (*WidgetMessageSendPostOrder)(WidgetRecord* widget, uint32_t message,
                                              uint32_t param1, uint32_t param2, uint32_t stop);
extern uint32_t (*WidgetMessageQueueAdd)(WidgetRecord* widget, uint32_t message, uint32_t param1,
                                         uint32_t param2, uint32_t postOrder, uint32_t stop);
extern void (*WidgetMessageQueueProcess)();
extern void (*WidgetMessageQueueProcessEx)(uint32_t message);
extern PointerMessageFn WidgetPointerMessage;
extern void (*RegisterNullWidgetMsgProc)(WidgetMsgProc procedure);
extern uint32_t (*WidgetMutexGet)(volatile uint8_t* mutex);
extern void (*WidgetMutexPut)(volatile uint8_t* mutex);
