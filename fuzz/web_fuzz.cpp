// The web API's request handling on any method, path, query and body, answered in-process by
// the routes the server uses. Every answer is 2xx or 4xx; what the requests posted runs on the
// harness side; and the panel's state is still served afterwards, as well-formed JSON.
#include <httplib.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_support.hpp"
#include "options.hpp"
#include "panel_harness.hpp"
#include "panel_models.hpp"
#include "panel_view.hpp"
#include "web_routes.hpp"
#include "workbench.hpp"

namespace {

// The panel, once for all inputs: the host firmware, started and run a little.
struct Bench {
    app::Options options;
    sim::PanelHarness panel;
    app::Workbench bench{panel, options};
    std::unique_ptr<app::PanelView> view = app::HostView();
    app::Session session{panel, bench, *view, nullptr};
    // The state the harness side published before the requests: the same for every input (it
    // starts from the same panel), so made once.
    std::string running;
    std::string halted;

    Bench() {
        FUZZ_CHECK(bench.start());
        FUZZ_CHECK(panel.runForMs(50) != sim::StopReason::Halted);
        running = app::StateJson(session, 0, "");
        halted = app::StateJson(session, 0, "the firmware stopped: a fault");
    }
};

Bench& TheBench() {
    static Bench bench;
    return bench;
}

const char* const kMethods[] = {"GET", "POST", "HEAD", "PUT", "DELETE", "OPTIONS", "PATCH"};
const char* const kPaths[] = {"/", "/frame", "/state", "/touch", "/release", "/fault", "/register"};

// A method and a path from the tables (most inputs) or as written.
std::string Pick(fuzz::Input& in, const char* const* table, size_t count, size_t longest) {
    const uint8_t choice = in.byte();
    return choice < count * 32 ? table[choice % count] : in.text(longest);
}

httplib::Request ReadRequest(fuzz::Input& in) {
    httplib::Request request;
    request.method = Pick(in, kMethods, std::size(kMethods), 10);
    request.path = Pick(in, kPaths, std::size(kPaths), 40);
    httplib::detail::parse_query_text(in.text(80), request.params);
    request.body = in.text(80);
    // A form in the body is read into the parameters, as the server does for a POST.
    if (in.flag()) {
        request.set_header("Content-Type", "application/x-www-form-urlencoded");
        httplib::detail::parse_query_text(request.body, request.params);
    }
    return request;
}

// Strings closed, brackets balanced and in order, no raw control characters.
bool WellFormedJson(const std::string& json) {
    std::string open;
    bool inString = false;
    for (size_t i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (inString) {
            if (static_cast<unsigned char>(c) < 0x20) {
                return false;
            }
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            open.push_back(c == '{' ? '}' : ']');
        } else if (c == '}' || c == ']') {
            if (open.empty() || open.back() != c) {
                return false;
            }
            open.pop_back();
        }
    }
    return !inString && open.empty() && !json.empty() && json.front() == '{';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Bench& bench = TheBench();
    fuzz::Input in(data, size);
    sim::Board& board = bench.panel.board();
    app::Finger finger(sim::TouchOf(board));
    app::PageFinger pageFinger{finger};
    app::WebShared shared;
    // A frame the page may or may not have yet; no request waits for the next one.
    shared.frameNumber = in.byte();
    shared.frame = std::string(in.byte(), 'p');
    shared.stopping = true;
    shared.state = in.flag() ? bench.halted : bench.running;
    const std::vector<app::WebRoute> routes = app::WebRoutes(shared, bench.bench, pageFinger);
    for (int i = 0; i < 4 && in.left() > 0; ++i) {
        const httplib::Request request = ReadRequest(in);
        httplib::Response response;
        app::AnswerRequest(routes, request, response);
        FUZZ_CHECK((response.status >= 200 && response.status < 300) ||
                   (response.status >= 400 && response.status < 500));
    }
    // The harness side: what the requests posted, then the state it publishes.
    shared.runCommands();
    (void)finger.apply(bench.panel.nowMs());
    shared.state = app::StateJson(bench.session, shared.frameNumber, "");
    httplib::Request state;
    state.method = "GET";
    state.path = "/state";
    httplib::Response response;
    app::AnswerRequest(routes, state, response);
    FUZZ_CHECK(response.status == 200);
    FUZZ_CHECK(WellFormedJson(response.body));
    // The next input starts from a panel without a fault or a finger.
    FUZZ_CHECK(bench.bench.setFault("none"));
    sim::TouchOf(board).release();
    return 0;
}
