#include "web_routes.hpp"

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "panel_models.hpp"
#include "script.hpp"
#include "web_server.hpp"

namespace app {

namespace {

// A long poll for a new frame gives up after this long (the page just asks again); a viewer that
// went away holds its place no longer than this.
constexpr auto kFrameWait = std::chrono::seconds(2);

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

bool ParseInt(const std::string& text, long low, long high, long& value) {
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0' && value >= low && value <= high;
}

}  // namespace

void WebShared::post(std::function<void()> command) {
    std::lock_guard<std::mutex> lock(mutex);
    commands.push_back(std::move(command));
}

void WebShared::runCommands() {
    for (;;) {
        std::function<void()> command;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (commands.empty()) {
                return;
            }
            command = std::move(commands.front());
            commands.pop_front();
        }
        command();
    }
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

namespace {

long AfterParameter(const httplib::Request& request) {
    long after = 0;
    if (!ParseInt(request.get_param_value("after"), 0, LONG_MAX, after)) {
        after = 0;
    }
    return after;
}

void Refuse(httplib::Response& response, const std::string& why) {
    response.status = 400;
    response.set_content(why + "\n", "text/plain");
}

httplib::Server::Handler PageRoute() {
    return [](const httplib::Request&, httplib::Response& response) {
        response.set_content(kWebPage, "text/html; charset=utf-8");
    };
}

// The next frame after the one the page has: answered as soon as there is one.
httplib::Server::Handler FrameRoute(WebShared& shared) {
    return [&shared](const httplib::Request& request, httplib::Response& response) {
        const long after = AfterParameter(request);
        std::unique_lock<std::mutex> lock(shared.mutex);
        if (shared.frameNumber <= static_cast<uint64_t>(after) &&
            shared.waitingViewers >= kMostWaitingViewers) {
            response.status = 503;
            response.set_header("Retry-After", "1");
            response.set_content("too many viewers wait for a frame; ask again later\n",
                                 "text/plain");
            return;
        }
        ++shared.waitingViewers;
        shared.frameReady.wait_for(lock, kFrameWait, [&] {
            return shared.stopping || shared.frameNumber > static_cast<uint64_t>(after);
        });
        --shared.waitingViewers;
        if (shared.frameNumber <= static_cast<uint64_t>(after)) {
            response.status = 204;
            return;
        }
        response.set_header("X-Frame", std::to_string(shared.frameNumber));
        response.set_header("Cache-Control", "no-store");
        response.set_content(shared.frame, "application/octet-stream");
    };
}

httplib::Server::Handler StateRoute(WebShared& shared, Workbench& bench) {
    return [&shared, &bench](const httplib::Request& request, httplib::Response& response) {
        std::vector<std::string> lines;
        const uint64_t last =
            bench.monitor().linesAfter(static_cast<uint64_t>(AfterParameter(request)), lines);
        std::string json;
        {
            std::lock_guard<std::mutex> lock(shared.mutex);
            json = shared.state;
        }
        json += ",\"monitorLast\":" + std::to_string(last) + ",\"monitor\":[";
        for (size_t i = 0; i < lines.size(); ++i) {
            json += (i == 0 ? "" : ",") + JsonString(lines[i]);
        }
        json += "]}";
        response.set_header("Cache-Control", "no-store");
        response.set_content(json, "application/json");
    };
}

httplib::Server::Handler TouchRoute(WebShared& shared, PageFinger& finger) {
    return [&shared, &finger](const httplib::Request& request, httplib::Response& response) {
        long x = 0;
        long y = 0;
        if (!ParseInt(request.get_param_value("x"), 0, 319, x) ||
            !ParseInt(request.get_param_value("y"), 0, 239, y)) {
            return Refuse(response, "touch needs x 0-319 and y 0-239");
        }
        shared.post([&finger, x, y] {
            if (finger.down) {
                finger.finger.move(static_cast<int>(x), static_cast<int>(y));
            } else {
                finger.finger.down(static_cast<int>(x), static_cast<int>(y));
                finger.down = true;
            }
        });
    };
}

httplib::Server::Handler ReleaseRoute(WebShared& shared, PageFinger& finger) {
    return [&shared, &finger](const httplib::Request&, httplib::Response&) {
        shared.post([&finger] {
            if (finger.down) {
                finger.finger.up();
                finger.down = false;
            }
        });
    };
}

httplib::Server::Handler FaultRoute(WebShared& shared, Workbench& bench) {
    return [&shared, &bench](const httplib::Request& request, httplib::Response& response) {
        const std::string kind = request.get_param_value("kind");
        bool known = false;
        for (const FaultKind& candidate : FaultKinds()) {
            known = known || kind == candidate.name;
        }
        if (!known) {
            return Refuse(response, "no fault '" + kind + "'");
        }
        shared.post([&bench, kind] {
            std::string why;
            if (!bench.setFault(kind, &why)) {
                std::fprintf(stderr, "panel-sim: %s\n", why.c_str());
            }
        });
    };
}

httplib::Server::Handler RegisterRoute(WebShared& shared, Workbench& bench) {
    return [&shared, &bench](const httplib::Request& request, httplib::Response& response) {
        long address = 0;
        long value = 0;
        const std::string given = request.get_param_value("value");
        if (!ParseInt(request.get_param_value("address"), remote_io::kFirstRegister,
                      remote_io::kFirstRegister + remote_io::kRegisterCount - 1, address)) {
            return Refuse(response,
                          "register needs an address " + std::string(remote_io::AddressRange()));
        }
        if (!ParseInt(given, 0, 65535, value)) {
            return Refuse(response, "register " + std::to_string(address) +
                                        " takes a value 0-65535, not '" + given.substr(0, 20) +
                                        "'");
        }
        shared.post([&bench, address, value] {
            std::string why;
            if (!bench.setRegister(static_cast<int>(address - remote_io::kFirstRegister),
                                   static_cast<uint16_t>(value), &why)) {
                std::fprintf(stderr, "panel-sim: %s\n", why.c_str());
            }
        });
    };
}

}  // namespace

std::vector<WebRoute> WebRoutes(WebShared& shared, Workbench& bench, PageFinger& finger) {
    return {
        {"GET", "/", PageRoute()},
        {"GET", "/frame", FrameRoute(shared)},
        {"GET", "/state", StateRoute(shared, bench)},
        {"POST", "/touch", TouchRoute(shared, finger)},
        {"POST", "/release", ReleaseRoute(shared, finger)},
        {"POST", "/fault", FaultRoute(shared, bench)},
        {"POST", "/register", RegisterRoute(shared, bench)},
    };
}

void AnswerRequest(const std::vector<WebRoute>& routes, const httplib::Request& request,
                   httplib::Response& response) {
    const bool head = request.method == "HEAD";
    const std::string method = head ? std::string("GET") : request.method;
    for (const WebRoute& route : routes) {
        if (method == route.method && request.path == route.path) {
            route.handle(request, response);
            if (response.status == -1) {
                response.status = 200;  // a handler that sets none answers 200
            }
            if (head) {
                response.body.clear();
            }
            return;
        }
    }
    response.status = 404;
}

}  // namespace app
