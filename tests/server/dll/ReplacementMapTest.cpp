// Replacement of %Name% in registration text.

#include <gtest/gtest.h>

#include <string>

#include "server/dll/ReplacementMap.h"

namespace pelvaro {
namespace {

TEST(ReplacementMapTest, ExpandsNamesAndDoublePercentSigns) {
    ReplacementMap map;
    map.Add("Module", "C:\\50%\\Pelvaro.dll");
    map.Add("MODULE", "second entry");
    map.Add("APPID", "");
    map.Add(std::string(32, 'X'), "too long");
    const std::pair<std::string, const char*> cases[] = {
        // The first entry wins, whatever the case; a value is not scanned again.
        {"%%%module%%% [%APPID%]", "%C:\\50%\\Pelvaro.dll% []"},
        {"%" + std::string(32, 'X') + "%", nullptr},  // names have at most 31 characters
        {"%Unknown%", nullptr},
        {"open %Module", nullptr},
    };
    for (const auto& [text, expected] : cases) {
        std::string out;
        EXPECT_EQ(ExpandReplacements(text, map, out), expected ? S_OK : E_FAIL) << text;
        if (expected) {
            EXPECT_EQ(out, expected) << text;
        }
    }
}

}  // namespace
}  // namespace pelvaro
