#include "web_server.hpp"

#include <httplib.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cli.hpp"
#include "commands.hpp"
#include "fault_kinds.hpp"
#include "finger.hpp"
#include "debugger.hpp"
#include "panel_models.hpp"
#include "process.hpp"
#include "registers.hpp"
#include "workbench.hpp"

namespace app {

namespace {

std::atomic<bool> g_stop{false};

void Stop(int) {
    g_stop = true;
}

// Virtual time run per loop at most, so that the page stays live when the host is slow.
constexpr double kMaxRunPerLoopMs = 100.0;
// A long poll for a new frame gives up after this long (the page just asks again); a viewer that
// went away holds its place no longer than this.
constexpr auto kFrameWait = std::chrono::seconds(2);
// Viewers whose request for the next frame may wait at once; one more is answered "busy" at once
// (the page asks again a little later), so that the server's threads never all wait.
constexpr int kMostWaitingViewers = 48;
// Each connection holds a thread of the server while it is open: a viewer's frame requests,
// its state requests and its finger's, besides the page itself and other programs.
constexpr int kServerThreads = 3 * kMostWaitingViewers;

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
    int waitingViewers = 0;

    void post(std::function<void()> command) {
        std::lock_guard<std::mutex> lock(mutex);
        commands.push_back(std::move(command));
    }
};

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

// The page's finger: the first point after a release puts it down, the next ones move it.
struct PageFinger {
    Finger& finger;
    bool down = false;
};

// A command from the page, checked at once (a mistake is answered 400 with the registry's
// message) and run on the harness side in its turn.
using Post = std::function<void(std::function<void()>)>;
void PostCommand(Session& session, const Post& post, httplib::Response& response,
                 const std::vector<std::string>& words) {
    Command command;
    try {
        command = ParseCommand(words, CommandContext{true, session.bench.hasModule()});
    } catch (const cli::UsageError& e) {
        response.status = 400;
        response.set_content(e.message + "\n", "text/plain");
        return;
    }
    post([&session, command] {
        if (const CommandResult result = RunCommand(session, command); !result.ok) {
            std::fprintf(stderr, "panel-sim: %s\n", result.error.c_str());
        }
    });
}

void PageRoutes(httplib::Server& server, Shared& shared, Workbench& bench) {
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
    });
    server.Get(
        "/state", [&shared, &bench](const httplib::Request& request, httplib::Response& response) {
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
}

// The page's commands: the finger (held back as the window's mouse is), faults, registers.
void CommandRoutes(httplib::Server& server, Shared& shared, Session& session, PageFinger& finger) {
    const Post post = [&shared](std::function<void()> command) { shared.post(std::move(command)); };
    server.Post("/touch",
                [&shared, &finger](const httplib::Request& request, httplib::Response& response) {
                    Command touch;
                    try {
                        touch = ParseCommand(
                            {"touch", request.get_param_value("x"), request.get_param_value("y")},
                            CommandContext{false, true});
                    } catch (const cli::UsageError& e) {
                        response.status = 400;
                        response.set_content(e.message + "\n", "text/plain");
                        return;
                    }
                    shared.post([&finger, x = touch.x, y = touch.y] {
                        if (finger.down) {
                            finger.finger.move(x, y);
                        } else {
                            finger.finger.down(x, y);
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
    server.Post("/fault",
                [&session, post](const httplib::Request& request, httplib::Response& response) {
                    std::vector<std::string> words{"fault", request.get_param_value("kind")};
                    if (request.has_param("answers")) {
                        words.push_back(request.get_param_value("answers"));
                    }
                    PostCommand(session, post, response, words);
                });
    server.Post("/register",
                [&session, post](const httplib::Request& request, httplib::Response& response) {
                    PostCommand(session, post, response,
                                {"register", request.get_param_value("address"),
                                 request.get_param_value("value")});
                });
}

}  // namespace

class WebServer {
  public:
    httplib::Server http;
    int port = -1;
    socket_t listening = -1;
};

void WebServerDeleter::operator()(WebServer* server) const {
    delete server;
}

WebServerPtr ListenWeb(const Options& options, std::string* why) {
    WebServerPtr server(new WebServer);
    httplib::Server& http = server->http;
    http.new_task_queue = [] { return new httplib::ThreadPool(kServerThreads); };
    // Not the library's SO_REUSEPORT: with it a second simulator could listen on the same port
    // and take every other request.
    http.set_socket_options([listening = &server->listening](socket_t socket) {
        int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
        *listening = socket;
    });
    // A request without Content-Length or chunks has no body; the library would read one until
    // its time-out instead.
    http.set_pre_routing_handler([](const httplib::Request& request, httplib::Response&) {
        if (!request.has_header("Content-Length") && !request.has_header("Transfer-Encoding") &&
            (request.method == "POST" || request.method == "PUT" || request.method == "PATCH")) {
            // The request is the server's own, passed to this handler read-only.
            const_cast<httplib::Request&>(request).set_header("Content-Length", "0");
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    // Only this machine may drive the panel.
    const char* host = "127.0.0.1";
    errno = 0;
    const int port = options.webPort == 0                       ? http.bind_to_any_port(host)
                     : http.bind_to_port(host, options.webPort) ? options.webPort
                                                                : -1;
    if (port <= 0) {
        const int error = errno;
        *why = "--web " + std::to_string(options.webPort) + ": cannot listen on " + host +
               " port " + std::to_string(options.webPort) +
               (error == EADDRINUSE ? std::string(": the port is taken (another program listens "
                                                  "there; choose another, or 0 for any free one)")
                : error != 0        ? std::string(": ") + std::strerror(error)
                                    : std::string());
        return nullptr;
    }
    // The library listens with a backlog of 5: viewers that connect at once beyond it would wait
    // for the system's retry, a second or more. Listening again sets a longer one.
    if (server->listening >= 0) {
        ::listen(server->listening, kServerThreads);
    }
    server->port = port;
    return server;
}

namespace {

// The harness side of a web session: the page's commands in their turn, virtual time paced to
// the wall clock, the frames and the state published for the server's threads.
class WebRun {
  public:
    WebRun(Session& session, const Options& options, Shared& shared, Finger& finger)
        : session_(session),
          options_(options),
          shared_(shared),
          finger_(finger),
          display_(sim::DisplayOf(session.panel.board())),
          target_(session.panel.nowMs()),
          endMs_(options.secondsGiven ? options.seconds * 1000.0 : -1.0) {}

    // Until Ctrl-C or the end of --seconds; the exit code.
    int run() {
        if (session_.debugger != nullptr) {
            // Held by a debugger: the page's state says so (its commands wait for the run).
            session_.debugger->whileHeld([this] {
                std::string state = StateJson(session_, frameNumber_, stopped_);
                std::lock_guard<std::mutex> lock(shared_.mutex);
                shared_.state.swap(state);
            });
        }
        while (!g_stop && !(endMs_ >= 0 && session_.panel.nowMs() >= endMs_)) {
            pageCommands();
            const Clock::time_point now = Clock::now();
            advance(std::chrono::duration<double, std::milli>(now - last_).count());
            last_ = now;
            publish(now);
            // At most 50 frames a second; the page asks for each one as soon as it has the last.
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (session_.debugger != nullptr) {
            session_.debugger->whileHeld(nullptr);  // it refers to this run
        }
        return halted_ ? 1 : 0;
    }

  private:
    using Clock = std::chrono::steady_clock;

    // The page's commands, in order (a finger event waits in the finger until its time).
    void pageCommands() {
        for (;;) {
            std::function<void()> command;
            {
                std::lock_guard<std::mutex> lock(shared_.mutex);
                if (shared_.commands.empty()) {
                    return;
                }
                command = std::move(shared_.commands.front());
                shared_.commands.pop_front();
            }
            command();
        }
    }

    // Runs in steps that stop where a held-back finger event falls due.
    void advance(double elapsedMs) {
        if (halted_) {
            return;
        }
        sim::PanelHarness& panel = session_.panel;
        target_ += std::min(elapsedMs * options_.speed, kMaxRunPerLoopMs);
        if (endMs_ >= 0) {
            target_ = std::min(target_, endMs_);
        }
        for (;;) {
            const double due = finger_.apply(panel.nowMs());
            const double step = due >= 0 && due < target_ ? due : target_;
            const double before = panel.nowMs();
            if (step <= before) {
                return;
            }
            if (panel.runUntilMs(step) == sim::StopReason::Halted) {
                halted_ = true;
                stopped_ = "the firmware stopped: " + panel.core().haltReason();
                std::fprintf(stderr, "panel-sim: %s\n", stopped_.c_str());
                lastState_ = {};  // the page learns it at once
                return;
            }
            // A step less than a picosecond past the current time rounds to it: the run stops
            // where it is, and asking again would never get further (the loop would spin).
            if (panel.nowMs() <= before) {
                return;
            }
        }
    }

    // A new frame as soon as there is one, the state at least every 100 ms.
    void publish(Clock::time_point now) {
        const bool newFrame = display_.version() != shownVersion_;
        if (!newFrame && now - lastState_ < std::chrono::milliseconds(100)) {
            return;
        }
        std::string rgb;
        if (newFrame) {
            shownVersion_ = display_.version();
            const std::vector<uint8_t> pixels = display_.renderRgb();
            rgb.assign(pixels.begin(), pixels.end());
            ++frameNumber_;
        }
        std::string state = StateJson(session_, frameNumber_, stopped_);
        lastState_ = now;
        {
            std::lock_guard<std::mutex> lock(shared_.mutex);
            if (newFrame) {
                shared_.frame.swap(rgb);
                shared_.frameNumber = frameNumber_;
            }
            shared_.state.swap(state);
        }
        if (newFrame) {
            shared_.frameReady.notify_all();
        }
    }

    Session& session_;
    const Options& options_;
    Shared& shared_;
    Finger& finger_;
    sim::DisplayModule& display_;
    uint64_t shownVersion_ = ~uint64_t{0};
    uint64_t frameNumber_ = 0;
    bool halted_ = false;
    std::string stopped_;
    Clock::time_point last_ = Clock::now();
    Clock::time_point lastState_{};
    double target_;
    const double endMs_;
};

}  // namespace

int RunWeb(WebServer& web, Session& session, const Options& options) {
    Shared shared;
    httplib::Server& server = web.http;
    Finger finger([&session](bool pressed, int x, int y) {
        if (const CommandResult r = RunTouch(session, pressed, x, y); !r.ok) {
            std::fprintf(stderr, "panel-sim: %s\n", r.error.c_str());
        }
    });
    PageFinger pageFinger{finger};
    PageRoutes(server, shared, session.bench);
    CommandRoutes(server, shared, session, pageFinger);
    std::thread serving([&server] { server.listen_after_bind(); });
    std::printf("panel-sim: the panel is on http://127.0.0.1:%d/ (Ctrl-C to stop)\n", web.port);
    std::fflush(stdout);
    std::signal(SIGINT, Stop);
    std::signal(SIGTERM, Stop);

    const int result = WebRun(session, options, shared, finger).run();
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
    return result;
}

}  // namespace app
