// panel-sim with the real firmware image (--image), and the script commands that the comparison
// of the host build with the image uses.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>

#include "arm_core.hpp"
#include "panel_harness.hpp"

namespace app {

// Loads the image (read from `path`) onto the panel's board; nothing (with the reason on stderr)
// if it cannot.
std::unique_ptr<sim::arm::ArmCore> AttachImage(sim::PanelHarness& panel,
                                               sim::arm::FirmwareImage image,
                                               const std::string& path);

// The status line of a run on the image: the host's fields read from the image's memory, plus
// the core's instruction count and estimated cycles.
// `suffix` (the workbench's fields) goes between the two, so that the line starts as the host's.
std::string ImageStatusLine(sim::PanelHarness& panel, const sim::arm::ArmCore& core,
                            const std::string& suffix);

// Script commands (false when the command is none of them; error set when it failed):
//   modbus-log FILE            every request and answer on the line so far, in hex
//   module-fault KIND [N]      the module misbehaves for N answers (or until changed);
//                              KIND: none silence bad-crc wrong-address wrong-function
//                              exception truncated late noise
//   module-process run|stop    the module's process behind its registers runs or holds still
//   profile [N]                (image only) the N functions (15) that took most cycles since
//                              the previous profile, with instructions and estimated cycles
//   calls FUNCTION             (image only) calls of a measured function (default_timer_proc,
//                              polling_Dev_1, CanvasMsgProc) since its previous report: count,
//                              instructions, estimated cycles, virtual time
//   screen-changes             (image only) instructions, estimated cycles and virtual time
//                              of every screen change so far, and of the start-up
bool IsScenarioCommand(const std::string& command);
bool ScenarioCommand(sim::PanelHarness& panel, const std::string& command, std::istream& words,
                     std::string& error);

}  // namespace app
