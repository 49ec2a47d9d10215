#include "web_server.hpp"

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <csignal>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "panel_models.hpp"
#include "project/_dict.hpp"
#include "process.hpp"
#include "finger.hpp"
#include "script.hpp"

namespace app {

namespace {

std::atomic<bool> g_stop{false};

void Stop(int) {
    g_stop = true;
}

// Virtual time run per loop at most, so that the page stays live when the host is slow.
constexpr double kMaxRunPerLoopMs = 100.0;
// A long poll for a new frame gives up after this long (the page just asks again).
constexpr auto kFrameWait = std::chrono::seconds(10);

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

// What the harness side publishes for the server's threads, and what they ask of it.
struct Shared {
    std::mutex mutex;
    std::condition_variable frameReady;
    uint64_t frameNumber = 0;
    std::string frame;  // RGB, 3 bytes a pixel, row by row
    std::string state;  // JSON without the monitor's lines
    std::deque<std::function<void()>> commands;
    bool stopping = false;

    void post(std::function<void()> command) {
        std::lock_guard<std::mutex> lock(mutex);
        commands.push_back(std::move(command));
    }
};

std::string StateJson(sim::PanelHarness& panel, Workbench& bench, uint64_t frameNumber) {
    std::string json = "{\"status\":" + JsonString(StatusLine(panel));
    json += ",\"fault\":" + JsonString(bench.fault().name);
    json += ",\"dev1Error\":" + std::to_string(static_cast<int>(Dev_1_ERROR.value));
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
            ",\"good\":" + std::to_string(c.good) + ",\"crcErrors\":" +
            std::to_string(c.crcErrors) + ",\"timeouts\":" + std::to_string(c.timeouts) +
            ",\"exceptions\":" + std::to_string(c.exceptions) + ",\"late\":" +
            std::to_string(c.late) + ",\"other\":" + std::to_string(c.otherErrors) + "}";
    return json;
}

// The page's finger: the first point after a release puts it down, the next ones move it.
struct PageFinger {
    Finger& finger;
    bool down = false;
};

void Routes(httplib::Server& server, Shared& shared, Workbench& bench, PageFinger& finger) {
    server.Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(kWebPage, "text/html; charset=utf-8");
    });
    // The next frame after the one the page has: answered as soon as there is one.
    server.Get("/frame", [&shared](const httplib::Request& request, httplib::Response& response) {
        long after = 0;
        if (!ParseInt(request.get_param_value("after"), 0, LONG_MAX, after)) {
            after = 0;
        }
        std::unique_lock<std::mutex> lock(shared.mutex);
        shared.frameReady.wait_for(lock, kFrameWait, [&] {
            return shared.stopping || shared.frameNumber > static_cast<uint64_t>(after);
        });
        if (shared.frameNumber <= static_cast<uint64_t>(after)) {
            response.status = 204;
            return;
        }
        response.set_header("X-Frame", std::to_string(shared.frameNumber));
        response.set_header("Cache-Control", "no-store");
        response.set_content(shared.frame, "application/octet-stream");
    });
    server.Get("/state", [&shared, &bench](const httplib::Request& request,
                                           httplib::Response& response) {
        long after = 0;
        if (!ParseInt(request.get_param_value("after"), 0, LONG_MAX, after)) {
            after = 0;
        }
        std::vector<std::string> lines;
        const uint64_t last = bench.monitor().linesAfter(static_cast<uint64_t>(after), lines);
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
    });
    const auto bad = [](httplib::Response& response, const std::string& why) {
        response.status = 400;
        response.set_content(why + "\n", "text/plain");
    };
    server.Post("/touch", [&shared, &finger, bad](const httplib::Request& request,
                                                  httplib::Response& response) {
        long x = 0;
        long y = 0;
        if (!ParseInt(request.get_param_value("x"), 0, 319, x) ||
            !ParseInt(request.get_param_value("y"), 0, 239, y)) {
            return bad(response, "touch needs x 0-319 and y 0-239");
        }
        shared.post([&finger, x, y] {
            if (finger.down) {
                finger.finger.move(static_cast<int>(x), static_cast<int>(y));
            } else {
                finger.finger.down(static_cast<int>(x), static_cast<int>(y));
                finger.down = true;
            }
        });
    });
    server.Post("/release", [&shared, &finger](const httplib::Request&, httplib::Response&) {
        shared.post([&finger] {
            if (finger.down) {
                finger.finger.up();
                finger.down = false;
            }
        });
    });
    server.Post("/fault", [&shared, &bench, bad](const httplib::Request& request,
                                                 httplib::Response& response) {
        const std::string kind = request.get_param_value("kind");
        bool known = false;
        for (const FaultKind& candidate : FaultKinds()) {
            known = known || kind == candidate.name;
        }
        if (!known) {
            return bad(response, "no fault '" + kind + "'");
        }
        shared.post([&bench, kind] {
            std::string why;
            if (!bench.setFault(kind, &why)) {
                std::fprintf(stderr, "panel-sim: %s\n", why.c_str());
            }
        });
    });
    server.Post("/register", [&shared, &bench, bad](const httplib::Request& request,
                                                    httplib::Response& response) {
        long address = 0;
        long value = 0;
        if (!ParseInt(request.get_param_value("address"), remote_io::kFirstRegister,
                      remote_io::kFirstRegister + remote_io::kRegisterCount - 1, address) ||
            !ParseInt(request.get_param_value("value"), 0, 65535, value)) {
            return bad(response, "register needs an address " +
                                     std::string(remote_io::AddressRange()) +
                                     " and a value 0-65535");
        }
        shared.post([&bench, address, value] {
            std::string why;
            if (!bench.setRegister(static_cast<int>(address - remote_io::kFirstRegister),
                                   static_cast<uint16_t>(value), &why)) {
                std::fprintf(stderr, "panel-sim: %s\n", why.c_str());
            }
        });
    });
}

}  // namespace

int RunWeb(sim::PanelHarness& panel, const Options& options, Workbench& bench) {
    Shared shared;
    httplib::Server server;
    Finger finger(sim::TouchOf(panel.board()));
    bench.watch(finger);  // what the finger does goes into the recording
    PageFinger pageFinger{finger};
    Routes(server, shared, bench, pageFinger);
    // Only this machine may drive the panel.
    const char* host = "127.0.0.1";
    int port = options.webPort;
    if (port == 0) {
        port = server.bind_to_any_port(host);
    } else if (!server.bind_to_port(host, port)) {
        port = -1;
    }
    if (port <= 0) {
        std::fprintf(stderr, "panel-sim: cannot serve on %s port %d\n", host, options.webPort);
        return 1;
    }
    std::thread serving([&server] { server.listen_after_bind(); });
    std::printf("panel-sim: the panel is on http://%s:%d/ (Ctrl-C to stop)\n", host, port);
    std::fflush(stdout);
    std::signal(SIGINT, Stop);
    std::signal(SIGTERM, Stop);

    sim::Board& board = panel.board();
    sim::DisplayModule& display = sim::DisplayOf(board);
    uint64_t shownVersion = ~uint64_t{0};
    uint64_t frameNumber = 0;
    bool halted = false;
    using Clock = std::chrono::steady_clock;
    Clock::time_point last = Clock::now();
    Clock::time_point lastState{};
    double target = panel.nowMs();
    const double endMs = options.secondsGiven ? options.seconds * 1000.0 : -1.0;

    while (!g_stop && !(endMs >= 0 && panel.nowMs() >= endMs)) {
        // The page's commands, in order (a finger event waits in the finger until its time).
        for (;;) {
            std::function<void()> command;
            {
                std::lock_guard<std::mutex> lock(shared.mutex);
                if (shared.commands.empty()) {
                    break;
                }
                command = std::move(shared.commands.front());
                shared.commands.pop_front();
            }
            command();
        }
        const Clock::time_point now = Clock::now();
        const double elapsedMs = std::chrono::duration<double, std::milli>(now - last).count();
        last = now;
        if (!halted) {
            target += std::min(elapsedMs * options.speed, kMaxRunPerLoopMs);
            if (endMs >= 0) {
                target = std::min(target, endMs);
            }
            // Run in steps that stop where a held-back finger event falls due.
            for (;;) {
                const double due = finger.apply(panel.nowMs());
                const double step = due >= 0 && due < target ? due : target;
                if (step <= panel.nowMs()) {
                    break;
                }
                if (panel.runUntilMs(step) == sim::StopReason::Halted) {
                    halted = true;
                    std::fprintf(stderr, "panel-sim: the firmware stopped: %s\n",
                                 board.runner().haltReason().c_str());
                    break;
                }
            }
        }
        const bool newFrame = display.version() != shownVersion;
        if (newFrame || now - lastState >= std::chrono::milliseconds(100)) {
            std::string rgb;
            if (newFrame) {
                shownVersion = display.version();
                const std::vector<uint8_t> pixels = display.renderRgb();
                rgb.assign(pixels.begin(), pixels.end());
                ++frameNumber;
            }
            std::string state = StateJson(panel, bench, frameNumber);
            lastState = now;
            std::lock_guard<std::mutex> lock(shared.mutex);
            if (newFrame) {
                shared.frame.swap(rgb);
                shared.frameNumber = frameNumber;
            }
            shared.state.swap(state);
        }
        if (newFrame) {
            shared.frameReady.notify_all();
        }
        // At most 50 frames a second; the page asks for each one as soon as it has the last.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    {
        std::lock_guard<std::mutex> lock(shared.mutex);
        shared.stopping = true;
    }
    shared.frameReady.notify_all();
    server.stop();
    serving.join();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    std::printf("panel-sim: web server stopped\n");
    return halted ? 1 : 0;
}

}  // namespace app
