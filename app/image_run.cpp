#include "image_run.hpp"

#include <cstdio>

namespace app {

namespace {

// Also measured, for the control cycle's cost: the cycle, its exchange on the line, and the
// labels' paint.
constexpr const char* kAlsoProbed[] = {"default_timer_proc", "polling_Dev_1", "CanvasMsgProc"};

}  // namespace

sim::arm::ArmCore* AttachImage(sim::PanelHarness& panel, sim::arm::FirmwareImage image,
                               const std::string& path) {
    std::string error;
    std::unique_ptr<sim::arm::ArmCore> core =
        sim::arm::ArmCore::Load(panel.board(), std::move(image), &error);
    if (!core) {
        std::fprintf(stderr, "panel-sim: %s\n", error.c_str());
        return nullptr;
    }
    if (!core->probe(kScreenChange)) {
        std::fprintf(stderr, "panel-sim: %s has no symbol %s; screen changes are not measured\n",
                     path.c_str(), kScreenChange);
    }
    for (const char* function : kAlsoProbed) {
        (void)core->probe(function);  // without the symbol, `calls` reports none
    }
    sim::arm::ArmCore* attached = core.get();
    panel.fitCore(std::move(core));
    return attached;
}

}  // namespace app
