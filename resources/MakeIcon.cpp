// Draws the application icon and writes it as a .ico with seven 32-bit images (16 to 256 pixels).
// Runs on the build host, so it uses nothing but the standard library.
//
// The design: a rounded square with the banner's dark-to-red gradient, a white package box whose
// lid is open, and a white arrow pointing down into it: a compressed file unpacked back.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <vector>

namespace {

struct Colour {
    float r, g, b, a;
};

// Signed distance to a rounded box centred at (cx, cy) with half sizes (hx, hy) and corner radius.
float RoundedBox(float x, float y, float cx, float cy, float hx, float hy, float radius) {
    const float qx = std::fabs(x - cx) - hx + radius;
    const float qy = std::fabs(y - cy) - hy + radius;
    const float outside = std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f));
    return outside + std::min(std::max(qx, qy), 0.0f) - radius;
}

// Distance to the segment (ax, ay)-(bx, by), minus half the stroke width.
float Stroke(float x, float y, float ax, float ay, float bx, float by, float halfWidth) {
    const float px = x - ax, py = y - ay, dx = bx - ax, dy = by - ay;
    const float t = std::clamp((px * dx + py * dy) / (dx * dx + dy * dy), 0.0f, 1.0f);
    return std::hypot(px - dx * t, py - dy * t) - halfWidth;
}

Colour Over(Colour top, Colour bottom) {
    const float a = top.a + bottom.a * (1 - top.a);
    if (a <= 0) {
        return {0, 0, 0, 0};
    }
    auto mix = [&](float t, float b) { return (t * top.a + b * bottom.a * (1 - top.a)) / a; };
    return {mix(top.r, bottom.r), mix(top.g, bottom.g), mix(top.b, bottom.b), a};
}

// The colour at a point of the unit square (0..1), before anti-aliasing.
Colour Sample(float x, float y) {
    Colour pixel{0, 0, 0, 0};
    if (RoundedBox(x, y, 0.5f, 0.5f, 0.47f, 0.47f, 0.2f) <= 0) {
        const float t = std::clamp((x + y) / 2.0f, 0.0f, 1.0f);
        // From the banner's dark panel to its accent red.
        pixel = {(21 + t * (227 - 21)) / 255.0f, (24 + t * (32 - 24)) / 255.0f, (33 + t * (45 - 33)) / 255.0f,
                 1};
    }
    const Colour white{1, 1, 1, 1};
    const float line = 0.045f;
    // The box: an outline with an open top, and two lid flaps leaning outward.
    const bool box = Stroke(x, y, 0.24f, 0.50f, 0.24f, 0.80f, line) <= 0 ||
                     Stroke(x, y, 0.24f, 0.80f, 0.76f, 0.80f, line) <= 0 ||
                     Stroke(x, y, 0.76f, 0.80f, 0.76f, 0.50f, line) <= 0 ||
                     Stroke(x, y, 0.24f, 0.50f, 0.14f, 0.38f, line) <= 0 ||
                     Stroke(x, y, 0.76f, 0.50f, 0.86f, 0.38f, line) <= 0;
    // The arrow down into the box.
    const bool arrow = Stroke(x, y, 0.50f, 0.16f, 0.50f, 0.62f, line) <= 0 ||
                       Stroke(x, y, 0.50f, 0.64f, 0.36f, 0.50f, line) <= 0 ||
                       Stroke(x, y, 0.50f, 0.64f, 0.64f, 0.50f, line) <= 0;
    if (box || arrow) {
        pixel = Over(white, pixel);
    }
    return pixel;
}

// Premultiplied average of 8 x 8 samples per pixel, as BGRA bytes, rows top to bottom.
std::vector<std::uint8_t> Render(int size) {
    constexpr int kSamples = 8;
    std::vector<std::uint8_t> bgra(static_cast<std::size_t>(size) * size * 4);
    for (int py = 0; py < size; ++py) {
        for (int px = 0; px < size; ++px) {
            float r = 0, g = 0, b = 0, a = 0;
            for (int sy = 0; sy < kSamples; ++sy) {
                for (int sx = 0; sx < kSamples; ++sx) {
                    const Colour c =
                        Sample((px + (sx + 0.5f) / kSamples) / size, (py + (sy + 0.5f) / kSamples) / size);
                    r += c.r * c.a;
                    g += c.g * c.a;
                    b += c.b * c.a;
                    a += c.a;
                }
            }
            const std::size_t at = (static_cast<std::size_t>(py) * size + px) * 4;
            auto byte = [](float v) {
                return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255));
            };
            // Icons store straight (not premultiplied) alpha.
            bgra[at + 0] = a > 0 ? byte(b / a) : 0;
            bgra[at + 1] = a > 0 ? byte(g / a) : 0;
            bgra[at + 2] = a > 0 ? byte(r / a) : 0;
            bgra[at + 3] = byte(a / (kSamples * kSamples));
        }
    }
    return bgra;
}

void Put16(std::vector<std::uint8_t>& out, unsigned value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

// One icon image: a BITMAPINFOHEADER of double height, bottom-up BGRA rows, then the AND mask.
std::vector<std::uint8_t> IconImage(int size) {
    const std::vector<std::uint8_t> bgra = Render(size);
    const std::size_t maskStride = ((static_cast<std::size_t>(size) + 31) / 32) * 4;
    std::vector<std::uint8_t> out;
    Put32(out, 40);
    Put32(out, static_cast<std::uint32_t>(size));
    Put32(out, static_cast<std::uint32_t>(size * 2));
    Put16(out, 1);
    Put16(out, 32);
    Put32(out, 0);
    Put32(out, static_cast<std::uint32_t>(size * size * 4 + maskStride * size));
    for (int i = 0; i < 4; ++i) {
        Put32(out, 0);
    }
    for (int row = size - 1; row >= 0; --row) {
        const auto begin = bgra.begin() + static_cast<std::ptrdiff_t>(row) * size * 4;
        out.insert(out.end(), begin, begin + static_cast<std::ptrdiff_t>(size) * 4);
    }
    for (int row = size - 1; row >= 0; --row) {
        std::vector<std::uint8_t> mask(maskStride, 0);
        for (int x = 0; x < size; ++x) {
            if (bgra[(static_cast<std::size_t>(row) * size + x) * 4 + 3] == 0) {
                mask[static_cast<std::size_t>(x) / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
            }
        }
        out.insert(out.end(), mask.begin(), mask.end());
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.ico\n", argv[0]);
        return 2;
    }
    constexpr std::array<int, 7> kSizes = {16, 24, 32, 48, 64, 128, 256};
    std::vector<std::vector<std::uint8_t>> images;
    for (int size : kSizes) {
        images.push_back(IconImage(size));
    }
    std::vector<std::uint8_t> file;
    Put16(file, 0);
    Put16(file, 1);
    Put16(file, static_cast<unsigned>(kSizes.size()));
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * kSizes.size());
    for (std::size_t i = 0; i < kSizes.size(); ++i) {
        // A width or height of 256 is written as 0.
        file.push_back(static_cast<std::uint8_t>(kSizes[i] & 0xFF));
        file.push_back(static_cast<std::uint8_t>(kSizes[i] & 0xFF));
        file.push_back(0);
        file.push_back(0);
        Put16(file, 1);
        Put16(file, 32);
        Put32(file, static_cast<std::uint32_t>(images[i].size()));
        Put32(file, offset);
        offset += static_cast<std::uint32_t>(images[i].size());
    }
    for (const auto& image : images) {
        file.insert(file.end(), image.begin(), image.end());
    }
    std::ofstream out(argv[1], std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    return out.good() ? 0 : 1;
}
