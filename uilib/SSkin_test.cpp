#include "uilib/SSkin.h"

#include <gtest/gtest.h>

#include "uilib/SCheckBox.h"
#include "uilib/testing/SRecordingTarget.h"

using namespace SOUI;
using namespace uitest;

namespace {

template <class Skin>
Skin* MakeSkin(int w, int h, int states) {
    auto* skin = new Skin;
    auto* bmp = new SFakeBitmap(w, h);
    skin->SetImage(bmp);
    bmp->Release();
    skin->SetStates(states);
    return skin;
}

}  // namespace

TEST(SSkinTest, StateFramesFollowTheStateFlags) {
    SSkinImgList* skin = MakeSkin<SSkinImgList>(90, 30, 3);  // like skin.btn_close
    EXPECT_EQ(skin->GetSkinSize(), CSize(30, 30));
    SRecordingTarget rt;
    const CRect dst(0, 0, 30, 30);
    skin->DrawByState(&rt, dst, WndState_Normal);
    skin->DrawByState(&rt, dst, WndState_Hover);
    skin->DrawByState(&rt, dst, WndState_Hover | WndState_PushDown);
    skin->DrawByState(&rt, dst, WndState_Check);
    skin->DrawByState(&rt, dst, WndState_Disable | WndState_Hover);  // only 3 frames: the last
    ASSERT_EQ(rt.draws.size(), 5u);
    EXPECT_EQ(rt.draws[0].src, CRect(0, 0, 30, 30));
    EXPECT_EQ(rt.draws[1].src, CRect(30, 0, 60, 30));
    EXPECT_EQ(rt.draws[2].src, CRect(60, 0, 90, 30));
    EXPECT_EQ(rt.draws[3].src, CRect(60, 0, 90, 30));
    EXPECT_EQ(rt.draws[4].src, CRect(60, 0, 90, 30));
    skin->Release();
}

TEST(SSkinTest, CheckBoxUsesEightFrames) {
    EXPECT_EQ(SCheckBox::CheckFrameIndex(0), 0);
    EXPECT_EQ(SCheckBox::CheckFrameIndex(WndState_Hover), 1);
    EXPECT_EQ(SCheckBox::CheckFrameIndex(WndState_PushDown | WndState_Hover), 2);
    EXPECT_EQ(SCheckBox::CheckFrameIndex(WndState_Disable), 3);
    EXPECT_EQ(SCheckBox::CheckFrameIndex(WndState_Check), 4);
    EXPECT_EQ(SCheckBox::CheckFrameIndex(WndState_Check | WndState_Hover), 5);
    EXPECT_EQ(SCheckBox::CheckFrameIndex(WndState_Check | WndState_PushDown), 6);
    EXPECT_EQ(SCheckBox::CheckFrameIndex(WndState_Check | WndState_Disable), 7);
}

TEST(SSkinTest, NinePatchKeepsEdgesWhileTheMiddleStretches) {
    SSkinImgFrame* skin = MakeSkin<SSkinImgFrame>(512, 32, 4);  // like skin.btn
    skin->SetMargin(CRect(5, 5, 5, 5));
    SRecordingTarget rt;
    skin->DrawByIndex(&rt, CRect(10, 20, 250, 60), 1);  // 240 x 40, frame 1 at x 128
    ASSERT_EQ(rt.draws.size(), 9u);
    // Corners keep their 5 x 5 size; the middle takes the rest.
    EXPECT_EQ(rt.draws[0].dst, CRect(10, 20, 15, 25));
    EXPECT_EQ(rt.draws[0].src, CRect(128, 0, 133, 5));
    EXPECT_EQ(rt.draws[2].dst, CRect(245, 20, 250, 25));
    EXPECT_EQ(rt.draws[2].src, CRect(251, 0, 256, 5));
    EXPECT_EQ(rt.draws[4].dst, CRect(15, 25, 245, 55));
    EXPECT_EQ(rt.draws[4].src, CRect(133, 5, 251, 27));
    EXPECT_EQ(rt.draws[8].dst, CRect(245, 55, 250, 60));
    for (const auto& d : rt.draws)
        EXPECT_EQ(d.alpha, 255);
    // A target smaller than both edges shares it between them without overlap.
    rt.draws.clear();
    skin->DrawByIndex(&rt, CRect(0, 0, 6, 6), 0);
    for (const auto& d : rt.draws)
        EXPECT_FALSE(d.dst.IsRectEmpty());
    EXPECT_EQ(rt.draws.front().dst, CRect(0, 0, 3, 3));
    skin->Release();
}

TEST(SSkinTest, FrameEdgeAttributes) {
    SSkinImgFrame frame;
    EXPECT_EQ(frame.SetAttribute(L"left", L"5", TRUE), S_OK);
    EXPECT_EQ(frame.SetAttribute(L"top", L"4", TRUE), S_OK);
    EXPECT_EQ(frame.GetMargin(), CRect(5, 4, 5, 4));  // alone, left and top set both sides
    EXPECT_EQ(frame.SetAttribute(L"right", L"2", TRUE), S_OK);
    EXPECT_EQ(frame.SetAttribute(L"margin-y", L"3", TRUE), S_OK);
    EXPECT_EQ(frame.GetMargin(), CRect(5, 3, 2, 3));
    EXPECT_EQ(frame.SetAttribute(L"left", L"x", TRUE), E_FAIL);
    EXPECT_EQ(frame.GetMargin().left, 5);
}

TEST(SSkinTest, ScrollBarPartsComeFromTheStrip) {
    SSkinScrollbar* sb = MakeSkin<SSkinScrollbar>(144, 48, 3);
    EXPECT_EQ(sb->GetSkinSize(), CSize(16, 16));
    SRecordingTarget rt;
    sb->DrawPart(&rt, CRect(0, 0, 16, 16), SSkinScrollbar::kDownArrow, 1, 255);
    ASSERT_EQ(rt.draws.size(), 1u);
    EXPECT_EQ(rt.draws[0].src, CRect(16, 16, 32, 32));
    rt.draws.clear();
    sb->DrawPart(&rt, CRect(0, 0, 16, 100), SSkinScrollbar::kVThumb, 0, 255);
    ASSERT_EQ(rt.draws.size(), 3u);  // top edge, stretched middle, bottom edge
    EXPECT_EQ(rt.draws[0].dst, CRect(0, 0, 16, 3));
    EXPECT_EQ(rt.draws[1].dst, CRect(0, 3, 16, 97));
    EXPECT_EQ(rt.draws[2].src, CRect(64, 13, 80, 16));
    sb->Release();
}
