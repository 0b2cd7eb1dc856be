// Draws the tray program's step pictures at build time: icons STEP1.ICO-STEP8.ICO and the strip STEPS.BMP.
//
// Every step is a rounded badge in its own colour with its number on it. The colours run from red
// (step 1, full performance) to teal (step 8, longest battery life). The icons hold a 32 x 32 and a
// 16 x 16 image; the strip holds the eight 16 x 16 badges side by side on pure blue, the mask colour
// of the configuration dialog's image list, so no badge may use pure blue.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Rgb {
    uint8_t r, g, b;
};

struct StepLook {
    int step;
    Rgb fill;
    Rgb ink; // the number
};

constexpr Rgb kWhite = {0xFF, 0xFF, 0xFF};
constexpr Rgb kBlack = {0x20, 0x20, 0x20};

// The readable description: one line per step.
constexpr StepLook kSteps[8] = {
    {1, {0xC6, 0x28, 0x28}, kWhite}, // red
    {2, {0xD8, 0x43, 0x15}, kWhite}, // deep orange
    {3, {0xEF, 0x6C, 0x00}, kWhite}, // orange
    {4, {0xF9, 0xA8, 0x25}, kBlack}, // amber
    {5, {0xC0, 0xCA, 0x33}, kBlack}, // lime
    {6, {0x7C, 0xB3, 0x42}, kBlack}, // light green
    {7, {0x38, 0x8E, 0x3C}, kWhite}, // green
    {8, {0x00, 0x79, 0x6B}, kWhite}, // teal
};

// Digits 3 wide and 5 high; '#' is ink.
constexpr const char *kDigits[10][5] = {
    {"###", "#.#", "#.#", "#.#", "###"}, {".#.", "##.", ".#.", ".#.", "###"},
    {"###", "..#", "###", "#..", "###"}, {"###", "..#", "###", "..#", "###"},
    {"#.#", "#.#", "###", "..#", "..#"}, {"###", "#..", "###", "..#", "###"},
    {"###", "#..", "###", "#.#", "###"}, {"###", "..#", ".#.", ".#.", ".#."},
    {"###", "#.#", "###", "#.#", "###"}, {"###", "#.#", "###", "..#", "###"},
};

constexpr Rgb kMaskBlue = {0x00, 0x00, 0xFF};

struct Pixel {
    Rgb colour;
    bool opaque;
};

using Image = std::vector<Pixel>; // row 0 at the top

Rgb darker(Rgb c) {
    return {uint8_t(c.r * 3 / 5), uint8_t(c.g * 3 / 5), uint8_t(c.b * 3 / 5)};
}

// A badge of size x size: corners cut, a darker rim, the digit scaled to fill about two thirds.
Image drawBadge(const StepLook &look, int size) {
    Image image(size * size, Pixel{{0, 0, 0}, false});
    int cut = size / 8; // corner rounding, in pixels along each edge
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            int dx = x < cut ? cut - x : (x >= size - cut ? x - (size - cut - 1) : 0);
            int dy = y < cut ? cut - y : (y >= size - cut ? y - (size - cut - 1) : 0);
            if (dx + dy > cut)
                continue;
            bool rim = x == 0 || y == 0 || x == size - 1 || y == size - 1 || dx + dy == cut;
            image[y * size + x] = {rim ? darker(look.fill) : look.fill, true};
        }
    int scale = size / 8;
    int left = (size - 3 * scale) / 2, top = (size - 5 * scale) / 2;
    const char *const *glyph = kDigits[look.step];
    for (int row = 0; row < 5; ++row)
        for (int col = 0; col < 3; ++col)
            if (glyph[row][col] == '#')
                for (int y = 0; y < scale; ++y)
                    for (int x = 0; x < scale; ++x)
                        image[(top + row * scale + y) * size + left + col * scale + x].colour = look.ink;
    return image;
}

void put16(std::string &out, unsigned v) {
    out += char(v & 0xFF);
    out += char((v >> 8) & 0xFF);
}

void put32(std::string &out, unsigned v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

void putInfoHeader(std::string &out, int width, int height, int bits, unsigned imageBytes) {
    put32(out, 40);
    put32(out, unsigned(width));
    put32(out, unsigned(height));
    put16(out, 1);
    put16(out, unsigned(bits));
    put32(out, 0); // BI_RGB
    put32(out, imageBytes);
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);
}

// One icon image: 32-bit colour with alpha (bottom row first), then the 1-bit AND mask.
std::string iconImage(const Image &image, int size) {
    int maskStride = ((size + 31) / 32) * 4;
    std::string out;
    putInfoHeader(out, size, size * 2, 32, unsigned(size * size * 4 + maskStride * size));
    for (int y = size - 1; y >= 0; --y)
        for (int x = 0; x < size; ++x) {
            const Pixel &p = image[y * size + x];
            out += char(p.colour.b);
            out += char(p.colour.g);
            out += char(p.colour.r);
            out += char(p.opaque ? 0xFF : 0x00);
        }
    for (int y = size - 1; y >= 0; --y) {
        std::string row(maskStride, '\0');
        for (int x = 0; x < size; ++x)
            if (!image[y * size + x].opaque)
                row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
        out += row;
    }
    return out;
}

std::string iconFile(const StepLook &look) {
    const int sizes[2] = {32, 16};
    std::string images[2];
    for (int i = 0; i < 2; ++i)
        images[i] = iconImage(drawBadge(look, sizes[i]), sizes[i]);
    std::string out;
    put16(out, 0);
    put16(out, 1); // icon
    put16(out, 2);
    unsigned offset = 6 + 16 * 2;
    for (int i = 0; i < 2; ++i) {
        out += char(sizes[i]);
        out += char(sizes[i]);
        out += char(0); // no palette
        out += char(0);
        put16(out, 1);
        put16(out, 32);
        put32(out, unsigned(images[i].size()));
        put32(out, offset);
        offset += unsigned(images[i].size());
    }
    return out + images[0] + images[1];
}

// The eight small badges side by side, 24-bit, on the mask blue.
std::string stripFile() {
    const int size = 16, width = size * 8;
    int stride = (width * 3 + 3) & ~3;
    std::vector<Rgb> strip(width * size, kMaskBlue);
    for (int i = 0; i < 8; ++i) {
        Image badge = drawBadge(kSteps[i], size);
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                if (badge[y * size + x].opaque)
                    strip[y * width + i * size + x] = badge[y * size + x].colour;
    }
    std::string bits;
    for (int y = size - 1; y >= 0; --y) {
        std::string row(stride, '\0');
        for (int x = 0; x < width; ++x) {
            const Rgb &c = strip[y * width + x];
            row[x * 3] = char(c.b);
            row[x * 3 + 1] = char(c.g);
            row[x * 3 + 2] = char(c.r);
        }
        bits += row;
    }
    std::string out = "BM";
    put32(out, unsigned(14 + 40 + bits.size()));
    put32(out, 0);
    put32(out, 14 + 40);
    putInfoHeader(out, width, size, 24, unsigned(bits.size()));
    return out + bits;
}

bool writeFile(const std::string &path, const std::string &bytes) {
    FILE *file = fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && ok;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: gen_icons <output folder>\n");
        return 2;
    }
    std::string folder = std::string(argv[1]) + "/";
    for (const StepLook &look : kSteps) {
        for (const StepLook &other : kSteps)
            if (&other != &look && other.fill.r == look.fill.r && other.fill.g == look.fill.g &&
                other.fill.b == look.fill.b) {
                fprintf(stderr, "gen_icons: steps %d and %d share a colour\n", look.step, other.step);
                return 1;
            }
        if (look.fill.r == kMaskBlue.r && look.fill.g == kMaskBlue.g && look.fill.b == kMaskBlue.b)
            return 1;
        std::string path = folder + "STEP" + std::to_string(look.step) + ".ICO";
        if (!writeFile(path, iconFile(look))) {
            fprintf(stderr, "gen_icons: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    if (!writeFile(folder + "STEPS.BMP", stripFile())) {
        fprintf(stderr, "gen_icons: cannot write %sSTEPS.BMP\n", folder.c_str());
        return 1;
    }
    return 0;
}
