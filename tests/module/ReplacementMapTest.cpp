// Replacement of %Name% in registration text.

#include <gtest/gtest.h>

#include <string>

#include "server/ReplacementMap.h"

namespace {

TEST(ReplacementMapTest, ExpandsNamesAndDoublePercentSigns) {
    ReplacementMap map;
    map.Add("Module", "C:\\50%\\Pelvaro.dll");
    map.Add("MODULE", "second entry");
    map.Add("APPID", "");
    map.Add(std::string(31, 'N'), "long");
    struct Case {
        const char* text;
        HRESULT expected;
        const char* result;
    };
    const std::string longest = "%" + std::string(31, 'n') + "%";
    const std::string tooLong = "%" + std::string(32, 'N') + "%";
    const Case cases[] = {
        {"plain text", S_OK, "plain text"},
        // The first entry wins, whatever the case; a value is not scanned again.
        {"%module%", S_OK, "C:\\50%\\Pelvaro.dll"},
        {"[%APPID%]", S_OK, "[]"},
        {"100%% sure", S_OK, "100% sure"},
        {"%%%Module%%%", S_OK, "%C:\\50%\\Pelvaro.dll%"},
        {longest.c_str(), S_OK, "long"},
        {tooLong.c_str(), E_FAIL, ""},
        {"%Unknown%", E_FAIL, ""},
        {"open %Module", E_FAIL, ""},
        {"%", E_FAIL, ""},
    };
    for (const Case& c : cases) {
        std::string out;
        EXPECT_EQ(ExpandReplacements(c.text, map, out), c.expected) << c.text;
        if (c.expected == S_OK) {
            EXPECT_EQ(out, c.result) << c.text;
        }
    }
}

TEST(ReplacementMapTest, NamesLongerThan31CharactersAreRefusedEvenWhenMapped) {
    ReplacementMap map;
    const std::string name(32, 'X');
    map.Add(name, "value");
    std::string out;
    EXPECT_EQ(ExpandReplacements("%" + name + "%", map, out), E_FAIL);
}

}  // namespace
