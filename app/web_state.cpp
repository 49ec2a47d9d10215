#include "web_state.hpp"

#include <optional>
#include <vector>

#include "fault_kinds.hpp"
#include "panel_models.hpp"
#include "registers.hpp"
#include "workbench.hpp"

namespace app {

std::string JsonString(const std::string& text) {
    std::string json = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            json += ' ';
        } else {
            json += c;
        }
    }
    return json + "\"";
}

std::string StateJson(const Session& session, uint64_t frameNumber, const std::string& stopped) {
    Workbench& bench = session.bench;
    const std::optional<uint32_t> screen = session.view.screen();
    const std::optional<int32_t> error = session.view.dev1Error();
    std::string json = "{\"status\":" + JsonString(StatusLine(session));
    if (!stopped.empty()) {
        json += ",\"stopped\":" + JsonString(stopped);
    }
    json += ",\"fault\":" + JsonString(bench.fault().name);
    json += ",\"dev1Error\":" + (error ? std::to_string(*error) : std::string("null"));
    json += ",\"screen\":" + (screen ? std::to_string(*screen) : std::string("null"));
    json += ",\"frame\":" + std::to_string(frameNumber);
    json += ",\"faults\":[";
    bool first = true;
    for (const FaultKind& kind : FaultKinds()) {
        json += std::string(first ? "" : ",") + "{\"name\":" + JsonString(kind.name) +
                ",\"label\":" + JsonString(kind.label) + "}";
        first = false;
    }
    json += "],\"registers\":[";
    const std::vector<uint16_t> registers = bench.registers();
    for (size_t i = 0; i < registers.size(); ++i) {
        const int index = static_cast<int>(i);
        json += std::string(i == 0 ? "" : ",") +
                "{\"address\":" + std::to_string(remote_io::kFirstRegister + index) +
                ",\"name\":" + JsonString(remote_io::NameOf(index)) +
                ",\"variable\":" + JsonString(remote_io::kRegisters[index].variable) +
                ",\"input\":" + (remote_io::IsInput(index) ? "true" : "false") +
                ",\"value\":" + std::to_string(registers[i]) + "}";
    }
    const ModbusCounters c = bench.monitor().counters();
    json += "],\"counters\":{\"requests\":" + std::to_string(c.requests) +
            ",\"good\":" + std::to_string(c.good) +
            ",\"crcErrors\":" + std::to_string(c.crcErrors) +
            ",\"timeouts\":" + std::to_string(c.timeouts) +
            ",\"exceptions\":" + std::to_string(c.exceptions) +
            ",\"late\":" + std::to_string(c.late) + ",\"other\":" + std::to_string(c.otherErrors) +
            ",\"unasked\":" + std::to_string(c.unasked) + "}";
    return json;
}

}  // namespace app
