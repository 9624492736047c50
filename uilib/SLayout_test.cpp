#include "uilib/SLayout.h"

#include <gtest/gtest.h>

using namespace SOUI;

namespace {

CRect SolveText(const wchar_t* rule, const CRect& parent, const CRect* prev = nullptr,
                CSize content = {}) {
    auto pos = SLayoutPos::Parse(rule);
    EXPECT_TRUE(pos.has_value()) << rule;
    return pos ? pos->Solve(parent, prev, content) : CRect();
}

}  // namespace

TEST(SLayoutTest, EveryFormOfTheRules) {
    const CRect parent(100, 50, 500, 350);  // 400 x 300, centre (300, 200)
    EXPECT_EQ(SolveText(L"10,20,-30,-40", parent), CRect(110, 70, 470, 310));
    EXPECT_EQ(SolveText(L"0,0,-0,-0", parent), parent);
    EXPECT_EQ(SolveText(L"|-150,192,@300,@24", parent), CRect(150, 242, 450, 266));
    EXPECT_EQ(SolveText(L"-70,10,@30,@30", parent), CRect(430, 60, 460, 90));
    EXPECT_EQ(SolveText(L"1,-8,-1,@6", parent), CRect(101, 342, 499, 348));
    const CRect prev(110, 60, 210, 90);
    EXPECT_EQ(SolveText(L"[1,{1,-1,-2", parent, &prev), CRect(211, 61, 499, 348));
    EXPECT_EQ(SolveText(L"0,[0,-0,-0", parent, &prev), CRect(100, 90, 500, 350));
    EXPECT_EQ(SolveText(L"{-5,[10,@20,@20", parent, &prev), CRect(105, 100, 125, 120));
    // Without a previous sibling "[" and "{" count from the parent's near edge.
    EXPECT_EQ(SolveText(L"[5,{5,@10,@10", parent), CRect(105, 55, 115, 65));
}

TEST(SLayoutTest, ContentSizedRules) {
    const CRect parent(0, 0, 400, 300);
    auto pos = SLayoutPos::Parse(L"28,32,@-1,@-1");
    ASSERT_TRUE(pos);
    EXPECT_TRUE(pos->NeedsContentSize());
    EXPECT_EQ(pos->Solve(parent, nullptr, CSize(120, 40)), CRect(28, 32, 148, 72));
    auto two = SLayoutPos::Parse(L"5,6");
    ASSERT_TRUE(two);
    EXPECT_EQ(two->Solve(parent, nullptr, CSize(10, 20)), CRect(5, 6, 15, 26));
    EXPECT_FALSE(SLayoutPos::Parse(L"0,0,@10,@10")->NeedsContentSize());
}

TEST(SLayoutTest, MalformedRulesAreRefused) {
    for (const wchar_t* bad :
         {L"", L"1,2,3", L"a,0,0,0", L"@5,0,10,10", L"1,2,3,4,5", L"[,0,0,0", L"0x,0,0,0"})
        EXPECT_FALSE(SLayoutPos::Parse(bad).has_value()) << bad;
    EXPECT_TRUE(SLayoutPos::Parse(L" 1 , 2 , -3 , @4 ").has_value());
}
