// One view of the panel's state for everything that shows it — the window's title, the status
// line, the web page, the recorder — whichever processor runs the firmware: the host build's
// globals, or the image's own memory read through its symbol table.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "arm_core.hpp"
#include "firmware_image.hpp"
#include "panel_harness.hpp"

namespace app {

class PanelView {
  public:
    virtual ~PanelView() = default;
    // Each is nothing when the firmware's memory cannot say (an image without symbols).
    virtual std::optional<uint32_t> ticks() const = 0;
    virtual std::optional<uint32_t> screen() const = 0;
    // A process variable's value by its name in the dictionary (Dev_1_AO10, Dev_1_ERROR, ...).
    virtual std::optional<int32_t> variable(const std::string& name) const = 0;
    std::optional<int32_t> dev1Error() const { return variable("Dev_1_ERROR"); }
    // The image's instruction count and estimated cycles (nothing for the host build).
    virtual std::optional<uint64_t> instructions() const { return std::nullopt; }
    virtual std::optional<uint64_t> cycles() const { return std::nullopt; }
    // Why the firmware's state cannot be read, or empty when it can.
    virtual std::string missing() const { return {}; }
};

// The host-compiled firmware's globals.
std::unique_ptr<PanelView> HostView();
// The image's memory: through `symbols` (the image's own symbol table, or that of the ELF built
// beside a flat binary; null when there is none).
std::unique_ptr<PanelView> ImageView(const sim::arm::ArmCore& core,
                                     std::shared_ptr<const sim::arm::FirmwareImage> symbols,
                                     std::string missing);

// The symbol table for an image: its own if it is an ELF, else the ELF the build put beside a
// flat binary when its loadable bytes are the binary's; nothing (and why) otherwise.
std::shared_ptr<const sim::arm::FirmwareImage> SymbolsFor(const sim::arm::ArmCore& core,
                                                          const std::string& path,
                                                          std::string* why);

}  // namespace app
