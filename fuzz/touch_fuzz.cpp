// The touch pipeline (ADC interrupt, debounce, ring, calibration) over arbitrary plate readings
// and coefficients. Oracle: the pointer messages form touches (down, moves, up, or an up alone
// for a short one; never a move outside a touch, never a second down within one, every touch
// ended by the released pairs that follow), and every reported point is the
// calibration - 32-bit wrapping arithmetic, division toward zero, 16-bit results - of a pair
// of readings that was fed while pressed.
#include <set>
#include <utility>
#include <vector>

#include "board_support.hpp"
#include "fuzz_support.hpp"
#include "input/touch.hpp"
#include "panel_models.hpp"
#include "widgets/widget.hpp"

namespace {

struct Message {
    uint32_t message;
    int32_t x;
    int32_t y;
};
std::vector<Message> g_messages;

uint32_t Record(uint32_t message, int32_t x, int32_t y) {
    g_messages.push_back(Message{message, x, y});
    return 0;
}

// Lets the processor wait until the board's next event (the sampling timer, the conversion's
// end): one delay per event rather than a fixed slice, so an input costs its interrupts only.
void WaitForNextEvent(const sim::Scheduler& scheduler) {
    const auto next = scheduler.nextEvent();
    const sim::Cycles gap = next && *next > scheduler.now() ? *next - scheduler.now() : 1;
    SysCtlDelay(static_cast<uint32_t>((gap + 2) / 3));  // three cycles per count
}

// Runs until the interrupt has processed one more pair of readings.
void NextPair(const sim::Scheduler& scheduler) {
    while (g_ulTSState != 2) {
        WaitForNextEvent(scheduler);
    }
    while (g_ulTSState != 3) {
        WaitForNextEvent(scheduler);
    }
}

std::pair<int32_t, int32_t> ReferenceCalibrate(const int32_t m[7], int32_t rx, int32_t ry) {
    if (m[6] == 0) {
        return {0, 0};
    }
    auto wrap = [](int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); };
    auto divide = [&](int32_t n, int32_t d) {
        return wrap(static_cast<int64_t>(n) / d);  // 64 bits: INT32_MIN / -1 wraps back
    };
    const int32_t sx = divide(wrap(int64_t{m[0]} * rx + int64_t{m[1]} * ry + m[2]), m[6]);
    const int32_t sy = divide(wrap(int64_t{m[3]} * rx + int64_t{m[4]} * ry + m[5]), m[6]);
    return {static_cast<int16_t>(sx), static_cast<int16_t>(sy)};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static sim::Board& board = []() -> sim::Board& {
        sim::Board& b = fuzz::Board();
        TouchScreenInit();
        TouchScreenCallbackSet(Record);
        return b;
    }();
    fuzz::Input in(data, size);
    int32_t m[7];
    if (in.flag()) {
        for (int32_t& c : m) {
            c = in.i32();
        }
    } else {
        // Coefficients of the usual size: a scale near 1/4 with offsets.
        const int32_t small[7] = {in.i16(), in.i16(), in.i32() % 100000, in.i16(),
                                  in.i16(), in.i32() % 100000, 1 + in.byte() * 256};
        std::copy(std::begin(small), std::end(small), m);
    }
    TouchScreenSetParam(m[0], m[1], m[2], m[3], m[4], m[5], m[6]);
    g_ulLCDIdleTimeCountMS = 0;  // the display stays lit: no pair is taken to wake it

    sim::TouchPanel& panel = sim::TouchOf(board);
    // Every input ends with released pairs that end its touch, so only the first finds one
    // still under way (a pair costs four sampling interrupts of simulated time).
    static bool first = true;
    for (int i = 0; first && i < 8; ++i) {
        NextPair(board.scheduler());
    }
    first = false;
    g_messages.clear();

    std::set<std::pair<int32_t, int32_t>> points;
    // Each pair costs four sampling interrupts of simulated time; the debounce and the 8-pair
    // ring show everything they do within a few dozen pairs, so longer inputs stop there.
    for (int pairs = 0; pairs < 64 && in.left() >= 4; ++pairs) {
        const int32_t rx = in.u16() % 1024;
        const int32_t ry = in.u16() % 1024;
        panel.pressRaw(rx, ry);
        NextPair(board.scheduler());
        FUZZ_CHECK(g_sTouchX == rx && g_sTouchY == ry);
        points.insert(ReferenceCalibrate(m, rx, ry));
    }
    panel.release();
    for (int i = 0; i < 8; ++i) {
        NextPair(board.scheduler());
    }

    bool touching = false;
    for (const Message& message : g_messages) {
        FUZZ_CHECK(points.count({message.x, message.y}) == 1);
        if (message.message == MSG_POINTER_DOWN) {
            FUZZ_CHECK(!touching);
            touching = true;
        } else if (message.message == MSG_POINTER_MOVE) {
            FUZZ_CHECK(touching);
        } else {
            // A touch too short to fill the ring ends with an up alone.
            FUZZ_CHECK(message.message == MSG_POINTER_UP);
            touching = false;
        }
    }
    FUZZ_CHECK(!touching);  // eight released pairs end every touch
    return 0;
}
