// The peripheral models that each board carries beyond the core ones the Board sets up itself
// (system control, flash, core, GPIO): each attaches to the bus at its base and is wired to the
// pins and models it works with.
#include <cstdlib>

#include "board.hpp"
#include "factory_calibration.hpp"
#include "panel_models.hpp"
#include "remote_module.hpp"
#include "uart.hpp"

namespace sim {

namespace {

constexpr int kRcgc0 = 0;
constexpr int kRcgc1 = 1;

}  // namespace

PanelModels& PanelModelsOf(Board& board) {
    PanelModels* models = board.findPart<PanelModels>();
    if (models == nullptr) {
        std::abort();  // every board attaches them
    }
    return *models;
}

void AttachPeripheralModels(Board& board) {
    PanelModels& m = board.addPart<PanelModels>();
    Scheduler& scheduler = board.scheduler();
    m.timer0 = &board.attach<GpTimer>(chip::kTimer0.base, chip::kTimer0.size, kRcgc1, 16, scheduler,
                                      board.nvic(), 0u);
    m.timer2 = &board.attach<GpTimer>(chip::kTimer2.base, chip::kTimer2.size, kRcgc1, 18, scheduler,
                                      board.nvic(), 2u);
    m.adc = &board.attach<AdcModel>(chip::kAdc0.base, chip::kAdc0.size, kRcgc0, 16, scheduler,
                                    board.nvic());
    m.timer0->setAdcTrigger([adc = m.adc] { adc->timerTrigger(); });

    m.display = &board.addPart<DisplayModule>(scheduler, board.gpio('A'), board.gpio('B'),
                                              board.gpio('C'), board.gpio('F'), board.gpio('G'),
                                              board.config().panel.controller);
    m.touch = &board.addPart<TouchPanel>(board.gpio('C'), board.gpio('D'));
    m.adc->setInput([touch = m.touch](unsigned channel) { return touch->channel(channel); });
    m.speaker = &board.addPart<Speaker>(scheduler, *m.timer2, board.gpio('C'));

    if (board.config().panel.touchCalibrationStored) {
        StoreFactoryCalibration(board.flash());
    }
    // UART1 (clock gate RCGC1 bit 1) with the remote I/O module plugged into its line.
    board
        .attach<Uart>(chip::kUart1.base, chip::kUart1.size, 1, 1, board.scheduler(), board.nvic(),
                      board.gpio('D'))
        .plug(std::make_unique<RemoteModule>(board.scheduler()));
}

}  // namespace sim
