// loopcost: reads the disassembly of a target image (arm-none-eabi-objdump) and reports, for each
// loop of the chosen functions, its instructions and stores per pass and per pixel, with a cycle
// estimate under stated assumptions. A loop is a backward branch's natural loop (the target and
// every instruction that reaches the branch without passing the target). Its pixels per pass are the WR strobes in it: the stores to the most used address
// (register and offset), two a pixel. Every instruction of the loop counts once, so a loop that
// skips stores when a data byte repeats is reported at its dearest path.
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <vector>

namespace {

const char* const kUsage =
    "usage: loopcost [--tsv] [--store-cycles N] [--branch-cycles N] [--objdump PROGRAM]\n"
    "                ELF [FUNCTION...]\n"
    "Reports instructions and stores per pixel for each loop of the functions whose demangled\n"
    "name is FUNCTION, or else contains it (default: the landscape display driver's drawing\n"
    "routines).\n"
    "Cycle estimate: one cycle an instruction, N (default 2) a store, N (default 3) the taken\n"
    "branch that closes each pass. --tsv columns: routine, loop, pixels a pass, then dearest and\n"
    "cheapest instructions/pixel, stores/pixel and cycles/pixel.\n";

const char* const kDefaultFunctions[] = {
    "FoxLink320x240x16_HX8347A_RectFill", "hx8347_landscape_line_draw_h",
    "Driver<hx8347::Landscape>::LineDrawHSteps",
    "FoxLink320x240x16_HX8347A_LineDrawV", "hx8347_row16",
    "hx8347_row8",                   "Driver<hx8347::Landscape>::Row4",
    "Driver<hx8347::Landscape>::Row1",
};

struct Instruction {
    unsigned long address;
    std::string mnemonic;
    std::string operands;
};

struct Function {
    std::string name;
    std::vector<Instruction> code;
};

bool IsStore(const std::string& m) {
    return m.rfind("str", 0) == 0 || m.rfind("stm", 0) == 0;
}

// b, bne, b.n, bcc.w ...: a branch with a target address (bl, bx, cbz excluded).
bool IsBranch(std::string m) {
    if (m.size() > 2 && (m.substr(m.size() - 2) == ".n" || m.substr(m.size() - 2) == ".w")) {
        m.resize(m.size() - 2);
    }
    static const char* const kConditions[] = {"eq", "ne", "cs", "cc", "hs", "lo", "mi", "pl", "vs",
                                              "vc", "hi", "ls", "ge", "lt", "gt", "le", "al"};
    if (m == "b") {
        return true;
    }
    if (m.size() != 3 || m[0] != 'b') {
        return false;
    }
    for (const char* c : kConditions) {
        if (m.compare(1, 2, c) == 0) {
            return true;
        }
    }
    return false;
}

std::string StoreAddress(const std::string& operands) {
    const auto open = operands.find('[');
    const auto close = operands.find(']', open);
    return open == std::string::npos || close == std::string::npos
               ? operands
               : operands.substr(open, close - open + 1);
}

std::vector<Function> Disassemble(const std::string& objdump, const std::string& elf, bool* ok) {
    std::vector<Function> functions;
    const std::string command = objdump + " -d -C --no-show-raw-insn '" + elf + "' 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    *ok = false;
    if (!pipe) {
        return functions;
    }
    static const std::regex header(R"(^([0-9a-f]+) <(.*)>:$)");
    static const std::regex line(R"(^\s+([0-9a-f]+):\s+(\S+)\s*(.*)$)");
    char buffer[1024];
    std::smatch m;
    while (fgets(buffer, sizeof(buffer), pipe.get()) != nullptr) {
        std::string text(buffer);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
            text.pop_back();
        }
        if (std::regex_match(text, m, header)) {
            functions.push_back(Function{m[2], {}});
        } else if (!functions.empty() && std::regex_match(text, m, line) && m[2].str()[0] != '.') {
            functions.back().code.push_back(
                Instruction{std::stoul(m[1], nullptr, 16), m[2], m[3]});
        }
    }
    *ok = pclose(pipe.release()) == 0 && !functions.empty();
    return functions;
}

struct Loop {
    unsigned long first;
    unsigned long last;
    int instructions = 0;  // on the dearest pass
    int stores = 0;        // on the dearest pass
    int cheapest = 0;      // instructions on the cheapest pass
    int cheapestStores = 0;
    int pixels = 0;
};

bool IsUnconditional(const std::string& m) {
    return m == "b" || m == "b.n" || m == "b.w";
}

unsigned long Target(const Instruction& i, bool* ok) {
    char* end = nullptr;
    const unsigned long target = std::strtoul(i.operands.c_str(), &end, 16);
    *ok = end != i.operands.c_str();
    return target;
}

// The natural loop of each backward branch: its target and every instruction from which the
// branch is reached without passing the target (cbz/cbnz included as forward branches).
std::vector<Loop> Loops(const Function& f) {
    const size_t n = f.code.size();
    std::map<unsigned long, size_t> at;
    for (size_t k = 0; k < n; ++k) {
        at[f.code[k].address] = k;
    }
    std::vector<std::vector<size_t>> predecessors(n);
    std::vector<std::vector<size_t>> successors(n);
    for (size_t k = 0; k < n; ++k) {
        const Instruction& i = f.code[k];
        const bool compareBranch = i.mnemonic.rfind("cb", 0) == 0;
        bool ok = false;
        if (IsBranch(i.mnemonic) || compareBranch) {
            const unsigned long target =
                Target(compareBranch ? Instruction{0, "", i.operands.substr(i.operands.find(',') + 1)}
                                     : i,
                       &ok);
            if (ok && at.count(target) != 0) {
                predecessors[at[target]].push_back(k);
                successors[k].push_back(at[target]);
            }
        }
        if (k + 1 < n && !IsUnconditional(i.mnemonic) && i.mnemonic.rfind("pop", 0) != 0 &&
            i.mnemonic.rfind("ldmia", 0) != 0) {
            predecessors[k + 1].push_back(k);
            successors[k].push_back(k + 1);
        }
    }
    std::vector<Loop> loops;
    for (size_t k = 0; k < n; ++k) {
        const Instruction& i = f.code[k];
        bool ok = false;
        if (!IsBranch(i.mnemonic)) {
            continue;
        }
        const unsigned long target = Target(i, &ok);
        if (!ok || target > i.address || at.count(target) == 0) {
            continue;
        }
        const size_t head = at[target];
        std::vector<bool> in(n, false);
        in[head] = true;
        std::vector<size_t> work;
        if (!in[k]) {
            in[k] = true;
            work.push_back(k);
        }
        while (!work.empty()) {
            const size_t m = work.back();
            work.pop_back();
            for (const size_t p : predecessors[m]) {
                if (!in[p]) {
                    in[p] = true;
                    work.push_back(p);
                }
            }
        }
        if (in[0] && head != 0) {
            continue;  // the entry reaches the branch around the target: a jump back, no loop
        }
        Loop loop{target, i.address};
        // Passes from the head to the branch, in address order (forward edges only): the
        // dearest and the cheapest by instructions, with their stores.
        const int kNone = -1;
        std::vector<int> most(n, kNone), mostStores(n, 0), least(n, kNone), leastStores(n, 0);
        most[head] = least[head] = 1;
        mostStores[head] = leastStores[head] = IsStore(f.code[head].mnemonic) ? 1 : 0;
        for (size_t m = head; m <= k; ++m) {
            if (!in[m] || most[m] == kNone) {
                continue;
            }
            for (const size_t next : successors[m]) {
                if (next <= m || next > k || !in[next]) {
                    continue;
                }
                const int store = IsStore(f.code[next].mnemonic) ? 1 : 0;
                if (most[next] == kNone || most[m] + 1 > most[next]) {
                    most[next] = most[m] + 1;
                    mostStores[next] = mostStores[m] + store;
                }
                if (least[next] == kNone || least[m] + 1 < least[next]) {
                    least[next] = least[m] + 1;
                    leastStores[next] = leastStores[m] + store;
                }
            }
        }
        if (most[k] == kNone) {
            continue;
        }
        loop.instructions = most[k];
        loop.stores = mostStores[k];
        loop.cheapest = least[k];
        loop.cheapestStores = leastStores[k];
        std::map<std::string, int> byAddress;
        for (size_t m = 0; m < n; ++m) {
            if (in[m] && IsStore(f.code[m].mnemonic)) {
                ++byAddress[StoreAddress(f.code[m].operands)];
            }
        }
        int strobes = 0;
        for (const auto& [address, count] : byAddress) {
            strobes = std::max(strobes, count);
        }
        loop.pixels = strobes / 2;
        if (loop.pixels > 0) {
            loops.push_back(loop);
        }
    }
    return loops;
}

[[noreturn]] void Bad(const std::string& what) {
    std::fprintf(stderr, "loopcost: %s (see --help)\n", what.c_str());
    std::exit(2);
}

int Number(const std::string& option, const char* value) {
    if (value == nullptr) {
        Bad(option + " needs a value");
    }
    char* end = nullptr;
    const long n = std::strtol(value, &end, 10);
    if (*value == '\0' || *end != '\0' || n < 0 || n > 100) {
        Bad("bad value for " + option + ": " + value);
    }
    return static_cast<int>(n);
}

}  // namespace

int main(int argc, char** argv) {
    bool tsv = false;
    int storeCycles = 2;
    int branchCycles = 3;
    std::string objdump = "arm-none-eabi-objdump";
    std::string elf;
    std::vector<std::string> wanted;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (options && a == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (options && a == "--tsv") {
            tsv = true;
        } else if (options && a == "--store-cycles") {
            storeCycles = Number(a, i + 1 < argc ? argv[++i] : nullptr);
        } else if (options && a == "--branch-cycles") {
            branchCycles = Number(a, i + 1 < argc ? argv[++i] : nullptr);
        } else if (options && a == "--objdump") {
            if (i + 1 >= argc) {
                Bad("--objdump needs a value");
            }
            objdump = argv[++i];
        } else if (options && a == "--") {
            options = false;
        } else if (options && a.size() > 1 && a[0] == '-') {
            Bad("unknown option " + a);
        } else if (elf.empty()) {
            elf = a;
        } else {
            wanted.push_back(a);
        }
    }
    if (elf.empty()) {
        Bad("no image given");
    }
    if (wanted.empty()) {
        wanted.assign(std::begin(kDefaultFunctions), std::end(kDefaultFunctions));
    }
    bool ok = false;
    const std::vector<Function> functions = Disassemble(objdump, elf, &ok);
    if (!ok) {
        std::fprintf(stderr, "loopcost: cannot disassemble %s with %s\n", elf.c_str(),
                     objdump.c_str());
        return 1;
    }
    if (!tsv) {
        std::printf("%-36s %-10s %6s %15s %15s %15s\n", "routine", "loop", "pixels",
                    "instr/px", "stores/px", "cycles/px");
        std::printf("%-36s %-10s %6s %15s %15s %15s\n", "", "", "", "dearest cheapest",
                    "dearest cheapest", "dearest cheapest");
    }
    int missing = 0;
    for (const std::string& name : wanted) {
        // The function of exactly that name, else the first whose name contains it.
        const Function* found = nullptr;
        for (const Function& f : functions) {
            if (f.code.empty()) {
                continue;
            }
            if (f.name == name) {
                found = &f;
                break;
            }
            if (found == nullptr && f.name.find(name) != std::string::npos) {
                found = &f;
            }
        }
        if (found == nullptr) {
            std::fprintf(stderr, "loopcost: no function matching %s\n", name.c_str());
            ++missing;
            continue;
        }
        for (const Loop& l : Loops(*found)) {
            const double px = l.pixels;
            const auto cycles = [&](int instructions, int stores) {
                return (instructions + stores * (storeCycles - 1) + (branchCycles - 1)) / px;
            };
            char range[40];
            std::snprintf(range, sizeof(range), "%lx-%lx", l.first, l.last);
            const double values[6] = {l.instructions / px, l.cheapest / px, l.stores / px,
                                      l.cheapestStores / px, cycles(l.instructions, l.stores),
                                      cycles(l.cheapest, l.cheapestStores)};
            if (tsv) {
                std::printf("%s\t%s\t%d", name.c_str(), range, l.pixels);
                for (const double v : values) {
                    std::printf("\t%.3f", v);
                }
                std::printf("\n");
            } else {
                std::printf("%-36s %-10s %6d %7.2f %7.2f %7.2f %7.2f %7.2f %7.2f\n",
                            name.c_str(), range, l.pixels, values[0], values[1], values[2],
                            values[3], values[4], values[5]);
            }
        }
    }
    if (!tsv) {
        std::printf(
            "pixels: WR strobes a pass. dearest / cheapest: the longest and shortest path through\n"
            "one pass (a picture row is cheapest when the colour repeats). Assumed: 1 cycle an\n"
            "instruction, %d a store, %d the taken loop branch.\n",
            storeCycles, branchCycles);
    }
    return missing == 0 ? 0 : 1;
}
