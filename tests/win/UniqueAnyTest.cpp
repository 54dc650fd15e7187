// The template that every holder is made of: what it gives back, and when.

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "win/UniqueAny.h"

namespace pelvaro {
namespace {

using Closed = std::vector<std::intptr_t>;
Closed closed;
void Close(std::intptr_t value) {
    closed.push_back(value);
}
void ClosePointer(int* p) {
    closed.push_back(reinterpret_cast<std::intptr_t>(p));
}

using Holder = UniqueAny<std::intptr_t, &Close, 0>;

TEST(UniqueAny, GivesEachValueBackOnceAndNeverTheInvalidOne) {
    closed.clear();
    {
        Holder empty, a(1), b(2);
        a.Reset(3);
        b = std::move(a);
        Holder& same = b;
        b = std::move(same);
        *empty.Put() = 4;
        EXPECT_EQ(Holder(5).Detach(), 5);
        EXPECT_FALSE(a);
        EXPECT_EQ(closed, (Closed{1, 2}));
    }
    EXPECT_EQ(closed, (Closed{1, 2, 3, 4}));
}

TEST(UniqueAny, AnIntegerInvalidValueStandsForAPointer) {
    closed.clear();
    {
        // As UniqueFileHandle: -1 holds nothing, and null is a value like any other.
        using MinusOne = UniqueAny<int*, &ClosePointer, -1>;
        MinusOne none(reinterpret_cast<int*>(-1)), empty, null(nullptr);
        EXPECT_FALSE(none);
        EXPECT_FALSE(empty);
        EXPECT_TRUE(null);
    }
    EXPECT_EQ(closed, Closed{0});
}

}  // namespace
}  // namespace pelvaro
