#include <ui/PixelOps.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace ui {

int blurKernelSize(double pixelRadius) {
    if (!(pixelRadius > 0)) return 0;
    auto k = static_cast<unsigned>(std::floor(pixelRadius * 3.0 * 2.5066282746310002 / 4.0 + 0.5));
    if (k % 2 == 0) k += 1;
    return static_cast<int>(k);
}

namespace {
/// One running-sum pass along lines of `count` samples `step` bytes apart.
void boxLine(std::uint8_t* line, int count, int step, int channels, int k, std::vector<std::uint32_t>& in) {
    int r = k / 2;
    in.resize(std::size_t(count) * channels);
    for (int i = 0; i < count; ++i)
        for (int c = 0; c < channels; ++c) in[std::size_t(i) * channels + c] = line[std::size_t(i) * step + c];
    for (int c = 0; c < channels; ++c) {
        auto at = [&](int i) { return in[std::size_t(std::clamp(i, 0, count - 1)) * channels + c]; };
        std::uint32_t sum = 0;
        for (int i = -r; i <= r; ++i) sum += at(i);
        for (int i = 0; i < count; ++i) {
            line[std::size_t(i) * step + c] = static_cast<std::uint8_t>((sum + std::uint32_t(k) / 2) / std::uint32_t(k));
            sum += at(i + r + 1);
            sum -= at(i - r);
        }
    }
}
}  // namespace

void boxBlur(std::uint8_t* data, int width, int height, int stride, int channels, int k) {
    if (k <= 1 || width <= 0 || height <= 0) return;
    if (k % 2 == 0) ++k;
    std::vector<std::uint32_t> scratch;
    for (int y = 0; y < height; ++y) boxLine(data + std::size_t(y) * stride, width, channels, channels, k, scratch);
    // Vertical: gather each column, blur it, scatter it back.
    std::vector<std::uint8_t> column(std::size_t(height) * channels);
    for (int x = 0; x < width; ++x) {
        for (int y = 0; y < height; ++y)
            for (int c = 0; c < channels; ++c)
                column[std::size_t(y) * channels + c] = data[std::size_t(y) * stride + std::size_t(x) * channels + c];
        boxLine(column.data(), height, channels, channels, k, scratch);
        for (int y = 0; y < height; ++y)
            for (int c = 0; c < channels; ++c)
                data[std::size_t(y) * stride + std::size_t(x) * channels + c] = column[std::size_t(y) * channels + c];
    }
}

void colorMatrix(std::uint8_t* data, int width, int height, int stride, const std::int16_t m[16], int divisor) {
    if (divisor == 0) divisor = 1;
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(data + std::size_t(y) * stride);
        for (int x = 0; x < width; ++x) {
            std::uint32_t p = row[x];
            int in[4] = {int(p & 255), int(p >> 8 & 255), int(p >> 16 & 255), int(p >> 24)};  // b g r a, memory order
            int out[4];
            for (int col = 0; col < 4; ++col) {
                long s = 0;
                for (int rowIdx = 0; rowIdx < 4; ++rowIdx) s += long(in[rowIdx]) * m[rowIdx * 4 + col];
                out[col] = std::clamp(int(s / divisor), 0, 255);
            }
            int a = out[3];
            for (int c = 0; c < 3; ++c) out[c] = std::min(out[c], a);
            row[x] = (std::uint32_t(a) << 24) | (std::uint32_t(out[2]) << 16) | (std::uint32_t(out[1]) << 8) |
                     std::uint32_t(out[0]);
        }
    }
}

}  // namespace ui
