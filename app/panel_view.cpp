#include "panel_view.hpp"

#include <cstddef>
#include <filesystem>
#include <map>

#include "chip.hpp"
#include "project/_frame0.hpp"
#include "project_variables.hpp"

namespace app {

namespace {

const std::map<std::string, const VarRecord*>& HostVariables() {
    static const std::map<std::string, const VarRecord*> variables = [] {
        std::map<std::string, const VarRecord*> named;
        for (const project_view::NamedVariable& variable : project_view::kVariables) {
            named[variable.name] = variable.record;
        }
        return named;
    }();
    return variables;
}

class Host final : public PanelView {
  public:
    std::optional<uint32_t> ticks() const override { return g_TimerTicksCount; }
    std::optional<uint32_t> screen() const override { return _CurrentFrame; }
    std::optional<int32_t> variable(const std::string& name) const override {
        const auto found = HostVariables().find(name);
        if (found == HostVariables().end()) {
            return std::nullopt;
        }
        return found->second->value;
    }
};

class Image final : public PanelView {
  public:
    Image(const sim::arm::ArmCore& core,
          std::shared_ptr<const sim::arm::FirmwareImage> symbols, std::string missing)
        : core_(core), symbols_(std::move(symbols)), missing_(std::move(missing)) {}

    std::optional<uint32_t> ticks() const override { return word("g_TimerTicksCount", 0); }
    std::optional<uint32_t> screen() const override { return word("_CurrentFrame", 0); }
    std::optional<int32_t> variable(const std::string& name) const override {
        const std::optional<uint32_t> value = word(name, offsetof(VarRecord, value));
        if (!value) {
            return std::nullopt;
        }
        return static_cast<int32_t>(*value);
    }
    std::optional<uint64_t> instructions() const override { return core_.instructions(); }
    std::optional<uint64_t> cycles() const override { return core_.cycles(); }
    std::string missing() const override { return missing_; }

  private:
    std::optional<uint32_t> word(const std::string& name, uint32_t offset) const {
        if (!symbols_) {
            return std::nullopt;
        }
        const std::optional<sim::arm::Symbol> symbol = symbols_->symbol(name);
        uint32_t value = 0;
        if (!symbol || !core_.read(symbol->address + offset, &value, 4)) {
            return std::nullopt;
        }
        return value;
    }

    const sim::arm::ArmCore& core_;
    std::shared_ptr<const sim::arm::FirmwareImage> symbols_;
    std::string missing_;
};

// Whether every loadable byte of the ELF is what the flat image put there.
bool SameBytes(const sim::arm::ArmCore& core, const sim::arm::FirmwareImage& elf) {
    for (const sim::arm::Segment& segment : elf.segments()) {
        std::vector<uint8_t> loaded(segment.bytes.size());
        if (chip::kSram.contains(segment.address)) {
            continue;  // the initial data image in flash is compared instead
        }
        if (!core.read(segment.address, loaded.data(), static_cast<uint32_t>(loaded.size())) ||
            loaded != segment.bytes) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::unique_ptr<PanelView> HostView() {
    return std::make_unique<Host>();
}

std::unique_ptr<PanelView> ImageView(const sim::arm::ArmCore& core,
                                     std::shared_ptr<const sim::arm::FirmwareImage> symbols,
                                     std::string missing) {
    return std::make_unique<Image>(core, std::move(symbols), std::move(missing));
}

std::shared_ptr<const sim::arm::FirmwareImage> SymbolsFor(const sim::arm::ArmCore& core,
                                                          const std::string& path,
                                                          std::string* why) {
    if (core.image().isElf()) {
        return std::make_shared<const sim::arm::FirmwareImage>(core.image());
    }
    // The target build puts the combined binary in its top folder, the firmware's ELF in
    // firmware/; a binary of the firmware alone sits beside its ELF.
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(path).parent_path();
    for (const fs::path& candidate : {folder / "panel_firmware.elf",
                                      folder / "firmware" / "panel_firmware.elf"}) {
        std::error_code error;
        if (!fs::is_regular_file(candidate, error)) {
            continue;
        }
        std::string readError;
        std::optional<sim::arm::FirmwareImage> elf =
            sim::arm::FirmwareImage::Read(candidate.string(), &readError);
        if (elf && elf->isElf() && SameBytes(core, *elf)) {
            return std::make_shared<const sim::arm::FirmwareImage>(std::move(*elf));
        }
        *why = candidate.string() + " is not the ELF of this binary";
        return nullptr;
    }
    *why = "no symbols: " + path + " is a flat binary and no panel_firmware.elf was built beside it";
    return nullptr;
}

}  // namespace app
