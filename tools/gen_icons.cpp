// Draws the tray program's step pictures at build time: icons STEP1.ICO-STEP8.ICO and the strips
// STEPS.BMP, STEPS20.BMP, STEPS24.BMP and STEPS32.BMP.
//
// Every step is a rounded badge in its own colour with its number on it. The colours run from red
// (step 1, full performance) to teal (step 8, longest battery life). The icons hold the badge at 16,
// 20, 24, 32 and 48 pixels, so the notification area stays sharp from 100 to 200 % scaling; a badge
// has hard edges and three colours, so each image is 4-bit with a palette and the AND mask, a fifth
// of the bytes of 32-bit colour for the same pixels. Each strip holds the eight badges of one size
// side by side on pure blue, the mask colour of the configuration dialog's image list, so no badge
// may use pure blue.
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

void put32At(std::string &out, size_t at, unsigned v) {
    std::string bytes;
    put32(bytes, v);
    out.replace(at, 4, bytes);
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

void putPaletteEntry(std::string &out, Rgb c) {
    out += char(c.b);
    out += char(c.g);
    out += char(c.r);
    out += char(0);
}

bool same(Rgb a, Rgb b) {
    return a.r == b.r && a.g == b.g && a.b == b.b;
}

// Index of `c` in `palette`, added when it is not there yet.
unsigned paletteIndex(std::vector<Rgb> &palette, Rgb c) {
    for (unsigned i = 0; i < palette.size(); ++i)
        if (same(palette[i], c))
            return i;
    palette.push_back(c);
    return unsigned(palette.size() - 1);
}

// One icon image: 4-bit colour from a 16-entry palette (bottom row first), then the 1-bit AND mask.
// Entry 0 is black, the colour under the mask, so what the mask hides draws nothing.
std::string iconImage(const Image &image, int size) {
    int colourStride = ((size * 4 + 31) / 32) * 4;
    int maskStride = ((size + 31) / 32) * 4;
    std::vector<Rgb> palette = {{0, 0, 0}};
    std::string bits;
    for (int y = size - 1; y >= 0; --y) {
        std::string row(colourStride, '\0');
        for (int x = 0; x < size; ++x) {
            const Pixel &p = image[y * size + x];
            unsigned index = p.opaque ? paletteIndex(palette, p.colour) : 0;
            row[x / 2] = char(row[x / 2] | (x % 2 ? index : index << 4));
        }
        bits += row;
    }
    palette.resize(16, Rgb{0, 0, 0});
    std::string out;
    putInfoHeader(out, size, size * 2, 4, unsigned(bits.size() + maskStride * size));
    for (const Rgb &c : palette)
        putPaletteEntry(out, c);
    out += bits;
    for (int y = size - 1; y >= 0; --y) {
        std::string row(maskStride, '\0');
        for (int x = 0; x < size; ++x)
            if (!image[y * size + x].opaque)
                row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
        out += row;
    }
    return out;
}

// The icon sizes: the small icon at 100, 125, 150 and 200 % scaling, and the large one up to 150 %.
constexpr int kIconSizes[] = {48, 32, 24, 20, 16};
constexpr int kIconCount = sizeof kIconSizes / sizeof kIconSizes[0];

std::string iconFile(const StepLook &look) {
    std::string images[kIconCount];
    for (int i = 0; i < kIconCount; ++i)
        images[i] = iconImage(drawBadge(look, kIconSizes[i]), kIconSizes[i]);
    std::string out;
    put16(out, 0);
    put16(out, 1); // icon
    put16(out, kIconCount);
    unsigned offset = 6 + 16 * kIconCount;
    for (int i = 0; i < kIconCount; ++i) {
        out += char(kIconSizes[i]);
        out += char(kIconSizes[i]);
        out += char(16); // palette entries
        out += char(0);
        put16(out, 1);
        put16(out, 4);
        put32(out, unsigned(images[i].size()));
        put32(out, offset);
        offset += unsigned(images[i].size());
    }
    for (const std::string &image : images)
        out += image;
    return out;
}

// The eight badges of one size side by side on the mask blue, 8-bit with a palette (the badges'
// colours and the blue are fewer than 256, more than 16).
std::string stripFile(int size) {
    const int width = size * 8;
    int stride = (width + 3) & ~3;
    std::vector<Rgb> palette = {kMaskBlue};
    std::vector<unsigned> strip(width * size, 0);
    for (int i = 0; i < 8; ++i) {
        Image badge = drawBadge(kSteps[i], size);
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                if (badge[y * size + x].opaque)
                    strip[y * width + i * size + x] = paletteIndex(palette, badge[y * size + x].colour);
    }
    std::string bits;
    for (int y = size - 1; y >= 0; --y) {
        std::string row(stride, '\0');
        for (int x = 0; x < width; ++x)
            row[x] = char(strip[y * width + x]);
        bits += row;
    }
    unsigned headers = unsigned(14 + 40 + 4 * palette.size());
    std::string out = "BM";
    put32(out, unsigned(headers + bits.size()));
    put32(out, 0);
    put32(out, headers);
    putInfoHeader(out, width, size, 8, unsigned(bits.size()));
    put32At(out, 14 + 32, unsigned(palette.size())); // biClrUsed
    for (const Rgb &c : palette)
        putPaletteEntry(out, c);
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
    // The dialog's trees take the strip of the small-icon size; 16 pixels keeps its old name.
    for (int size : {16, 20, 24, 32}) {
        std::string name = size == 16 ? "STEPS.BMP" : "STEPS" + std::to_string(size) + ".BMP";
        if (!writeFile(folder + name, stripFile(size))) {
            fprintf(stderr, "gen_icons: cannot write %s%s\n", folder.c_str(), name.c_str());
            return 1;
        }
    }
    return 0;
}
