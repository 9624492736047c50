#include "install/Base64Encode.h"

#include <gtest/gtest.h>

namespace {

TEST(Base64EncodeTest, StandardAlphabetAndPadding) {
    EXPECT_EQ(Base64Encode(""), "");
    EXPECT_EQ(Base64Encode("f"), "Zg==");
    EXPECT_EQ(Base64Encode("fo"), "Zm8=");
    EXPECT_EQ(Base64Encode("foo"), "Zm9v");
    EXPECT_EQ(Base64Encode("foobar"), "Zm9vYmFy");
    // The two last characters of the alphabet, and bytes above 0x7F.
    EXPECT_EQ(Base64Encode("\xfb\xff\xbf"), "+/+/");
    EXPECT_EQ(Base64Encode(std::string("\0\0\0", 3)), "AAAA");
    EXPECT_EQ(Base64Encode("{\n}\n"), "ewp9Cg==");
}

}  // namespace
