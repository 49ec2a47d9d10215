// The panel's models on a board: timers 0 and 2, ADC 0, the display module, the touch panel and
// the speaker. Tests and the app reach them through PanelModelsOf(board).
#pragma once

#include <array>

#include "adc_model.hpp"
#include "board.hpp"
#include "display_module.hpp"
#include "speaker.hpp"
#include "timer_model.hpp"
#include "touch_panel.hpp"

namespace sim {

struct PanelModels : Part {
    GpTimer* timer0 = nullptr;
    GpTimer* timer2 = nullptr;
    AdcModel* adc = nullptr;
    DisplayModule* display = nullptr;
    TouchPanel* touch = nullptr;
    Speaker* speaker = nullptr;
};

PanelModels& PanelModelsOf(Board& board);
inline DisplayModule& DisplayOf(Board& board) {
    return *PanelModelsOf(board).display;
}
inline TouchPanel& TouchOf(Board& board) {
    return *PanelModelsOf(board).touch;
}
inline Speaker& SpeakerOf(Board& board) {
    return *PanelModelsOf(board).speaker;
}

}  // namespace sim
