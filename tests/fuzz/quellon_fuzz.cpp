// Fuzz target: the QUELLON.INI walk over an INI file of any content, read by a fake profile reader.
#include "core/quellonwalk.h"
#include "require.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <utility>

namespace {

// "[section]" lines open sections, "key=value" lines fill them, as the profile reader sees them.
struct FuzzIni {
    std::map<std::pair<std::string, std::string>, std::string> values;
    size_t sections = 0;
    size_t reads = 0;
    size_t closes = 0;

    explicit FuzzIni(const std::string &text) {
        std::string section;
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos)
                end = text.size();
            std::string line = text.substr(start, end - start);
            start = end + 1;
            if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
                section = line.substr(1, line.size() - 2);
                ++sections;
            } else if (size_t eq = line.find('='); eq != std::string::npos) {
                values.emplace(std::make_pair(section, line.substr(0, eq)), line.substr(eq + 1));
            }
        }
    }

    static void read(void *context, const char *section, const char *key, char *out, size_t size) {
        auto *ini = static_cast<FuzzIni *>(context);
        REQUIRE(size == kQuellonValueSize);
        // A walk that does not stop would read sections that cannot exist.
        REQUIRE(++ini->reads <= 2 * (ini->sections + 2));
        auto found = ini->values.find({section, key});
        std::string value = found == ini->values.end() ? kQuellonMissing : found->second;
        size_t n = value.size() < size - 1 ? value.size() : size - 1;
        std::memcpy(out, value.data(), n);
        out[n] = '\0';
    }

    static void close(void *context, const QuellonLookup &lookup) {
        auto *ini = static_cast<FuzzIni *>(context);
        REQUIRE((lookup.windowClass == nullptr) != (lookup.windowName == nullptr));
        const char *value = lookup.windowClass ? lookup.windowClass : lookup.windowName;
        REQUIRE(std::strlen(value) < kQuellonValueSize);
        REQUIRE(std::strcmp(value, kQuellonMissing) != 0);
        ++ini->closes;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzIni ini(std::string(reinterpret_cast<const char *>(data), size));
    QuellonIo io{&FuzzIni::read, &FuzzIni::close, &ini};
    unsigned entries = walkQuellonIni(io);
    REQUIRE(entries == ini.closes);
    REQUIRE(entries <= ini.sections);
    return 0;
}
