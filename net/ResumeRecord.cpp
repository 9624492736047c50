#include "net/ResumeRecord.h"

#include <cerrno>

#include "platform/File.h"

namespace {

constexpr std::string_view kMagic = "quillora-resume 1";
// A record is a few hundred bytes; anything much larger is not one.
constexpr size_t kMaxRecordBytes = 8192;
constexpr size_t kMaxUrlBytes = 4096;
constexpr size_t kMaxValidatorBytes = 1024;
// 18 digits stay below int64_t's limit.
constexpr size_t kMaxDigits = 18;

// "name value" as the next line of `text` from `at`; advances past its newline.
bool TakeField(std::string_view text, size_t& at, std::string_view name, std::string_view& value) {
    const size_t end = text.find('\n', at);
    if (end == std::string_view::npos)
        return false;
    const std::string_view line = text.substr(at, end - at);
    at = end + 1;
    if (line.size() <= name.size() || line.compare(0, name.size(), name) != 0 ||
        line[name.size()] != ' ')
        return false;
    value = line.substr(name.size() + 1);
    return true;
}

// Text without control characters; `asciiOnly` also refuses bytes above 0x7e.
bool IsPlainText(std::string_view text, size_t maxBytes, bool asciiOnly) {
    if (text.empty() || text.size() > maxBytes)
        return false;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f || (asciiOnly && byte > 0x7e))
            return false;
    }
    return true;
}

// A positive decimal number without sign, blanks or leading zeros.
bool ParseCount(std::string_view text, int64_t& value) {
    if (text.empty() || text.size() > kMaxDigits || text[0] == '0')
        return false;
    int64_t result = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        result = result * 10 + (c - '0');
    }
    value = result;
    return true;
}

bool IsLowerHexDigest(std::string_view text) {
    if (text.size() != 64)
        return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

}  // namespace

std::string CResumeRecord::Serialize() const {
    std::string text(kMagic);
    text += "\nurl " + url;
    text += "\nvalidator " + validator;
    text += "\ntotal " + std::to_string(total);
    text += "\nkept " + std::to_string(kept);
    text += "\nsha256 " + (sha256.empty() ? std::string("-") : sha256);
    text += "\n";
    return text;
}

bool CResumeRecord::Parse(std::string_view text, CResumeRecord& record) {
    if (text.size() > kMaxRecordBytes || text.compare(0, kMagic.size(), kMagic) != 0 ||
        text.size() == kMagic.size() || text[kMagic.size()] != '\n')
        return false;
    size_t at = kMagic.size() + 1;
    std::string_view url, validator, total, kept, sha256;
    if (!TakeField(text, at, "url", url) || !TakeField(text, at, "validator", validator) ||
        !TakeField(text, at, "total", total) || !TakeField(text, at, "kept", kept) ||
        !TakeField(text, at, "sha256", sha256) || at != text.size())
        return false;
    CResumeRecord parsed;
    // The validator goes back to the server as a header line: printable ASCII only, and
    // never a weak ETag, which If-Range does not take.
    if (!IsPlainText(url, kMaxUrlBytes, false) ||
        !IsPlainText(validator, kMaxValidatorBytes, true) || validator.compare(0, 2, "W/") == 0 ||
        !ParseCount(total, parsed.total) || !ParseCount(kept, parsed.kept) ||
        parsed.kept >= parsed.total)
        return false;
    if (sha256 != "-" && !IsLowerHexDigest(sha256))
        return false;
    parsed.url = url;
    parsed.validator = validator;
    parsed.sha256 = sha256 == "-" ? std::string() : std::string(sha256);
    record = std::move(parsed);
    return true;
}

std::string ResumeRecordPath(const std::string& tempPath) {
    return tempPath + ".resume";
}

bool ReadResumeRecord(const std::string& path, CResumeRecord& record) {
    int error = 0;
    platform::FileDescriptor fd = platform::OpenFile(path, O_RDONLY | O_NOFOLLOW, 0, error);
    if (!fd.IsOpen())
        return false;
    // Read at most one byte more than a record may have: a huge file is refused unread.
    std::string text(kMaxRecordBytes + 1, '\0');
    size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = platform::ReadSome(fd.Get(), text.data() + got, text.size() - got);
        if (n < 0)
            return false;
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
    }
    text.resize(got);
    return CResumeRecord::Parse(text, record);
}

int WriteResumeRecord(const std::string& path, const CResumeRecord& record) {
    platform::ReplaceOptions options;
    options.keepExistingMode = false;
    return platform::ReplaceFileAtomically(path, record.Serialize(), options);
}
