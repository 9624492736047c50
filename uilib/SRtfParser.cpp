// The RTF subset of the read-only rich edit.
#include <cctype>
#include <cstring>

#include "platform/Text.h"
#include "uilib/SRichEdit.h"

namespace SOUI {
namespace {

struct CharState {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    int fs = 24;
    int colorIndex = 0;
    int uc = 1;
    bool skipGroup = false;
};

// Bytes of the document's code page to wide text.
std::wstring DecodeCodePage(const std::string& bytes, int codePage) {
    if (bytes.empty())
        return {};
    if (codePage > 0)
        if (auto text = platform::CodePageToWide(bytes, static_cast<unsigned>(codePage)))
            return *std::move(text);
    std::wstring out;  // unknown code page: Latin-1 is the least surprising guess
    for (unsigned char c : bytes)
        out += static_cast<wchar_t>(c);
    return out;
}

class RtfReader {
public:
    explicit RtfReader(const std::string& src) : m_src(src) {}

    SRtfDocument Read() {
        m_doc.paragraphs.emplace_back();
        m_colors.push_back(RGBA(0, 0, 0, 255));  // index 0: automatic
        size_t i = 0;
        while (i < m_src.size()) {
            char c = m_src[i];
            if (c == '{') {
                FlushBytes();
                m_stack.push_back(m_state);
                ++i;
            } else if (c == '}') {
                FlushBytes();
                if (m_inColorTable && m_stack.size() == m_colorTableDepth)
                    m_inColorTable = false;
                if (!m_stack.empty()) {
                    m_state = m_stack.back();
                    m_stack.pop_back();
                }
                ++i;
            } else if (c == '\\') {
                i = ControlWord(i + 1);
            } else if (c == '\r' || c == '\n') {
                ++i;
            } else {
                if (m_inColorTable) {
                    if (c == ';')
                        EndColor();
                } else if (!m_state.skipGroup) {
                    if (m_skip > 0) {
                        --m_skip;
                    } else if (static_cast<unsigned char>(c) >= 0x80) {
                        m_bytes += c;
                    } else {
                        FlushBytes();
                        Append(static_cast<wchar_t>(static_cast<unsigned char>(c)));
                    }
                }
                ++i;
            }
        }
        FlushBytes();
        // A trailing empty paragraph is the document's final \par, not content.
        while (m_doc.paragraphs.size() > 1 && m_doc.paragraphs.back().runs.empty())
            m_doc.paragraphs.pop_back();
        return m_doc;
    }

private:
    size_t ControlWord(size_t i) {
        if (i >= m_src.size())
            return i;
        char c = m_src[i];
        if (!std::isalpha(static_cast<unsigned char>(c))) {
            // Control symbols.
            if (c == '\'') {
                if (i + 2 < m_src.size() + 0 && i + 2 <= m_src.size()) {
                    std::string hex = m_src.substr(i + 1, 2);
                    char* end = nullptr;
                    long v = std::strtol(hex.c_str(), &end, 16);
                    if (!m_state.skipGroup && !m_inColorTable && end == hex.c_str() + 2) {
                        if (m_skip > 0)
                            --m_skip;
                        else
                            m_bytes += static_cast<char>(v);
                    }
                }
                return i + 3;
            }
            FlushBytes();
            if (c == '*') {
                m_state.skipGroup = true;
            } else if (!m_state.skipGroup && !m_inColorTable) {
                if (c == '\\' || c == '{' || c == '}')
                    Append(static_cast<wchar_t>(c));
                else if (c == '~')
                    Append(L'\u00A0');
                else if (c == '_')
                    Append(L'-');
                else if (c == '\n' || c == '\r')
                    NewParagraph();
            }
            return i + 1;
        }
        size_t start = i;
        while (i < m_src.size() && std::isalpha(static_cast<unsigned char>(m_src[i])))
            ++i;
        std::string word = m_src.substr(start, i - start);
        bool hasParam = false;
        long param = 0;
        size_t numStart = i;
        if (i < m_src.size() &&
            (m_src[i] == '-' || std::isdigit(static_cast<unsigned char>(m_src[i])))) {
            ++i;
            while (i < m_src.size() && std::isdigit(static_cast<unsigned char>(m_src[i])))
                ++i;
            std::string num = m_src.substr(numStart, i - numStart);
            if (num != "-") {
                hasParam = true;
                param = std::strtol(num.c_str(), nullptr, 10);
                param = std::max(-1000000L, std::min(param, 1000000L));
            }
        }
        if (i < m_src.size() && m_src[i] == ' ')
            ++i;  // the delimiter belongs to the word
        Apply(word, hasParam, param);
        return i;
    }

    void Apply(const std::string& w, bool hasParam, long p) {
        if (w != "u")
            FlushBytes();
        // Destinations whose text is not document text.
        static const char* kSkip[] = {"fonttbl",
                                      "stylesheet",
                                      "info",
                                      "pict",
                                      "header",
                                      "footer",
                                      "headerl",
                                      "headerr",
                                      "footerl",
                                      "footerr",
                                      "object",
                                      "listtable",
                                      "listoverridetable",
                                      "rsidtbl",
                                      "generator",
                                      "xmlnstbl",
                                      "themedata",
                                      "latentstyles",
                                      "datastore",
                                      "colorschememapping",
                                      "filetbl",
                                      "revtbl",
                                      "fldinst"};
        for (const char* s : kSkip)
            if (w == s) {
                m_state.skipGroup = true;
                return;
            }
        if (w == "colortbl") {
            m_inColorTable = true;
            m_colorTableDepth = m_stack.size();
            m_colors.clear();
            m_cur = 0;
            m_curSet = false;
            return;
        }
        if (m_inColorTable) {
            if (w == "red")
                m_cur = (m_cur & ~0xffu) | (static_cast<unsigned>(p) & 0xff);
            if (w == "green")
                m_cur = (m_cur & ~0xff00u) | ((static_cast<unsigned>(p) & 0xff) << 8);
            if (w == "blue")
                m_cur = (m_cur & ~0xff0000u) | ((static_cast<unsigned>(p) & 0xff) << 16);
            m_curSet = true;
            return;
        }
        if (w == "ansicpg" && hasParam) {
            m_doc.codePage = static_cast<int>(p);
            return;
        }
        if (m_state.skipGroup)
            return;
        bool on = !hasParam || p != 0;
        if (w == "par") {
            NewParagraph();
        } else if (w == "line") {
            Append(L'\n');
        } else if (w == "tab") {
            Append(L'\t');
        } else if (w == "b") {
            m_state.bold = on;
        } else if (w == "i") {
            m_state.italic = on;
        } else if (w == "ul") {
            m_state.underline = on;
        } else if (w == "ulnone") {
            m_state.underline = false;
        } else if (w == "fs" && hasParam && p > 0) {
            m_state.fs = static_cast<int>(p);
        } else if (w == "cf" && hasParam) {
            m_state.colorIndex = static_cast<int>(p);
        } else if (w == "plain") {
            int uc = m_state.uc;
            m_state = CharState();
            m_state.uc = uc;
        } else if (w == "pard") {
            m_para.align = 0;
            m_para.spaceAfter = 0;
            m_doc.paragraphs.back().align = 0;
            m_doc.paragraphs.back().spaceAfter = 0;
        } else if (w == "qc" || w == "ql" || w == "qr" || w == "qj") {
            m_para.align = w == "qc" ? 1 : w == "qr" ? 2 : 0;
            m_doc.paragraphs.back().align = m_para.align;
        } else if (w == "sa" && hasParam) {
            m_para.spaceAfter = static_cast<int>(std::max(0L, p));
            m_doc.paragraphs.back().spaceAfter = m_para.spaceAfter;
        } else if (w == "uc" && hasParam) {
            m_state.uc = static_cast<int>(std::max(0L, p));
        } else if (w == "u" && hasParam) {
            FlushBytes();
            long cp = p < 0 ? p + 65536 : p;
            Append(static_cast<wchar_t>(cp));
            m_skip = m_state.uc;
        } else if (w == "emdash") {
            Append(L'\u2014');
        } else if (w == "endash") {
            Append(L'\u2013');
        } else if (w == "bullet") {
            Append(L'\u2022');
        } else if (w == "lquote") {
            Append(L'\u2018');
        } else if (w == "rquote") {
            Append(L'\u2019');
        } else if (w == "ldblquote") {
            Append(L'\u201C');
        } else if (w == "rdblquote") {
            Append(L'\u201D');
        }
    }

    void EndColor() {
        m_colors.push_back(m_curSet ? (m_cur | 0xff000000u) : RGBA(0, 0, 0, 255));
        m_cur = 0;
        m_curSet = false;
    }

    void FlushBytes() {
        if (m_bytes.empty())
            return;
        std::string bytes;
        bytes.swap(m_bytes);
        for (wchar_t ch : DecodeCodePage(bytes, m_doc.codePage))
            Append(ch);
    }

    void NewParagraph() {
        SRtfParagraph p;
        p.align = m_para.align;
        p.spaceAfter = m_para.spaceAfter;
        m_doc.paragraphs.push_back(p);
    }

    void Append(wchar_t ch) {
        SRtfParagraph& para = m_doc.paragraphs.back();
        COLORREF color =
            (m_state.colorIndex >= 0 && m_state.colorIndex < static_cast<int>(m_colors.size()))
                ? m_colors[m_state.colorIndex]
                : RGBA(0, 0, 0, 255);
        if (para.runs.empty() || para.runs.back().bold != m_state.bold ||
            para.runs.back().italic != m_state.italic ||
            para.runs.back().underline != m_state.underline ||
            para.runs.back().sizeHalfPt != m_state.fs || para.runs.back().color != color) {
            SRtfRun run;
            run.bold = m_state.bold;
            run.italic = m_state.italic;
            run.underline = m_state.underline;
            run.sizeHalfPt = m_state.fs;
            run.color = color;
            para.runs.push_back(run);
        }
        para.runs.back().text += ch;
    }

    const std::string& m_src;
    SRtfDocument m_doc;
    CharState m_state;
    std::vector<CharState> m_stack;
    SRtfParagraph m_para;
    std::vector<COLORREF> m_colors;
    bool m_inColorTable = false;
    size_t m_colorTableDepth = 0;
    unsigned m_cur = 0;
    bool m_curSet = false;
    int m_skip = 0;
    std::string m_bytes;
};

}  // namespace

SRtfDocument ParseRtf(const std::string& rtf) {
    return RtfReader(rtf).Read();
}

}  // namespace SOUI
