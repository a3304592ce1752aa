// The small vector behind accessors' bindings and held rows: inline room, spilling to the
// heap, and copies and moves of both.
#include "kit/SmallVector.h"

#include <gtest/gtest.h>

#include <vector>

using namespace vantrel::kit;

namespace {

template <class V> std::vector<int> contents(const V& v) {
    return std::vector<int>(v.begin(), v.end());
}

} // namespace

TEST(SmallVector, InsertsAndErasesInPlaceAcrossTheInlineRoom) {
    SmallVector<int, 2> v;
    v.push_back(3);
    v.insert(v.begin(), 1);
    const int* inlineRoom = v.data();
    v.insert(v.begin() + 1, 2); // spills: the inline room holds two
    EXPECT_NE(inlineRoom, v.data());
    v.push_back(5);
    v.insert(v.end() - 1, 4);
    EXPECT_EQ((std::vector<int>{1, 2, 3, 4, 5}), contents(v));
    // An element of the vector itself inserted while it grows is copied before the move.
    SmallVector<int, 2> self{7, 8};
    self.insert(self.begin(), self[1]);
    EXPECT_EQ((std::vector<int>{8, 7, 8}), contents(self));

    // Room appended in one step keeps what came before, across the spill too.
    SmallVector<int, 2> grown{1};
    int* room = grown.grow(3);
    room[0] = 2;
    room[1] = 3;
    room[2] = 4;
    EXPECT_EQ((std::vector<int>{1, 2, 3, 4}), contents(grown));
    *grown.grow(1) = 5;
    EXPECT_EQ((std::vector<int>{1, 2, 3, 4, 5}), contents(grown));

    v.erase(v.begin());
    v.erase(v.begin() + 1);
    v.erase(v.end() - 1);
    EXPECT_EQ((std::vector<int>{2, 4}), contents(v));
    v.clear();
    EXPECT_TRUE(v.empty());
}

TEST(SmallVector, CopiesAndMovesKeepTheirOwnElements) {
    SmallVector<int, 2> small{1, 2};
    SmallVector<int, 2> large{1, 2, 3, 4};
    for (SmallVector<int, 2>* source : {&small, &large}) {
        const std::vector<int> expected = contents(*source);
        SmallVector<int, 2> copy(*source);
        copy[0] = 9;
        EXPECT_EQ(expected, contents(*source));
        EXPECT_NE(copy.data(), source->data());

        SmallVector<int, 2> moved(std::move(copy));
        EXPECT_TRUE(copy.empty());
        copy.push_back(6); // the moved-from vector is usable again
        EXPECT_EQ(std::vector<int>{6}, contents(copy));
        EXPECT_EQ(9, moved[0]);

        SmallVector<int, 2> assigned{5, 5, 5};
        assigned = std::move(moved);
        EXPECT_EQ(9, assigned[0]);
        EXPECT_EQ(expected.size(), assigned.size());
        assigned = *source;
        EXPECT_EQ(expected, contents(assigned));
        assigned = assigned; // self-assignment keeps the contents
        EXPECT_EQ(expected, contents(assigned));
    }
}
