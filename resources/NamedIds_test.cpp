#include "resources/NamedIds.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <set>

TEST(NamedIds, TwentySevenEntriesSortedWithDistinctIdsFromTheStartMark) {
    size_t count = 0;
    const SOUI::SNamedID* ids = QiGetNamedIds(&count);
    ASSERT_EQ(count, 27u);
    // The library looks names up by bisection: strictly ascending by character code.
    for (size_t i = 1; i < count; ++i) {
        EXPECT_LT(std::wcscmp(ids[i - 1].strName, ids[i].strName), 0) << i;
    }
    EXPECT_STREQ(ids[0].strName, L"_name_start");
    EXPECT_EQ(ids[0].nID, 65535);
    std::set<int> seen;
    for (size_t i = 0; i < count; ++i)
        seen.insert(ids[i].nID);
    ASSERT_EQ(seen.size(), count);
    EXPECT_EQ(*seen.begin(), 65535);
    EXPECT_EQ(*seen.rbegin(), 65561);  // a dense range
    EXPECT_EQ(QiGetNamedIds(nullptr), ids);
}
