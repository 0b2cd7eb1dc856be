// The QUELLON.INI walk: entry order, the end of the list, and which key decides each lookup.
#include "core/quellonwalk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

// An INI file in memory that answers like the profile reader and records every read and lookup.
struct FakeIni {
    std::map<std::pair<std::string, std::string>, std::string> values;
    std::vector<std::string> reads;
    std::vector<std::string> lookups;

    void set(const std::string &section, const std::string &key, const std::string &value) {
        values[{section, key}] = value;
    }

    std::vector<std::string> walk() {
        QuellonIo io{&FakeIni::read, &FakeIni::close, this};
        unsigned entries = walkQuellonIni(io);
        EXPECT_EQ(entries, lookups.size());
        return lookups;
    }

    static void read(void *context, const char *section, const char *key, char *out, size_t size) {
        auto *ini = static_cast<FakeIni *>(context);
        ini->reads.push_back(std::string(section) + "/" + key);
        auto found = ini->values.find({section, key});
        std::string value = found == ini->values.end() ? kQuellonMissing : found->second;
        value = value.substr(0, size - 1);
        std::memcpy(out, value.c_str(), value.size() + 1);
    }

    static void close(void *context, const QuellonLookup &lookup) {
        auto *ini = static_cast<FakeIni *>(context);
        EXPECT_TRUE((lookup.windowClass == nullptr) != (lookup.windowName == nullptr)) << "never combined";
        ini->lookups.push_back(lookup.windowClass ? std::string("class:") + lookup.windowClass
                                                  : std::string("title:") + lookup.windowName);
    }
};

} // namespace

TEST(QuellonWalk, UnnumberedEntryFirstThenNumberedInOrder) {
    FakeIni ini;
    ini.set("EXECUTE_MODULE", "WINDOWNAME", "Zero");
    ini.set("EXECUTE_MODULE1", "WINDOWCLASS", "One");
    ini.set("EXECUTE_MODULE2", "WINDOWNAME", "Two");
    for (int n = 3; n <= 11; ++n)
        ini.set("EXECUTE_MODULE" + std::to_string(n), "WINDOWCLASS", "C" + std::to_string(n));
    std::vector<std::string> lookups = ini.walk();
    ASSERT_EQ(lookups.size(), 12u);
    EXPECT_EQ(lookups[0], "title:Zero");
    EXPECT_EQ(lookups[1], "class:One");
    EXPECT_EQ(lookups[2], "title:Two");
    EXPECT_EQ(lookups[11], "class:C11");
    EXPECT_EQ(ini.reads.back(), "EXECUTE_MODULE12/WINDOWNAME");
}

TEST(QuellonWalk, ListEndsAtFirstNumberedSectionWithNeitherKey) {
    FakeIni ini;
    ini.set("EXECUTE_MODULE1", "WINDOWCLASS", "One");
    ini.set("EXECUTE_MODULE3", "WINDOWCLASS", "Three");
    EXPECT_EQ(ini.walk(), (std::vector<std::string>{"class:One"}));
    EXPECT_EQ(ini.reads,
              (std::vector<std::string>{"EXECUTE_MODULE/WINDOWCLASS", "EXECUTE_MODULE/WINDOWNAME",
                                        "EXECUTE_MODULE1/WINDOWCLASS", "EXECUTE_MODULE2/WINDOWCLASS",
                                        "EXECUTE_MODULE2/WINDOWNAME"}));
}

TEST(QuellonWalk, MissingFileLooksUpNothing) {
    FakeIni ini;
    EXPECT_TRUE(ini.walk().empty());
    EXPECT_EQ(ini.reads.size(), 4u);
}

TEST(QuellonWalk, ClassWinsAndTitleIsThenNotRead) {
    FakeIni ini;
    ini.set("EXECUTE_MODULE", "WINDOWCLASS", "Cls");
    ini.set("EXECUTE_MODULE", "WINDOWNAME", "Ignored");
    ini.set("EXECUTE_MODULE1", "WINDOWCLASS", "Both");
    ini.set("EXECUTE_MODULE1", "WINDOWNAME", "Ignored too");
    EXPECT_EQ(ini.walk(), (std::vector<std::string>{"class:Cls", "class:Both"}));
    EXPECT_EQ(std::count(ini.reads.begin(), ini.reads.end(), "EXECUTE_MODULE/WINDOWNAME"), 0);
    EXPECT_EQ(std::count(ini.reads.begin(), ini.reads.end(), "EXECUTE_MODULE1/WINDOWNAME"), 0);
}

TEST(QuellonWalk, ErrorTextIsMissingButEmptyAndOtherCaseArePresent) {
    FakeIni ini;
    ini.set("EXECUTE_MODULE", "WINDOWCLASS", "ERROR");
    ini.set("EXECUTE_MODULE", "WINDOWNAME", "ERROR");
    ini.set("EXECUTE_MODULE1", "WINDOWCLASS", "ERROR");
    ini.set("EXECUTE_MODULE1", "WINDOWNAME", "ByTitle");
    ini.set("EXECUTE_MODULE2", "WINDOWCLASS", "");
    ini.set("EXECUTE_MODULE3", "WINDOWNAME", "");
    ini.set("EXECUTE_MODULE4", "WINDOWCLASS", "error");
    ini.set("EXECUTE_MODULE5", "WINDOWNAME", "ERROR");
    ini.set("EXECUTE_MODULE6", "WINDOWCLASS", "Unreached");
    EXPECT_EQ(ini.walk(), (std::vector<std::string>{"title:ByTitle", "class:", "title:", "class:error"}));
}
