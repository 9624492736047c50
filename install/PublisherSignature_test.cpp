// The signature rules: key files, .minisig files and what makes a signature count. One
// source for Linux and Windows; the signatures are minisign's bytes made with libsodium.

#include "install/PublisherSignature.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/Text.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSignatures.h"

using qitest::CTestSigner;

namespace {

class PublisherSignatureTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir.Path().empty());
        content = std::string(300000, 'x') + "package body";
        path = platform::PathFromNarrow(dir.Write("pack.exe", content));
        keys = {signer.Key()};
    }

    // The reason, or "" when the signature counts.
    std::string Check(const std::string& signature, const std::string& name = "quillora1.0.exe") {
        std::string reason;
        if (VerifyPublisherSignature(path, signature, keys, name, &reason))
            return "";
        EXPECT_FALSE(reason.empty());
        return reason.empty() ? "(no reason)" : reason;
    }
    std::string Good(bool legacy = false) const {
        return signer.Sign(content, CTestSigner::CommentFor("quillora1.0.exe"), legacy);
    }

    qitest::TempDir dir;
    CTestSigner signer;
    std::string content;
    std::wstring path;
    std::vector<CPublisherKey> keys;
};

TEST_F(PublisherSignatureTest, BothFormsOfAGoodSignatureCount) {
    EXPECT_EQ(Check(Good(false)), "");
    EXPECT_EQ(Check(Good(true)), "");
    // Windows line ends and no final line end read the same.
    std::string crlf;
    for (char c : Good())
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(Check(crlf), "");
    std::string bare = Good();
    bare.pop_back();
    EXPECT_EQ(Check(bare), "");
}

TEST_F(PublisherSignatureTest, AnyOfSeveralKeysSignsAfterARotation) {
    CTestSigner next;
    std::vector<CPublisherKey> parsed;
    std::string error;
    ASSERT_TRUE(
        ParsePublisherKeys(signer.PublicKeyFile() + "\n" + next.PublicKeyFile(), parsed, &error))
        << error;
    ASSERT_EQ(parsed.size(), 2u);
    EXPECT_EQ(parsed[1].keyId, next.Key().keyId);
    EXPECT_EQ(parsed[1].publicKey, next.Key().publicKey);
    keys = parsed;
    EXPECT_EQ(Check(next.Sign(content, CTestSigner::CommentFor("quillora1.0.exe"))), "");
    EXPECT_EQ(Check(Good()), "");
}

TEST_F(PublisherSignatureTest, TheTrustedCommentMustNameThisFile) {
    // The runtime's own valid signature does not stand in for the package.
    EXPECT_NE(Check(signer.Sign(content, CTestSigner::CommentFor("NETFramework4.5.exe"))), "");
    EXPECT_NE(Check(signer.Sign(content, "timestamp:1700000000")), "");
    EXPECT_NE(Check(signer.Sign(content, "file:quillora1.0.exe.old")), "");
    EXPECT_NE(Check(signer.Sign(content, "file:quillora1.0.exe file:other.exe")), "");
    EXPECT_EQ(Check(signer.Sign(content, "file:quillora1.0.exe hashed")), "");
    EXPECT_NE(Check(Good(), ""), "");
}

TEST_F(PublisherSignatureTest, UnknownKeysAndForgeriesAreRefused) {
    CTestSigner stranger;
    const std::string foreign = stranger.Sign(content, CTestSigner::CommentFor("quillora1.0.exe"));
    EXPECT_NE(Check(foreign).find("unknown key"), std::string::npos);
    // The trusted id with another key behind it: the id selects, the key decides.
    keys = {stranger.Key()};
    keys[0].keyId = signer.Key().keyId;
    EXPECT_NE(Check(Good()), "");
}

TEST_F(PublisherSignatureTest, ATamperedFileOrCommentIsRefused) {
    for (bool legacy : {false, true}) {
        SCOPED_TRACE(legacy);
        const std::string signature = Good(legacy);
        path = platform::PathFromNarrow(dir.Write("pack.exe", content + "!"));
        EXPECT_NE(Check(signature), "");
        path = platform::PathFromNarrow(dir.Write("pack.exe", content));
        // The same name with other trusted words: the global signature no longer holds.
        std::string edited = signature;
        edited.replace(edited.find("timestamp:1700000000"), 20, "timestamp:1800000000");
        EXPECT_NE(Check(edited).find("trusted comment"), std::string::npos);
    }
    path = platform::PathFromNarrow(dir / "gone.exe");
    EXPECT_NE(Check(Good()), "");
}

TEST_F(PublisherSignatureTest, MalformedAndTruncatedSignaturesAreRefused) {
    const std::string good = Good();
    for (size_t cut : {size_t{0}, size_t{10}, good.find('\n') + 1, good.size() / 2,
                       good.rfind('\n', good.size() - 2) + 1, good.size() - 5})
        EXPECT_NE(Check(good.substr(0, cut)), "") << cut;
    std::vector<std::string> bad;
    bad.push_back("untrusted comment: x\n" + good.substr(good.find('\n') + 1));  // 4 lines, ok
    EXPECT_EQ(Check(bad.back()), "");
    bad.clear();
    bad.push_back(good + "extra line\n");
    bad.push_back("comment: x\n" + good.substr(good.find('\n') + 1));
    std::string noPadding = good;
    noPadding.erase(noPadding.find("=\n"), 1);
    bad.push_back(noPadding);
    std::string badAlgorithm = good;
    badAlgorithm[good.find('\n') + 1 + 1] = 'X';  // "RU..." no longer decodes to "ED"
    bad.push_back(badAlgorithm);
    bad.push_back(std::string(kMaxSignatureFileSize + 1, '\n'));
    std::string control = good;
    control.replace(control.find("\ntrusted comment: ") + 18, 0, std::string(1, '\x01'));
    bad.push_back(control);
    for (const std::string& text : bad)
        EXPECT_NE(Check(text), "") << text;
}

TEST(PublisherKeysTest, KeyFilesParseStrictly) {
    CTestSigner one;
    CTestSigner two;
    std::vector<CPublisherKey> keys;
    std::string error;
    EXPECT_TRUE(ParsePublisherKeys(one.PublicKeyFile(), keys, &error)) << error;
    const std::string line = one.PublicKeyFile().substr(one.PublicKeyFile().find('\n') + 1);
    const std::vector<std::string> bad = {
        "",
        "\n\n",
        line,                                         // no comment
        "untrusted comment: x\n",                     // no key line
        "untrusted comment: x\n" + line.substr(1),    // truncated
        "untrusted comment: x\nRU" + line.substr(2),  // not "Ed"
        one.PublicKeyFile() + "garbage\n",            // trailing junk
        one.PublicKeyFile() + one.PublicKeyFile(),    // one id twice
    };
    for (const std::string& text : bad) {
        error.clear();
        EXPECT_FALSE(ParsePublisherKeys(text, keys, &error)) << text;
        EXPECT_FALSE(error.empty());
    }
    EXPECT_TRUE(
        ParsePublisherKeys(one.PublicKeyFile() + "\r\n" + two.PublicKeyFile(), keys, &error));
    EXPECT_EQ(keys.size(), 2u);
}

TEST(PublisherKeysTest, PublishedNameIsTheUrlsLastSegment) {
    EXPECT_EQ(PublishedName("http://h/a/quillora1.0.exe"), "quillora1.0.exe");
    EXPECT_EQ(PublishedName("http://h/a/my%20setup.exe?x=1#f"), "my setup.exe");
    EXPECT_EQ(PublishedName("http://h/a/"), "");
}

#ifndef _WIN32
// The minisign tool's own files read as ours do (both forms). Linux: the tool is here.
TEST(PublisherKeysTest, TheMinisignToolsFilesVerify) {
    if (std::system("minisign -v >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "minisign not installed";
    qitest::TempDir dir;
    const std::string file = dir.Write("quillora1.0.exe", "the package");
    const std::string d = "'" + dir.Path() + "'";
    ASSERT_EQ(
        std::system(("minisign -G -W -p " + d + "/k.pub -s " + d + "/k.key >/dev/null").c_str()),
        0);
    std::vector<CPublisherKey> keys;
    ASSERT_TRUE(ParsePublisherKeys(qitest::TempDir::Read(dir / "k.pub"), keys, nullptr));
    for (const char* legacy : {"", "-l "}) {
        ASSERT_EQ(std::system(("minisign -S " + std::string(legacy) + "-s " + d + "/k.key -t " +
                               "'file:quillora1.0.exe' -m '" + file + "' >/dev/null")
                                  .c_str()),
                  0);
        std::string reason;
        EXPECT_TRUE(VerifyPublisherSignature(platform::PathFromNarrow(file),
                                             qitest::TempDir::Read(file + ".minisig"), keys,
                                             "quillora1.0.exe", &reason))
            << legacy << reason;
    }
}
#endif

}  // namespace
