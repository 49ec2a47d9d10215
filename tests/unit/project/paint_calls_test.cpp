// The display driver calls of the screens' paints - which operation, with which arguments and
// pixel values, in which order - checked against a fingerprint per step. The controller receives
// exactly what the driver is told, so work on the graphics library and the widgets may make the
// paints cheaper but must leave this sequence as it is.
//
// The fingerprints were recorded with PANEL_PRINT_PAINT_CALLS=1 (which prints the table below
// from the code under test) on the paint code as it stood before its CPU cost was cut.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "display/hmi_Init.hpp"
#include "graphics/image.hpp"
#include "project/_dict.hpp"
#include "project/_frame0.hpp"
#include "project/_frame1.hpp"
#include "project/_frame2.hpp"
#include "project/_frame3.hpp"
#include "project/_frame4.hpp"
#include "project/_frame5.hpp"
#include "project/ladder2c.hpp"
#include "support/fresh_board.hpp"
#include "widgets/widget.hpp"

namespace {

// FNV-1a over every call: its operation, integer arguments, colour, and for picture rows the
// colour of each pixel as the palette gives it.
struct CallPrint {
    uint64_t hash = 0xCBF29CE484222325u;
    uint32_t calls = 0;

    void Add(uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            hash = (hash ^ ((value >> (8 * i)) & 0xFFu)) * 0x100000001B3u;
        }
    }
    void Call(uint32_t op, std::initializer_list<int32_t> values) {
        ++calls;
        Add(op);
        for (int32_t value : values) {
            Add(static_cast<uint32_t>(value));
        }
    }
};

CallPrint g_print;

void PixelDraw(void*, int32_t x, int32_t y, uint32_t color) {
    g_print.Call(1, {x, y, static_cast<int32_t>(color)});
}

void PixelDrawMultiple(void*, int32_t x, int32_t y, int32_t x0, int32_t count, int32_t bpp,
                       const uint8_t* data, const void* palette) {
    g_print.Call(2, {x, y, x0, count, bpp});
    const auto* entries = static_cast<const uint8_t*>(palette);
    for (int32_t i = 0; i < count; ++i) {
        uint32_t color = 0;
        if (bpp == 1) {
            const int32_t bit = x0 + i;
            color = static_cast<const uint32_t*>(palette)[(data[bit / 8] >> (7 - bit % 8)) & 1];
        } else if (bpp == 4) {
            const int32_t nibble = (x0 & 1) + i;
            const uint32_t index = (data[nibble / 2] >> (nibble % 2 == 0 ? 4 : 0)) & 0x0F;
            color = entries[3 * index] | entries[3 * index + 1] << 8 | entries[3 * index + 2] << 16;
        } else if (bpp == 8) {
            const uint32_t index = data[i];
            color = entries[3 * index] | entries[3 * index + 1] << 8 | entries[3 * index + 2] << 16;
        } else if (bpp == 16) {
            color = data[2 * i] | data[2 * i + 1] << 8;
        }
        g_print.Add(color);
    }
}

void LineDrawH(void*, int32_t x1, int32_t x2, int32_t y, uint32_t color) {
    g_print.Call(3, {x1, x2, y, static_cast<int32_t>(color)});
}

void LineDrawV(void*, int32_t x, int32_t y1, int32_t y2, uint32_t color) {
    g_print.Call(4, {x, y1, y2, static_cast<int32_t>(color)});
}

void RectFill(void*, const Rect* rect, uint32_t color) {
    g_print.Call(5, {rect->xmin, rect->ymin, rect->xmax, rect->ymax, static_cast<int32_t>(color)});
}

uint32_t ColorTranslate(void*, uint32_t rgb) {
    return 0x01000000u | (rgb & 0xFFFFFFu);
}

void Flush(void*) {
    g_print.Call(6, {});
}

void Tap(const WidgetRecord& widget) {
    const int32_t x = (widget.position.xmin + widget.position.xmax) / 2;
    const int32_t y = (widget.position.ymin + widget.position.ymax) / 2;
    WidgetPointerMessage(MSG_POINTER_DOWN, x, y);
    WidgetMessageQueueProcess();
    WidgetPointerMessage(MSG_POINTER_UP, x, y);
    WidgetMessageQueueProcess();
}

void OutputPass() {
    (void)default_output(1);
    WidgetMessageQueueProcess();
}

void SetAll(std::initializer_list<VarRecord*> variables, int32_t value) {
    for (VarRecord* variable : variables) {
        var_set(variable, value);
        // Each label a different width; modulo 2^32, so some values are near the limits.
        value = static_cast<int32_t>(static_cast<uint32_t>(value) * 0xFFFFFFF9u + 3u);
    }
}

struct Step {
    const char* what;
    void (*act)();
    uint64_t hash;
    uint32_t calls;
};

// Screen changes by call and by touch, value repaints, lamp pictures, check box and button presses.
const Step kSteps[] = {
    {"screen 1", [] { hmi_GotoFrame(1); }, 0x38C5158EC80EF649u, 1363},
    {"WEJDZ pressed and released", [] { Tap(TextPushButton71); }, 0x15E6FE4C117BEB0Eu, 2445},
    {"screen 2 lamps on",
     [] {
         SetAll({&Dev_1_AO0, &Dev_1_AO1, &Dev_1_AO2}, 1);
         OutputPass();
     },
     0x8E02790128CC3478u, 480},
    {"screen 2 navigation to 3", [] { Tap(TextPushButton79); }, 0x389250FC824E7767u, 2937},
    {"screen 3 values",
     [] {
         SetAll({&Dev_1_AO3, &Dev_1_AO4, &Dev_1_AO5, &Dev_1_AO6, &Dev_1_AO7, &Dev_1_AO8,
                 &Dev_1_AO9, &Dev_1_AO16, &Dev_1_AO17, &Dev_1_AO18, &Dev_1_AO19},
                9);
         OutputPass();
     },
     0x9E6A38402AFECC25u, 1350},
    {"screen 3 overflowing values",
     [] {
         SetAll({&Dev_1_AO5, &Dev_1_AO19}, INT32_MIN);
         OutputPass();
     },
     0x33587E314C48951Du, 266},
    {"screen 4", [] { hmi_GotoFrame(4); }, 0xFE6DDB6382ADFB88u, 2069},
    {"screen 4 boxes ticked",
     [] {
         for (CheckBoxRecord* box :
              {&CheckBox16, &CheckBox21, &CheckBox46, &CheckBox155, &CheckBox178, &CheckBox183}) {
             Tap(*box);
         }
         OutputPass();
     },
     0x434C1F6857B4BAD6u, 288},
    {"screen 4 boxes cleared",
     [] {
         Tap(CheckBox21);
         Tap(CheckBox183);
         OutputPass();
     },
     0x703C87E536FF3745u, 122},
    {"screen 5", [] { hmi_GotoFrame(5); }, 0xDA05601A8190B753u, 2041},
    {"screen 5 buttons",
     [] {
         Tap(TextPushButton28);
         Tap(TextPushButton30);
     },
     0xA9DC44196AAC1DB4u, 1496},
    {"screen 2 from 5", [] { hmi_GotoFrame(2); }, 0x9E598753E93A7D2Fu, 2033},
    {"screen 3 from 2", [] { hmi_GotoFrame(3); }, 0xAF9BEEB5127E04E9u, 3213},
    {"screen 3 first cycle", [] { OutputPass(); }, 0x5BE97DC32A7EE70Eu, 1363},
};

TEST(PaintCalls, EveryStepTellsTheDriverWhatItAlwaysDid) {
    FreshBoard();
    g_sDisplayDriverROM = DisplayDriver{sizeof(DisplayDriver), nullptr, 320, 240, PixelDraw,
                                        PixelDrawMultiple, LineDrawH, LineDrawV, RectFill,
                                        ColorTranslate, Flush};
    hmi_DrawImage = GrImageDraw;
    const bool print = std::getenv("PANEL_PRINT_PAINT_CALLS") != nullptr;
    for (const Step& step : kSteps) {
        g_print = CallPrint{};
        step.act();
        if (print) {
            std::printf("%-32s 0x%016llXu, %u\n", step.what,
                        static_cast<unsigned long long>(g_print.hash), g_print.calls);
        }
        EXPECT_EQ(g_print.calls, step.calls) << step.what;
        EXPECT_EQ(g_print.hash, step.hash) << step.what;
    }
}

}  // namespace
