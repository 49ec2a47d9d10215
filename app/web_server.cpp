#include "web_server.hpp"

#include <httplib.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <csignal>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "debugger.hpp"
#include "panel_models.hpp"
#include "process.hpp"
#include "finger.hpp"
#include "script.hpp"
#include "web_routes.hpp"

namespace app {

namespace {

std::atomic<bool> g_stop{false};

void Stop(int) {
    g_stop = true;
}

// Virtual time run per loop at most, so that the page stays live when the host is slow.
constexpr double kMaxRunPerLoopMs = 100.0;
// Each connection holds a thread of the server while it is open: a viewer's frame requests,
// its state requests and its finger's, besides the page itself and other programs.
constexpr int kServerThreads = 3 * kMostWaitingViewers;

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
    const int port = options.webPort == 0 ? http.bind_to_any_port(host)
                     : http.bind_to_port(host, options.webPort) ? options.webPort
                                                                  : -1;
    if (port <= 0) {
        const int error = errno;
        *why = "--web " + std::to_string(options.webPort) + ": cannot listen on " + host +
               " port " + std::to_string(options.webPort) +
               (error == EADDRINUSE ? std::string(": the port is taken (another program listens "
                                                  "there; choose another, or 0 for any free one)")
                : error != 0       ? std::string(": ") + std::strerror(error)
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

int RunWeb(WebServer& web, Session& session, const Options& options) {
    sim::PanelHarness& panel = session.panel;
    Workbench& bench = session.bench;
    WebShared shared;
    httplib::Server& server = web.http;
    Finger finger(sim::TouchOf(panel.board()));
    bench.watch(finger);  // what the finger does goes into the recording
    PageFinger pageFinger{finger};
    for (WebRoute& route : WebRoutes(shared, bench, pageFinger)) {
        if (std::string(route.method) == "GET") {
            server.Get(route.path, std::move(route.handle));
        } else {
            server.Post(route.path, std::move(route.handle));
        }
    }
    // The state is there before the first request can ask for it.
    shared.state = StateJson(session, 0, std::string());
    const char* host = "127.0.0.1";
    const int port = web.port;
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
    std::string stopped;
    using Clock = std::chrono::steady_clock;
    Clock::time_point last = Clock::now();
    Clock::time_point lastState{};
    if (session.debugger != nullptr) {
        // Held by a debugger: the page's state says so (its commands wait for the run).
        session.debugger->whileHeld([&] {
            std::string state = StateJson(session, frameNumber, stopped);
            std::lock_guard<std::mutex> lock(shared.mutex);
            shared.state.swap(state);
        });
    }
    double target = panel.nowMs();
    const double endMs = options.secondsGiven ? options.seconds * 1000.0 : -1.0;

    while (!g_stop && !(endMs >= 0 && panel.nowMs() >= endMs)) {
        // The page's commands, in order (a finger event waits in the finger until its time).
        shared.runCommands();
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
                    stopped = "the firmware stopped: " + panel.core().haltReason();
                    std::fprintf(stderr, "panel-sim: %s\n", stopped.c_str());
                    lastState = {};  // the page learns it at once
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
            std::string state = StateJson(session, frameNumber, stopped);
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
    if (session.debugger != nullptr) {
        session.debugger->whileHeld(nullptr);  // it refers to this run's page state
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
