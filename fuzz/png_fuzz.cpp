// The PNG reader the image tools use, and imagegen's encoding of what it read. The input's
// first byte chooses the record format and whether the rest is a file as it is (its chunk
// CRCs made right on request, so that changed chunks are read rather than refused), or the
// description of a picture that the target encodes as a PNG itself. Oracles:
// - a file is refused with one line naming it, or read as a picture of at least one pixel and
//   at most the reader's limit, every pixel 0x00RRGGBB;
// - a described picture (grey, RGB or palette, any depth; alpha only 0 or 255) reads back as
//   exactly its colours, alpha 0 as black;
// - a picture read, written and read again is the same picture;
// - its record has the format's header, a palette the format allows, and pixel data (plain,
//   or decompressed) that shows every pixel: in its exact colour when the picture has no more
//   colours than the palette, else in the palette entry nearest to it; 1 bit per pixel as
//   bright or dark; 16 bits per pixel within the 5-6-5 rounding.
#include <zlib.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "fuzz_support.hpp"
#include "image_codec.hpp"
#include "png_io.hpp"

namespace {

using Bytes = std::vector<uint8_t>;

// Decoding whole megapixel pictures from a few bytes of input would make most of the time.
constexpr size_t kMaxPixels = 1 << 14;
// The quantiser's cost grows with pixels times colours: records are checked up to this size.
constexpr size_t kMaxEncodedPixels = 300;

constexpr uint8_t kFormats[] = {0x01, 0x04, 0x08, 0x81, 0x84, 0x88, 0xC0};

void PutBig32(Bytes& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<uint8_t>(value >> shift));
    }
}

void Chunk(Bytes& file, const char* type, const Bytes& data) {
    PutBig32(file, static_cast<uint32_t>(data.size()));
    const size_t start = file.size();
    file.insert(file.end(), type, type + 4);
    file.insert(file.end(), data.begin(), data.end());
    PutBig32(file, static_cast<uint32_t>(
                       crc32(0, file.data() + start, static_cast<uInt>(file.size() - start))));
}

// Recomputes the CRC of every whole chunk after the signature.
void FixCrcs(Bytes& file) {
    size_t at = 8;
    while (at + 12 <= file.size()) {
        const uint32_t length = static_cast<uint32_t>(file[at]) << 24 | file[at + 1] << 16 |
                                file[at + 2] << 8 | file[at + 3];
        if (length > file.size() - at - 12) {
            return;
        }
        const uint32_t crc = static_cast<uint32_t>(
            crc32(0, file.data() + at + 4, static_cast<uInt>(length + 4)));
        for (int i = 0; i < 4; ++i) {
            file[at + 8 + length + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
        }
        at += length + 12;
    }
}

struct Described {
    Bytes file;
    pngio::RgbImage expected;
};

// A picture from the input, as a PNG file and as the colours it must read as.
Described Describe(fuzz::Input& in) {
    static constexpr uint8_t kTypes[] = {0, 2, 3, 4, 6};  // grey, RGB, palette, grey+alpha, RGBA
    const uint8_t type = kTypes[in.byte() % 5];
    static constexpr uint8_t kDepths[] = {1, 2, 4, 8};
    const uint8_t depth = type == 0 || type == 3 ? kDepths[in.byte() % 4] : 8;
    const int width = 1 + in.byte() % 48;
    const int height = 1 + in.byte() % 48;
    const int level = in.byte() % 10;
    const uint32_t levels = 1u << depth;
    std::vector<uint32_t> palette;
    if (type == 3) {
        for (uint32_t n = 1 + in.byte() % levels, i = 0; i < n; ++i) {
            palette.push_back((i * 0x2F1B3Du + in.byte()) & 0xFFFFFF);
        }
    }
    const int channels = type == 2 ? 3 : type == 4 ? 2 : type == 6 ? 4 : 1;
    // The input's bytes, repeated, are the samples.
    const size_t available = std::min<size_t>(in.left(), 256);
    const uint8_t* source = in.rest();
    size_t next = 0;
    const auto sample = [&]() -> uint32_t {
        return available == 0 ? 0 : source[next++ % available];
    };

    Described d;
    d.expected.width = width;
    d.expected.height = height;
    Bytes rows;
    for (int y = 0; y < height; ++y) {
        rows.push_back(0);  // no filter
        uint32_t bits = 0;
        int used = 0;
        for (int x = 0; x < width; ++x) {
            uint32_t rgb = 0;
            if (depth < 8) {
                uint32_t value = sample() % levels;
                if (type == 3) {
                    value %= static_cast<uint32_t>(palette.size());
                    rgb = palette[value];
                } else {
                    const uint32_t grey = value * 255 / (levels - 1);
                    rgb = grey * 0x010101u;
                }
                bits = bits << depth | value;
                used += depth;
                if (used == 8) {
                    rows.push_back(static_cast<uint8_t>(bits));
                    bits = 0;
                    used = 0;
                }
            } else {
                uint8_t s[4];
                for (int c = 0; c < channels; ++c) {
                    s[c] = static_cast<uint8_t>(sample());
                }
                if (type == 3) {
                    s[0] = static_cast<uint8_t>(s[0] % palette.size());
                    rgb = palette[s[0]];
                } else if (type == 0 || type == 4) {
                    rgb = s[0] * 0x010101u;
                } else {
                    rgb = static_cast<uint32_t>(s[0]) << 16 | s[1] << 8 | s[2];
                }
                if (type == 4 || type == 6) {
                    uint8_t& alpha = s[channels - 1];
                    alpha = (alpha & 1) != 0 ? 255 : 0;
                    rgb = alpha == 255 ? rgb : 0;
                }
                rows.insert(rows.end(), s, s + channels);
            }
            d.expected.pixels.push_back(rgb);
        }
        if (used > 0) {
            rows.push_back(static_cast<uint8_t>(bits << (8 - used)));
        }
    }
    in.skip(available);

    uLongf packedSize = compressBound(static_cast<uLong>(rows.size()));
    Bytes packed(packedSize);
    compress2(packed.data(), &packedSize, rows.data(), static_cast<uLong>(rows.size()), level);
    packed.resize(packedSize);

    d.file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header;
    PutBig32(header, static_cast<uint32_t>(width));
    PutBig32(header, static_cast<uint32_t>(height));
    header.insert(header.end(), {depth, type, 0, 0, 0});
    Chunk(d.file, "IHDR", header);
    if (type == 3) {
        Bytes entries;
        for (const uint32_t rgb : palette) {
            entries.insert(entries.end(), {static_cast<uint8_t>(rgb >> 16),
                                           static_cast<uint8_t>(rgb >> 8), static_cast<uint8_t>(rgb)});
        }
        Chunk(d.file, "PLTE", entries);
    }
    Chunk(d.file, "IDAT", packed);
    Chunk(d.file, "IEND", {});
    return d;
}

int Channel(uint32_t rgb, int shift) {
    return static_cast<int>(rgb >> shift & 0xFF);
}

int Distance(uint32_t a, uint32_t b) {
    int sum = 0;
    for (const int shift : {16, 8, 0}) {
        const int d = Channel(a, shift) - Channel(b, shift);
        sum += d * d;
    }
    return sum;
}

// imagegen's record of the picture shows every pixel as the format promises.
void CheckRecord(const pngio::RgbImage& picture, uint8_t format) {
    const imagegen::Encoded encoded = imagegen::Encode(picture, format);
    const Bytes& r = encoded.record;
    FUZZ_CHECK(r.size() >= 5 && r[0] == format);
    FUZZ_CHECK((r[1] | r[2] << 8) == picture.width && (r[3] | r[4] << 8) == picture.height);
    const int bpp = imagegen::BitsPerPixel(format);
    size_t at = 5;
    std::vector<uint32_t> palette;
    if (bpp == 4 || bpp == 8) {
        const size_t colors = r.at(5) + 1u;
        FUZZ_CHECK(colors <= (1u << bpp));
        for (size_t i = 0; i < colors; ++i) {
            const size_t entry = 6 + 3 * i;
            palette.push_back(static_cast<uint32_t>(r.at(entry + 2)) << 16 |
                              r.at(entry + 1) << 8 | r.at(entry));
        }
        at = 6 + 3 * colors;
    }
    const size_t stride = imagegen::Stride(bpp, picture.width);
    const size_t plainSize = stride * static_cast<size_t>(picture.height);
    Bytes data(r.begin() + static_cast<std::ptrdiff_t>(at), r.end());
    if ((format & imagegen::kCompressed) != 0 && format != imagegen::kDirect16) {
        data = imagegen::Decompress(data, plainSize);
    }
    FUZZ_CHECK(data.size() == plainSize);

    std::vector<uint32_t> distinct(picture.pixels);
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    constexpr uint32_t kNone = 0xFFFFFFFF;
    std::vector<uint32_t> chosen(distinct.size(), kNone);
    for (int y = 0; y < picture.height; ++y) {
        const uint8_t* row = data.data() + stride * static_cast<size_t>(y);
        for (int x = 0; x < picture.width; ++x) {
            const uint32_t rgb = picture.at(x, y);
            if (bpp == 16) {
                const uint32_t v = row[2 * x] | row[2 * x + 1] << 8;
                const int red = static_cast<int>(v >> 11), green = static_cast<int>(v >> 5 & 0x3F),
                          blue = static_cast<int>(v & 0x1F);
                FUZZ_CHECK(red == Channel(rgb, 16) >> 3 && green == Channel(rgb, 8) >> 2 &&
                           blue == Channel(rgb, 0) >> 3);
                continue;
            }
            if (bpp == 1) {
                const bool set = (row[x / 8] >> (7 - x % 8) & 1) != 0;
                const int luma = 299 * Channel(rgb, 16) + 587 * Channel(rgb, 8) + 114 * Channel(rgb, 0);
                FUZZ_CHECK(set == (luma >= 128000));
                continue;
            }
            const uint32_t index = bpp == 8 ? row[x] : (x % 2 == 0 ? row[x / 2] >> 4 : row[x / 2] & 0x0F);
            FUZZ_CHECK(index < palette.size());
            if (distinct.size() <= palette.size()) {
                FUZZ_CHECK(palette[index] == rgb);
                continue;
            }
            // Every pixel of a colour takes the same entry; that entry is checked once.
            const size_t colour = static_cast<size_t>(
                std::lower_bound(distinct.begin(), distinct.end(), rgb) - distinct.begin());
            if (chosen[colour] == kNone) {
                chosen[colour] = index;
                for (const uint32_t other : palette) {
                    FUZZ_CHECK(Distance(palette[index], rgb) <= Distance(other, rgb));
                }
            }
            FUZZ_CHECK(chosen[colour] == index);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const uint8_t mode = in.byte();
    const uint8_t format = kFormats[(mode & 7) % 7];
    Bytes file;
    pngio::RgbImage expected;
    if ((mode & 0x08) != 0) {
        Described d = Describe(in);
        file = std::move(d.file);
        expected = std::move(d.expected);
    } else {
        file.assign(in.rest(), in.rest() + in.left());
        if ((mode & 0x10) != 0) {
            FixCrcs(file);
        }
    }

    pngio::RgbImage picture;
    std::string error;
    const bool read = pngio::Decode(file.data(), file.size(), "in.png", picture, error, kMaxPixels);
    if (!read) {
        FUZZ_CHECK(expected.width == 0);  // a described picture is always read
        FUZZ_CHECK(error.rfind("in.png: ", 0) == 0 && error.size() > 8);
        FUZZ_CHECK(error.find('\n') == std::string::npos);
        return 0;
    }
    FUZZ_CHECK(picture.width >= 1 && picture.height >= 1);
    const size_t pixels = static_cast<size_t>(picture.width) * picture.height;
    FUZZ_CHECK(pixels <= kMaxPixels && picture.pixels.size() == pixels);
    for (const uint32_t rgb : picture.pixels) {
        FUZZ_CHECK(rgb <= 0xFFFFFF);
    }
    if (expected.width != 0) {
        FUZZ_CHECK(picture.width == expected.width && picture.height == expected.height);
        FUZZ_CHECK(picture.pixels == expected.pixels);
    }

    Bytes again;
    FUZZ_CHECK(pngio::Encode(picture, again, error));
    pngio::RgbImage reread;
    FUZZ_CHECK(pngio::Decode(again.data(), again.size(), "again.png", reread, error, kMaxPixels));
    FUZZ_CHECK(reread.width == picture.width && reread.height == picture.height);
    FUZZ_CHECK(reread.pixels == picture.pixels);

    if (pixels <= kMaxEncodedPixels) {
        CheckRecord(picture, format);
    }
    return 0;
}
