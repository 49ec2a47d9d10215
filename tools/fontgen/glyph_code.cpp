#include "glyph_code.hpp"

#include <algorithm>
#include <limits>
#include <map>
#include <utility>

namespace fontgen {

namespace {

// Minimal bytes for "off background pixels, then on foreground pixels", with the choices that
// reach it. A nibble byte may carry foreground only once every background pixel is out.
class RunCoder {
  public:
    std::vector<uint8_t> Encode(int off, int on) {
        std::vector<uint8_t> bytes;
        while (off > 0 || on > 0) {
            const Choice choice = Best(off, on).second;
            bytes.insert(bytes.end(), choice.bytes.begin(), choice.bytes.end());
            off -= choice.off;
            on -= choice.on;
        }
        return bytes;
    }

  private:
    struct Choice {
        std::vector<uint8_t> bytes;
        int off = 0;
        int on = 0;
    };

    std::pair<int, Choice> Best(int off, int on) {
        if (off == 0 && on == 0) {
            return {0, {}};
        }
        const auto key = std::make_pair(off, on);
        if (auto found = memo_.find(key); found != memo_.end()) {
            return found->second;
        }
        std::pair<int, Choice> best{std::numeric_limits<int>::max(), {}};
        auto consider = [&](std::vector<uint8_t> bytes, int usedOff, int usedOn) {
            const int cost =
                static_cast<int>(bytes.size()) + Best(off - usedOff, on - usedOn).first;
            if (cost < best.first) {
                best = {cost, Choice{std::move(bytes), usedOff, usedOn}};
            }
        };
        if (off > 0) {
            // Background only: a nibble byte, or an escape for a multiple of eight.
            for (int n = 1; n <= std::min(off, 15); ++n) {
                if (n < off || on == 0) {
                    consider({static_cast<uint8_t>(n << 4)}, n, 0);
                }
            }
            for (int m = 1; m <= std::min(off / 8, 127); ++m) {
                consider({0, static_cast<uint8_t>(m)}, 8 * m, 0);
            }
        }
        if (off <= 15 && on > 0) {
            // The rest of the background with the first foreground pixels.
            for (int n = 1; n <= std::min(on, 15); ++n) {
                consider({static_cast<uint8_t>(off << 4 | n)}, off, n);
            }
        }
        if (off == 0) {
            for (int m = 1; m <= std::min(on / 8, 127); ++m) {
                consider({0, static_cast<uint8_t>(0x80 | m)}, 0, 8 * m);
            }
        }
        memo_[key] = best;
        return best;
    }

    std::map<std::pair<int, int>, std::pair<int, Choice>> memo_;
};

}  // namespace

std::vector<uint8_t> EncodeCell(const std::vector<bool>& pixels) {
    RunCoder coder;
    std::vector<uint8_t> code;
    size_t position = 0;
    while (position < pixels.size()) {
        int off = 0;
        int on = 0;
        while (position < pixels.size() && !pixels[position]) {
            ++off;
            ++position;
        }
        while (position < pixels.size() && pixels[position]) {
            ++on;
            ++position;
        }
        const std::vector<uint8_t> bytes = coder.Encode(off, on);
        code.insert(code.end(), bytes.begin(), bytes.end());
    }
    return code;
}

}  // namespace fontgen
