#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace nimbuscope::noaasim {

struct Rgb {
    std::uint8_t r, g, b;
};

/// A picture of palette indexes, row by row.
struct IndexedImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;

    IndexedImage(int w, int h, std::uint8_t fill = 0)
        : width(w), height(h), pixels(std::size_t(w) * std::size_t(h), fill) {}
    bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
    void set(int x, int y, std::uint8_t index) {
        if (contains(x, y))
            pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)] = index;
    }
    std::uint8_t at(int x, int y) const {
        return pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)];
    }
};

/// A single-image GIF89a of `image`; the palette size must be a power of two from 2 to 256.
/// Throws std::runtime_error when the encoder fails.
std::string encodeGif(const IndexedImage& image, std::span<const Rgb> palette);

} // namespace nimbuscope::noaasim
