#include "sys/TextUtil.h"

#include <cctype>
#include <cmath>
#include <cstring>
#include <cwchar>
#include <random>

#include "platform/Guid.h"
#include "platform/Time.h"

namespace {

std::mt19937& Generator() {
    thread_local std::mt19937 s_generator{std::random_device{}()};
    return s_generator;
}

template <typename Text>
int SplitImpl(const Text& text, const Text& separator, std::vector<Text>& pieces, bool keepEmpty) {
    if (text.empty() || separator.empty())
        return 0;
    int added = 0;
    size_t pos = 0;
    while (true) {
        size_t next = text.find(separator, pos);
        if (next == Text::npos)
            break;
        if (next > pos || keepEmpty) {
            pieces.push_back(text.substr(pos, next - pos));
            ++added;
        }
        pos = next + separator.size();
    }
    if (pos < text.size()) {
        pieces.push_back(text.substr(pos));
        ++added;
    }
    return added;
}

template <typename Text>
int ReplaceImpl(Text& text, const Text& from, const Text& to) {
    if (from.empty())
        return 0;
    int count = 0;
    for (size_t pos = text.find(from); pos != Text::npos; pos = text.find(from, pos + to.size())) {
        text.replace(pos, from.size(), to);
        ++count;
    }
    return count;
}

std::string ConvertCase(const std::string& text, bool upper) {
    std::string out = text;
    std::mbstate_t state{};
    size_t i = 0;
    while (i < out.size()) {
        size_t n = std::mbrlen(out.data() + i, out.size() - i, &state);
        if (n == static_cast<size_t>(-1) || n == static_cast<size_t>(-2)) {
            state = std::mbstate_t{};  // not a character here: leave the byte alone
            ++i;
            continue;
        }
        if (n <= 1) {
            auto c = static_cast<unsigned char>(out[i]);
            out[i] = static_cast<char>(upper ? std::toupper(c) : std::tolower(c));
            ++i;
            continue;
        }
        i += n;  // a multibyte character: its trail bytes may look like ASCII letters
    }
    return out;
}

}  // namespace

std::wstring TodayText() {
    platform::SystemTime t = platform::GetLocalTime();
    wchar_t buf[32];
    std::swprintf(buf, 32, L"%04d-%02d-%02d", t.wYear, t.wMonth, t.wDay);
    return buf;
}

std::wstring NewGuidText() {
    platform::GUID g{};
    if (platform::CoCreateGuid(&g) != platform::S_OK)
        return RandomGuidText();
    wchar_t buf[40];
    std::swprintf(buf, 40, L"%08X%04X%04X%02X%02X%02X%02X%02X%02X%02X%02X", g.Data1, g.Data2,
                  g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5],
                  g.Data4[6], g.Data4[7]);
    return buf;
}

std::wstring RandomGuidText() {
    std::uniform_int_distribution<unsigned> part(0, 0x7FFF);
    auto& gen = Generator();
    unsigned v[7];
    for (unsigned& x : v)
        x = part(gen);
    wchar_t buf[48];
    std::swprintf(buf, 48, L"{%08X%04X%04X%04X%04X%04X%04X}", v[0], v[1], v[2], v[3], v[4], v[5],
                  v[6]);
    return buf;
}

uint32_t IpTextToNumber(const std::string& text) {
    std::vector<std::string> parts;
    if (SplitText(text, std::string("."), parts, true) != 4 || text.back() == '.')
        return 0;
    uint32_t number = 0;
    for (const std::string& part : parts) {
        if (part.empty() || part.size() > 3)
            return 0;
        for (char c : part) {
            if (c < '0' || c > '9')
                return 0;
        }
        int value = std::stoi(part);
        if (value > 255)
            return 0;
        number = (number << 8) | static_cast<uint32_t>(value);
    }
    return number;
}

std::string IpNumberToText(uint32_t number) {
    return std::to_string(number >> 24) + "." + std::to_string((number >> 16) & 0xFF) + "." +
           std::to_string((number >> 8) & 0xFF) + "." + std::to_string(number & 0xFF);
}

int RandomInRange(int low, int high) {
    if (high < low)
        return low;
    std::uniform_int_distribution<int> range(low, high);
    return range(Generator());
}

double RoundHalfAway(double value) {
    // Not std::round: MinGW's adds 0.5 and floors, which rounds 0.49999999999999994 up.
    // The fraction value - trunc(value) is exact.
    const double whole = std::trunc(value);
    return std::fabs(value - whole) >= 0.5 ? whole + std::copysign(1.0, value) : whole;
}

int SplitText(const std::wstring& text, const std::wstring& separator,
              std::vector<std::wstring>& pieces) {
    return SplitImpl(text, separator, pieces, false);
}

int SplitText(const std::string& text, const std::string& separator,
              std::vector<std::string>& pieces, bool keepEmpty) {
    return SplitImpl(text, separator, pieces, keepEmpty);
}

int ReplaceAll(std::wstring& text, const std::wstring& from, const std::wstring& to) {
    return ReplaceImpl(text, from, to);
}

int ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    return ReplaceImpl(text, from, to);
}

std::string ToLowerAscii(const std::string& text) {
    return ConvertCase(text, false);
}
std::string ToUpperAscii(const std::string& text) {
    return ConvertCase(text, true);
}

void StripUtf8Bom(std::string& text) {
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.erase(0, 3);
}

void StripUtf8Bom(char* buffer) {
    if (buffer == nullptr || std::strncmp(buffer, "\xEF\xBB\xBF", 3) != 0)
        return;
    std::memmove(buffer, buffer + 3, std::strlen(buffer + 3) + 1);
}

bool StartsWith(const std::wstring& text, const std::wstring& prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}
bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}
bool EndsWith(const std::wstring& text, const std::wstring& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}
bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}
