#pragma once
// Inside net/ only: what the files of ClusterCurl share. Checked curl_easy_setopt calls on
// one easy handle (a refusal is a diagnostic line naming the option, and the first refused
// option's code is what the transfer fails with), and the texts of its messages.

#include <curl/curl.h>

#include <string>

#include "net/ClusterCurl.h"

class CCurlOptionSetter {
public:
    explicit CCurlOptionSetter(CURL* curl) : m_curl(curl) {}

    template <class Value>
    void operator()(CURLoption option, Value value) {
        const CURLcode code = curl_easy_setopt(m_curl, option, value);
        if (code == CURLE_OK)
            return;
        traceError("curl_easy_setopt(%d) failed: %s\n", static_cast<int>(option),
                   curl_easy_strerror(code));
        Fail(code);
    }
    // Marks the transfer as failed before it starts (a stop request while setting it up).
    void Fail(CURLcode code) {
        if (m_firstError == CURLE_OK)
            m_firstError = code;
    }
    bool Ok() const { return m_firstError == CURLE_OK; }
    CURLcode FirstError() const { return m_firstError; }

private:
    CURL* m_curl;
    CURLcode m_firstError = CURLE_OK;
};

// Formats into a zeroed 1024-byte buffer; longer texts are cut.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
// A file name in the narrow text encoding the messages are in: on Windows the file
// system's narrow form is UTF-8, the messages are ANSI.
std::string PathText(const std::string& path);
// A text formatted beforehand is traced as it is: a '%' in it is not a conversion.
void TracePlain(const std::string& text);
