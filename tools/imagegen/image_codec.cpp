#include "image_codec.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <sstream>
#include <stdexcept>

namespace imagegen {

namespace {

constexpr size_t kHistory = 32;
constexpr size_t kMinMatch = 2;
constexpr size_t kMaxMatch = 9;

int Channel(uint32_t rgb, int shift) {
    return static_cast<int>((rgb >> shift) & 0xFF);
}

int Distance(uint32_t a, uint32_t b) {
    const int dr = Channel(a, 16) - Channel(b, 16);
    const int dg = Channel(a, 8) - Channel(b, 8);
    const int db = Channel(a, 0) - Channel(b, 0);
    return dr * dr + dg * dg + db * db;
}

size_t Nearest(const std::vector<uint32_t>& palette, uint32_t rgb) {
    size_t best = 0;
    int bestDistance = Distance(palette[0], rgb);
    for (size_t i = 1; i < palette.size(); ++i) {
        const int distance = Distance(palette[i], rgb);
        if (distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

// A box of colours (with their pixel counts) for median cut.
struct Box {
    std::vector<std::pair<uint32_t, size_t>> colors;

    int widestChannel(int& range) const {
        int bestShift = 16;
        range = -1;
        for (int shift : {16, 8, 0}) {
            int low = 255;
            int high = 0;
            for (const auto& [rgb, count] : colors) {
                low = std::min(low, Channel(rgb, shift));
                high = std::max(high, Channel(rgb, shift));
            }
            if (high - low > range) {
                range = high - low;
                bestShift = shift;
            }
        }
        return bestShift;
    }

    uint32_t mean() const {
        uint64_t sums[3] = {0, 0, 0};
        uint64_t total = 0;
        for (const auto& [rgb, count] : colors) {
            sums[0] += static_cast<uint64_t>(Channel(rgb, 16)) * count;
            sums[1] += static_cast<uint64_t>(Channel(rgb, 8)) * count;
            sums[2] += static_cast<uint64_t>(Channel(rgb, 0)) * count;
            total += count;
        }
        auto average = [&](uint64_t sum) {
            return static_cast<uint32_t>((sum + total / 2) / total);
        };
        return average(sums[0]) << 16 | average(sums[1]) << 8 | average(sums[2]);
    }
};

std::vector<uint32_t> MedianCut(const std::map<uint32_t, size_t>& histogram, size_t maxColors) {
    std::vector<Box> boxes(1);
    boxes[0].colors.assign(histogram.begin(), histogram.end());
    while (boxes.size() < maxColors) {
        // Split the box with the widest channel range at the pixel-weighted median.
        size_t chosen = boxes.size();
        int chosenRange = 0;
        for (size_t i = 0; i < boxes.size(); ++i) {
            int range = 0;
            boxes[i].widestChannel(range);
            if (boxes[i].colors.size() > 1 && range > chosenRange) {
                chosen = i;
                chosenRange = range;
            }
        }
        if (chosen == boxes.size()) {
            break;
        }
        Box& box = boxes[chosen];
        int range = 0;
        const int shift = box.widestChannel(range);
        std::stable_sort(box.colors.begin(), box.colors.end(),
                         [shift](const auto& a, const auto& b) {
                             return Channel(a.first, shift) < Channel(b.first, shift);
                         });
        size_t total = 0;
        for (const auto& entry : box.colors) {
            total += entry.second;
        }
        size_t split = 1;
        size_t running = box.colors[0].second;
        while (split + 1 < box.colors.size() && running * 2 < total) {
            running += box.colors[split].second;
            ++split;
        }
        Box upper;
        upper.colors.assign(box.colors.begin() + static_cast<ptrdiff_t>(split), box.colors.end());
        box.colors.resize(split);
        boxes.push_back(std::move(upper));
    }
    std::vector<uint32_t> palette;
    for (const Box& box : boxes) {
        palette.push_back(box.mean());
    }
    return palette;
}

}  // namespace

bool IsFormat(uint8_t format) {
    switch (format) {
        case kMono:
        case kPalette4:
        case kPalette8:
        case kMono | kCompressed:
        case kPalette4 | kCompressed:
        case kPalette8 | kCompressed:
        case kDirect16:
            return true;
        default:
            return false;
    }
}

int BitsPerPixel(uint8_t format) {
    return format == kDirect16 ? 16 : format & 0x7F;
}

size_t Stride(int bpp, int width) {
    return (static_cast<size_t>(bpp) * width + 7) / 8;
}

Indexed Quantize(const pngio::RgbImage& picture, int maxColors) {
    std::map<uint32_t, size_t> histogram;
    for (uint32_t rgb : picture.pixels) {
        ++histogram[rgb & 0xFFFFFF];
    }
    Indexed result;
    result.width = picture.width;
    result.height = picture.height;
    if (histogram.size() <= static_cast<size_t>(maxColors)) {
        for (const auto& entry : histogram) {
            result.palette.push_back(entry.first);
        }
    } else {
        result.palette = MedianCut(histogram, static_cast<size_t>(maxColors));
        // A few refinement passes: every entry moves to the mean of the colours nearest to it.
        for (int pass = 0; pass < 4; ++pass) {
            std::vector<std::array<uint64_t, 4>> sums(result.palette.size(), {0, 0, 0, 0});
            for (const auto& [rgb, count] : histogram) {
                auto& sum = sums[Nearest(result.palette, rgb)];
                sum[0] += static_cast<uint64_t>(Channel(rgb, 16)) * count;
                sum[1] += static_cast<uint64_t>(Channel(rgb, 8)) * count;
                sum[2] += static_cast<uint64_t>(Channel(rgb, 0)) * count;
                sum[3] += count;
            }
            for (size_t i = 0; i < sums.size(); ++i) {
                if (sums[i][3] == 0) {
                    continue;
                }
                const uint64_t n = sums[i][3];
                result.palette[i] = static_cast<uint32_t>((sums[i][0] + n / 2) / n) << 16 |
                                    static_cast<uint32_t>((sums[i][1] + n / 2) / n) << 8 |
                                    static_cast<uint32_t>((sums[i][2] + n / 2) / n);
            }
        }
    }
    std::map<uint32_t, uint8_t> lookup;
    for (const auto& entry : histogram) {
        lookup[entry.first] = static_cast<uint8_t>(Nearest(result.palette, entry.first));
    }
    for (uint32_t rgb : picture.pixels) {
        result.indexes.push_back(lookup[rgb & 0xFFFFFF]);
    }
    return result;
}

Indexed Threshold(const pngio::RgbImage& picture) {
    Indexed result;
    result.width = picture.width;
    result.height = picture.height;
    for (uint32_t rgb : picture.pixels) {
        const int luma = 299 * Channel(rgb, 16) + 587 * Channel(rgb, 8) + 114 * Channel(rgb, 0);
        result.indexes.push_back(luma >= 128 * 1000 ? 1 : 0);
    }
    return result;
}

std::vector<uint8_t> PackIndexed(const Indexed& picture, int bpp) {
    const size_t stride = Stride(bpp, picture.width);
    std::vector<uint8_t> data(stride * picture.height, 0);
    for (int y = 0; y < picture.height; ++y) {
        uint8_t* row = data.data() + stride * y;
        for (int x = 0; x < picture.width; ++x) {
            const uint8_t value = picture.indexes[static_cast<size_t>(y) * picture.width + x];
            switch (bpp) {
                case 1:
                    row[x / 8] |= static_cast<uint8_t>((value & 1) << (7 - x % 8));
                    break;
                case 4:
                    row[x / 2] |= static_cast<uint8_t>((value & 0x0F) << (x % 2 == 0 ? 4 : 0));
                    break;
                case 8:
                    row[x] = value;
                    break;
                default:
                    throw std::invalid_argument("no indexed form with this many bits per pixel");
            }
        }
    }
    return data;
}

uint16_t ToRgb565(uint32_t rgb) {
    return static_cast<uint16_t>((Channel(rgb, 16) >> 3) << 11 | (Channel(rgb, 8) >> 2) << 5 |
                                 Channel(rgb, 0) >> 3);
}

std::vector<uint8_t> PackDirect16(const pngio::RgbImage& picture) {
    std::vector<uint8_t> data;
    data.reserve(picture.pixels.size() * 2);
    for (uint32_t rgb : picture.pixels) {
        const uint16_t value = ToRgb565(rgb);
        data.push_back(static_cast<uint8_t>(value));
        data.push_back(static_cast<uint8_t>(value >> 8));
    }
    return data;
}

std::vector<uint8_t> Compress(const std::vector<uint8_t>& plain) {
    // Output position p sees the bytes p-32..p-1; those before the start are the zeros the
    // decoder's window starts with.
    auto history = [&](ptrdiff_t position) { return position < 0 ? uint8_t{0} : plain[position]; };
    std::vector<uint8_t> stream;
    size_t flagIndex = 0;
    int itemsInGroup = 8;
    size_t position = 0;
    while (position < plain.size()) {
        if (itemsInGroup == 8) {
            flagIndex = stream.size();
            stream.push_back(0);
            itemsInGroup = 0;
        }
        size_t bestLength = 0;
        size_t bestDistance = 0;
        const size_t limit = std::min(kMaxMatch, plain.size() - position);
        for (size_t distance = 1; distance <= kHistory; ++distance) {
            size_t length = 0;
            // Overlapping matches repeat the bytes just produced, as the decoder's copy does.
            while (length < limit &&
                   history(static_cast<ptrdiff_t>(position + length) -
                           static_cast<ptrdiff_t>(distance)) == plain[position + length]) {
                ++length;
            }
            if (length > bestLength) {
                bestLength = length;
                bestDistance = distance;
            }
        }
        if (bestLength >= kMinMatch) {
            stream[flagIndex] |= static_cast<uint8_t>(0x80 >> itemsInGroup);
            const size_t offset = kHistory - bestDistance;
            stream.push_back(static_cast<uint8_t>(offset << 3 | (bestLength - kMinMatch)));
            position += bestLength;
        } else {
            stream.push_back(plain[position]);
            ++position;
        }
        ++itemsInGroup;
    }
    return stream;
}

std::vector<uint8_t> Decompress(const std::vector<uint8_t>& stream, size_t size) {
    std::array<uint8_t, kHistory> window{};
    size_t write = 0;
    std::vector<uint8_t> out;
    size_t read = 0;
    uint32_t flags = 0;
    int flagsLeft = 0;
    auto put = [&](uint8_t byte) {
        window[write] = byte;
        write = (write + 1) % kHistory;
        out.push_back(byte);
    };
    while (out.size() < size) {
        if (flagsLeft == 0) {
            flags = stream.at(read++);
            flagsLeft = 8;
        }
        const bool reference = (flags & 0x80) != 0;
        flags <<= 1;
        --flagsLeft;
        const uint8_t item = stream.at(read++);
        if (!reference) {
            put(item);
            continue;
        }
        const size_t offset = item >> 3;
        const size_t length = (item & 7u) + kMinMatch;
        for (size_t i = 0; i < length; ++i) {
            put(window[(write + offset) % kHistory]);
        }
    }
    out.resize(size);
    return out;
}

Encoded EncodeIndexed(const Indexed& picture, uint8_t format) {
    if (!IsFormat(format) || format == kDirect16) {
        throw std::invalid_argument("not a palette or 1-bit format");
    }
    if (picture.width < 1 || picture.height < 1 || picture.width > 0xFFFF ||
        picture.height > 0xFFFF) {
        throw std::invalid_argument("a picture is 1 to 65535 pixels wide and high");
    }
    const int bpp = BitsPerPixel(format);
    Encoded result;
    result.record = {format, static_cast<uint8_t>(picture.width),
                     static_cast<uint8_t>(picture.width >> 8), static_cast<uint8_t>(picture.height),
                     static_cast<uint8_t>(picture.height >> 8)};
    if (bpp != 1) {
        const size_t maxColors = size_t{1} << bpp;
        if (picture.palette.empty() || picture.palette.size() > maxColors) {
            throw std::invalid_argument("palette size does not suit the format");
        }
        result.colors = picture.palette.size();
        result.record.push_back(static_cast<uint8_t>(picture.palette.size() - 1));
        for (uint32_t rgb : picture.palette) {
            result.record.push_back(static_cast<uint8_t>(rgb));
            result.record.push_back(static_cast<uint8_t>(rgb >> 8));
            result.record.push_back(static_cast<uint8_t>(rgb >> 16));
        }
    }
    const std::vector<uint8_t> plain = PackIndexed(picture, bpp);
    const std::vector<uint8_t> data = (format & kCompressed) != 0 ? Compress(plain) : plain;
    result.plainBytes = plain.size();
    result.dataBytes = data.size();
    result.record.insert(result.record.end(), data.begin(), data.end());
    return result;
}

Encoded Encode(const pngio::RgbImage& picture, uint8_t format) {
    if (!IsFormat(format)) {
        throw std::invalid_argument("unknown picture format");
    }
    if (format == kDirect16) {
        if (picture.width < 1 || picture.height < 1 || picture.width > 0xFFFF ||
            picture.height > 0xFFFF) {
            throw std::invalid_argument("a picture is 1 to 65535 pixels wide and high");
        }
        Encoded result;
        result.record = {
            format, static_cast<uint8_t>(picture.width), static_cast<uint8_t>(picture.width >> 8),
            static_cast<uint8_t>(picture.height), static_cast<uint8_t>(picture.height >> 8)};
        const std::vector<uint8_t> data = PackDirect16(picture);
        result.plainBytes = result.dataBytes = data.size();
        result.record.insert(result.record.end(), data.begin(), data.end());
        return result;
    }
    const int bpp = BitsPerPixel(format);
    return EncodeIndexed(bpp == 1 ? Threshold(picture) : Quantize(picture, 1 << bpp), format);
}

std::string ByteRows(const std::vector<uint8_t>& bytes) {
    std::string rows;
    for (size_t i = 0; i < bytes.size(); ++i) {
        char hex[8];
        std::snprintf(hex, sizeof(hex), "0x%02X,", bytes[i]);
        rows += i % 12 == 0 ? "\n    " : " ";
        rows += hex;
    }
    return rows;
}

std::string RecordSource(const std::string& name, const std::string& origin,
                         const std::vector<uint8_t>& record, const std::string& commandComment) {
    std::ostringstream out;
    out << "// Generated by tools/imagegen from " << origin << ". Do not edit: regenerate with\n"
        << commandComment << "#include <cstdint>\n\n"
        << "extern const uint8_t " << name << "[" << record.size() << "];\n"
        << "const uint8_t " << name << "[" << record.size() << "] = {" << ByteRows(record)
        << "\n};\n";
    return out.str();
}

}  // namespace imagegen
