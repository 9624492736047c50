#include "tools/demo/DemoReport.h"

#include <json/json.h>

#include <memory>

#include "platform/Text.h"

namespace qidemo {

namespace {

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

// %XX sequences only: '+' stays '+' (see the header).
bool PercentDecode(std::string_view text, std::string& out) {
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.push_back(text[i]);
            continue;
        }
        if (i + 2 >= text.size())
            return false;
        int high = platform::HexDigit(static_cast<unsigned char>(text[i + 1]));
        int low = platform::HexDigit(static_cast<unsigned char>(text[i + 2]));
        if (high < 0 || low < 0)
            return false;
        out.push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    return true;
}

// The value of the form field `name`, raw; false when the body has no such field.
bool FormField(std::string_view body, std::string_view name, std::string_view& value) {
    size_t start = 0;
    while (start <= body.size()) {
        size_t end = body.find('&', start);
        if (end == std::string_view::npos)
            end = body.size();
        std::string_view field = body.substr(start, end - start);
        if (field.size() > name.size() && field.substr(0, name.size()) == name &&
            field[name.size()] == '=') {
            value = field.substr(name.size() + 1);
            return true;
        }
        start = end + 1;
    }
    return false;
}

}  // namespace

bool Base64Decode(std::string_view text, std::string& bytes) {
    bytes.clear();
    uint32_t buffer = 0;
    int bits = 0;
    size_t symbols = 0;
    size_t padding = 0;
    for (char c : text) {
        if (c == '\r' || c == '\n')
            continue;
        if (c == '=') {
            ++padding;
            continue;
        }
        int value = Base64Value(c);
        if (value < 0 || padding > 0)  // a symbol after padding is no Base64 either
            return false;
        ++symbols;
        buffer = (buffer << 6) | static_cast<uint32_t>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes.push_back(static_cast<char>((buffer >> bits) & 0xff));
        }
    }
    if (symbols % 4 == 1 || padding > 2)
        return false;
    return padding == 0 || (symbols + padding) % 4 == 0;
}

bool DecodeReportBody(std::string_view body, std::string& json, std::string& error) {
    std::string_view raw;
    if (!FormField(body, "info", raw)) {
        error = "the body has no info= field";
        return false;
    }
    std::string base64;
    if (!PercentDecode(raw, base64)) {
        error = "the info field holds a broken %-escape";
        return false;
    }
    std::string text;
    if (base64.empty() || !Base64Decode(base64, text)) {
        error = "the info field is not Base64";
        return false;
    }
    Json::CharReaderBuilder builder;
    builder["failIfExtra"] = true;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value value;
    std::string parseError;
    if (!reader->parse(text.data(), text.data() + text.size(), &value, &parseError) ||
        !value.isObject()) {
        error = "the info field does not hold a JSON object";
        return false;
    }
    json = std::move(text);
    return true;
}

}  // namespace qidemo
