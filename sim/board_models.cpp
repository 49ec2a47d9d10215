// The peripheral models that each board carries beyond the core ones the Board sets up itself
// (system control, flash, core, GPIO). Each model attaches to the bus here.
#include <cstdlib>

#include "board.hpp"
#include "panel_models.hpp"
#include "paramblock.hpp"
#include "remote_module.hpp"
#include "uart.hpp"

namespace sim {

namespace {

constexpr uint32_t kTimer0 = 0x40030000;
constexpr uint32_t kTimer2 = 0x40032000;
constexpr uint32_t kAdc0 = 0x40038000;
constexpr int kRcgc0 = 0;
constexpr int kRcgc1 = 1;

paramblock::Calibration FromPoints(const std::array<paramblock::Point, 3>& screen,
                                   const std::array<paramblock::Point, 3>& landscape) {
    std::array<paramblock::Point, 3> raw{};
    for (size_t i = 0; i < 3; ++i) {
        const TouchPanel::Raw r = TouchPanel::RawFor(landscape[i].x, landscape[i].y);
        raw[i] = paramblock::Point{r.x, r.y};
    }
    return paramblock::CalibrationFromPoints(screen, raw);
}

// The parameter area a calibrated panel leaves the factory with.
void StoreCalibration(FlashMemory& flash) {
    paramblock::Area area = paramblock::ErasedArea();
    std::array<std::optional<paramblock::Calibration>, 4> sets;
    sets[0] = MatchingLandscapeCalibration();
    sets[1] = MatchingPortraitCalibration();
    paramblock::AppendBlock(area, sets);
    flash.load(paramblock::kAreaAddress, area);
}

}  // namespace

std::array<int32_t, 7> MatchingLandscapeCalibration() {
    // Three reference points far apart, as a calibration screen would show them.
    const std::array<paramblock::Point, 3> points{{{16, 16}, {303, 120}, {160, 223}}};
    return FromPoints(points, points);
}

std::array<int32_t, 7> MatchingPortraitCalibration() {
    // Portrait pixel (x, y) is landscape pixel (319 - y, x): both are the same controller cell.
    const std::array<paramblock::Point, 3> portrait{{{16, 16}, {223, 160}, {120, 303}}};
    std::array<paramblock::Point, 3> landscape{};
    for (size_t i = 0; i < 3; ++i) {
        landscape[i] = paramblock::Point{319 - portrait[i].y, portrait[i].x};
    }
    return FromPoints(portrait, landscape);
}

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
    m.timer0 = &board.attach<GpTimer>(kTimer0, 0x1000, kRcgc1, 16, scheduler, board.nvic(), 0u);
    m.timer2 = &board.attach<GpTimer>(kTimer2, 0x1000, kRcgc1, 18, scheduler, board.nvic(), 2u);
    m.adc = &board.attach<AdcModel>(kAdc0, 0x1000, kRcgc0, 16, scheduler, board.nvic());
    m.timer0->setAdcTrigger([adc = m.adc] { adc->timerTrigger(); });

    m.display = &board.addPart<DisplayModule>(scheduler, board.gpio('A'), board.gpio('B'),
                                              board.gpio('C'), board.gpio('F'), board.gpio('G'),
                                              board.config().panel.controller);
    m.touch = &board.addPart<TouchPanel>(board.gpio('C'), board.gpio('D'));
    m.adc->setInput([touch = m.touch](unsigned channel) { return touch->channel(channel); });
    m.speaker = &board.addPart<Speaker>(scheduler, *m.timer2, board.gpio('C'));

    if (board.config().panel.touchCalibrationStored) {
        StoreCalibration(board.flash());
    }
    // UART1 (clock gate RCGC1 bit 1) with the remote I/O module plugged into its line.
    board.attach<Uart>(Uart::kBase, 0x1000, 1, 1, board.scheduler(), board.nvic(), board.gpio('D'))
        .plug(std::make_unique<RemoteModule>(board.scheduler()));
}

}  // namespace sim
