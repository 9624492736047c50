// The embedded resource table against what the layouts and the skin table name, the sizes
// and frame counts of the images, and the form of the licence document.

#include <gtest/gtest.h>
#include <strings.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <pugixml.hpp>
#include <set>
#include <string>
#include <vector>

#include "platform/Text.h"
#include "resources/NamedIds.h"
#include "uilib/SEmbeddedRes.h"

namespace {

const SOUI::SEmbeddedRes* Find(const std::string& type, const std::string& name) {
    size_t count = 0;
    const SOUI::SEmbeddedRes* table = QiGetEmbeddedResources(&count);
    for (size_t i = 0; i < count; ++i) {
        if (type == table[i].type && strcasecmp(name.c_str(), table[i].name) == 0) {
            return &table[i];
        }
    }
    return nullptr;
}

// "TYPE:NAME" as the layouts write it (type in any case).
const SOUI::SEmbeddedRes* FindRef(const std::string& ref) {
    size_t colon = ref.find(':');
    if (colon == std::string::npos)
        return nullptr;
    std::string type = ref.substr(0, colon);
    for (char& c : type)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return Find(type, ref.substr(colon + 1));
}

struct Doc {
    pugi::xml_document doc;
    bool ok = false;
};

void Load(Doc& d, const std::string& type, const std::string& name) {
    const SOUI::SEmbeddedRes* res = Find(type, name);
    ASSERT_NE(res, nullptr) << type << ":" << name;
    pugi::xml_parse_result r = d.doc.load_buffer(res->data, res->size);
    ASSERT_TRUE(r) << type << ":" << name << ": " << r.description() << " at " << r.offset;
    d.ok = true;
}

// Every element under `root`, in document order.
std::vector<pugi::xml_node> Elements(const pugi::xml_node& root) {
    std::vector<pugi::xml_node> out;
    for (const pugi::xpath_node& n : root.select_nodes(".//*"))
        out.push_back(n.node());
    return out;
}

struct PngHeader {
    uint32_t width = 0, height = 0;
    int bitDepth = 0, colorType = 0;
};

bool ReadPngHeader(const SOUI::SEmbeddedRes& res, PngHeader* h) {
    static const unsigned char kSig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (res.size < 33 || std::memcmp(res.data, kSig, 8) != 0)
        return false;
    if (std::memcmp(res.data + 12, "IHDR", 4) != 0)
        return false;
    auto be32 = [&](size_t at) {
        return (uint32_t(res.data[at]) << 24) | (uint32_t(res.data[at + 1]) << 16) |
               (uint32_t(res.data[at + 2]) << 8) | uint32_t(res.data[at + 3]);
    };
    h->width = be32(16);
    h->height = be32(20);
    h->bitDepth = res.data[24];
    h->colorType = res.data[25];
    return true;
}

}  // namespace

TEST(EmbeddedResources, EntriesAreUniqueWithUpperCaseTypesAndContent) {
    size_t count = 0;
    const SOUI::SEmbeddedRes* table = QiGetEmbeddedResources(&count);
    ASSERT_EQ(count, 30u);  // 7 XML documents, 20 images, two licences and the icon
    std::set<std::string> keys;
    for (size_t i = 0; i < count; ++i) {
        std::string type = table[i].type, name = table[i].name;
        for (char c : type)
            EXPECT_FALSE(islower(static_cast<unsigned char>(c))) << type;
        for (char& c : name)
            c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        EXPECT_TRUE(keys.insert(type + ":" + name).second) << "duplicate " << type << ":" << name;
        EXPECT_GT(table[i].size, 0u) << type << ":" << name;
        EXPECT_EQ(table[i].data[table[i].size], 0) << "text resources end in a NUL";
    }
    EXPECT_NE(Find("PNG", "IMAGE_LOGO_PNG"), nullptr) << "names match without regard to case";
    EXPECT_EQ(Find("png", "image_logo_png"), nullptr) << "types are upper case";
}

TEST(EmbeddedResources, XmlDocumentsParseAndEveryReferenceResolves) {
    Doc uidef, skin, strings, colors, mainwnd, msgbox;
    Load(uidef, "UIDEF", "XML_INIT");
    Load(skin, "VALUES", "SKIN");
    Load(strings, "VALUES", "STRING");
    Load(colors, "VALUES", "COLOR");
    Load(mainwnd, "LAYOUT", "XML_MAINWND");
    Load(msgbox, "LAYOUT", "XML_MSGBOX_DLG");
    if (HasFatalFailure())
        return;

    // The UI definition's tables.
    for (pugi::xml_node n : uidef.doc.child("UIDEF").children()) {
        if (const char* src = n.attribute("src").as_string(nullptr)) {
            EXPECT_NE(FindRef(src), nullptr) << src;
        }
    }
    EXPECT_STREQ(uidef.doc.child("UIDEF").child("font").attribute("face").value(), "宋体");
    EXPECT_EQ(uidef.doc.child("UIDEF").child("font").attribute("size").as_int(), 15);
    EXPECT_STREQ(strings.doc.child("string").child("ver").attribute("value").value(), "1.0");
    EXPECT_STREQ(colors.doc.child("color").child("gray").attribute("value").value(), "#808080");

    // Skins: each names an image that exists.
    std::set<std::string> skins;
    for (pugi::xml_node n : skin.doc.child("skin").children()) {
        std::string name = n.attribute("name").value();
        EXPECT_TRUE(skins.insert(name).second) << "duplicate skin " << name;
        EXPECT_NE(FindRef(n.attribute("src").value()), nullptr) << name;
    }

    // Layouts: every skin attribute names a skin of the table, every resource reference an
    // entry. Skins that the program sets at run time (the slides, the shrink glyph) too.
    const char* kSkinAttrs[] = {"skin",   "focusSkin", "bkgndSkin", "posSkin",
                                "sbSkin", "icon",      "tabSkin",   "iconSkin"};
    for (Doc* d : {&mainwnd, &msgbox}) {
        pugi::xml_node soui = d->doc.child("SOUI");
        ASSERT_TRUE(soui);
        EXPECT_NE(FindRef("ICON:ICON_LOGO"), nullptr);
        EXPECT_STREQ(soui.attribute("bigIcon").value(), "ICON_LOGO:32");
        for (pugi::xml_node n : Elements(soui)) {
            for (const char* attr : kSkinAttrs) {
                pugi::xml_attribute a = n.attribute(attr);
                if (a && *a.value() != '\0') {
                    EXPECT_TRUE(skins.count(a.value()))
                        << n.name() << " " << attr << "=" << a.value();
                }
            }
            if (pugi::xml_attribute a = n.attribute("rtf")) {
                EXPECT_NE(FindRef(a.value()), nullptr) << a.value();
            }
        }
    }
    for (const char* s : {"skin.1", "skin.2", "skin.3", "skin.shrink", "skin.extend"}) {
        EXPECT_TRUE(skins.count(s)) << s;
    }
}

TEST(EmbeddedResources, ImagesHaveTheSizesAndFramesOfTheSkinTable) {
    struct Expect {
        const char* skin;
        const char* image;
        uint32_t w, h;
        int states;
    };
    const Expect kExpect[] = {
        {"skin.btn_minimize", "image_btn_minimize_png", 90, 30, 3},
        {"skin.btn_close", "image_btn_close_png", 90, 30, 3},
        {"skin.shadow", "image_shadow_png", 210, 143, 1},
        {"skin.logo", "image_logo_png", 200, 200, 1},
        {"skin.btn", "image_btn_png", 512, 32, 4},
        {"skin.1", "image_1_png", 223, 165, 1},
        {"skin.2", "image_2_png", 223, 165, 1},
        {"skin.3", "image_3_png", 223, 165, 1},
        {"skin.progress", "image_progress_png", 10, 10, 1},
        {"skin.progress_bgk", "image_progress_bgk_png", 10, 10, 1},
        {"skin_scrollbar", "ID_SCROLLBAR", 144, 48, 0},
        {"skin.check", "image_check_png", 192, 24, 8},
        {"skin.transparent", "image_transparent_png", 30, 10, 8},
        {"skin.whiteBtn", "image_white_btn_png", 30, 10, 3},
        {"skin.extend", "image_extend_png", 20, 20, 1},
        {"skin.shrink", "image_shrink_png", 20, 20, 1},
        {"skin.btn_ok", "btn_ok_png", 384, 32, 4},
        {"skin.btn_cancel", "btn_cancel_png", 384, 32, 4},
        {"skin.rc_shadow", "rc_shadow_png", 410, 250, 1},
        {"skin.rc_bgk", "rc_bgk_png", 400, 240, 1},
    };
    Doc skin;
    Load(skin, "VALUES", "SKIN");
    if (HasFatalFailure())
        return;
    std::map<std::string, pugi::xml_node> byName;
    for (pugi::xml_node n : skin.doc.child("skin").children())
        byName[n.attribute("name").value()] = n;
    EXPECT_EQ(byName.size(), std::size(kExpect));

    for (const Expect& e : kExpect) {
        SCOPED_TRACE(e.skin);
        ASSERT_TRUE(byName.count(e.skin));
        pugi::xml_node n = byName[e.skin];
        EXPECT_EQ(std::string(n.attribute("src").value()), std::string("PNG:") + e.image);
        if (e.states > 0) {
            EXPECT_EQ(n.attribute("states").as_int(1), e.states);
        }
        const SOUI::SEmbeddedRes* res = Find("PNG", e.image);
        ASSERT_NE(res, nullptr);
        PngHeader h;
        ASSERT_TRUE(ReadPngHeader(*res, &h));
        EXPECT_EQ(h.width, e.w);
        EXPECT_EQ(h.height, e.h);
        EXPECT_EQ(h.bitDepth, 8);
        EXPECT_EQ(h.colorType, 6) << "8-bit RGBA";
    }

    const SOUI::SEmbeddedRes* icon = Find("ICON", "ICON_LOGO");
    ASSERT_NE(icon, nullptr);
    PngHeader h;
    ASSERT_TRUE(ReadPngHeader(*icon, &h));
    EXPECT_EQ(h.width, 48u);
    EXPECT_EQ(h.height, 48u);
    EXPECT_EQ(h.colorType, 6);
}

TEST(EmbeddedResources, NamedIdsFollowTheFirstOccurrenceOfNamesInTheLayouts) {
    Doc mainwnd, msgbox;
    Load(mainwnd, "LAYOUT", "XML_MAINWND");
    Load(msgbox, "LAYOUT", "XML_MSGBOX_DLG");
    if (HasFatalFailure())
        return;
    std::map<std::string, int> expected;
    int next = 65536;
    for (Doc* d : {&mainwnd, &msgbox}) {
        for (pugi::xml_node n : Elements(d->doc.child("SOUI").child("root"))) {
            std::string name = n.attribute("name").value();
            if (!name.empty() && !expected.count(name))
                expected[name] = next++;
        }
    }
    size_t count = 0;
    const SOUI::SNamedID* ids = QiGetNamedIds(&count);
    ASSERT_EQ(expected.size() + 1, count);
    for (size_t i = 1; i < count; ++i) {
        std::wstring w = ids[i].strName;
        std::string name(w.begin(), w.end());
        ASSERT_TRUE(expected.count(name)) << name;
        EXPECT_EQ(expected[name], ids[i].nID) << name;
    }
}

TEST(EmbeddedResources, ControlsThatTheWindowsLookUpHaveTheirClasses) {
    Doc mainwnd, msgbox;
    Load(mainwnd, "LAYOUT", "XML_MAINWND");
    Load(msgbox, "LAYOUT", "XML_MSGBOX_DLG");
    if (HasFatalFailure())
        return;
    auto classOf = [](Doc& d, const char* name) {
        std::string q = std::string("//*[@name='") + name + "']";
        return std::string(d.doc.select_node(q.c_str()).node().name());
    };
    const std::pair<const char*, const char*> kMain[] = {
        {"tab_main", "tabctrl"},     {"btn_installer", "imgbtn"}, {"agree", "check"},
        {"link_license", "link"},    {"btn_open", "imgbtn"},      {"btn_extend", "buttonex"},
        {"edit_path", "edit"},       {"img_gif", "img"},          {"txt_gif", "text"},
        {"txt_percent", "text"},     {"pro_install", "progress"}, {"btn_close", "imgbtn"},
        {"btn_min", "imgbtn"},       {"btn_back", "imgbtn"},      {"btn_start", "imgbtn"},
        {"richedit_rtf", "richedit"}};
    for (auto [name, cls] : kMain)
        EXPECT_EQ(classOf(mainwnd, name), cls) << name;
    const std::pair<const char*, const char*> kBox[] = {
        {"btn_close", "imgbtn"},    {"btn_cancel", "imgbtn"},  {"btn_confirm", "imgbtn"},
        {"btn_continue", "imgbtn"}, {"btn_buy_vip", "imgbtn"}, {"text_msg", "text"}};
    for (auto [name, cls] : kBox)
        EXPECT_EQ(classOf(msgbox, name), cls) << name;

    // One button per place at load: the confirm and cancel pair.
    auto visible = [&](const char* name) {
        std::string q = std::string("//*[@name='") + name + "']";
        return msgbox.doc.select_node(q.c_str()).node().attribute("visible").as_int(1) != 0;
    };
    EXPECT_TRUE(visible("btn_confirm"));
    EXPECT_TRUE(visible("btn_cancel"));
    EXPECT_FALSE(visible("btn_buy_vip"));
    EXPECT_FALSE(visible("btn_continue"));
}

TEST(EmbeddedResources, LicenceIsWellFormedRtfInTheChineseCodePage) {
    const SOUI::SEmbeddedRes* res = Find("RTF", "rtf_protocol_rtf");
    ASSERT_NE(res, nullptr);
    std::string rtf(reinterpret_cast<const char*>(res->data), res->size);
    ASSERT_EQ(rtf.rfind("{\\rtf1", 0), 0u);
    EXPECT_NE(rtf.find("\\ansicpg936"), std::string::npos);

    // Braces balance (escaped ones aside) and the outer group closes at the end; collect the
    // bytes of the \'hh escapes on the way.
    int depth = 0;
    size_t closedAt = std::string::npos;
    std::string bytes;
    for (size_t i = 0; i < rtf.size(); ++i) {
        char c = rtf[i];
        if (c == '\\' && i + 1 < rtf.size()) {
            char n = rtf[i + 1];
            if (n == '\\' || n == '{' || n == '}') {
                ++i;
            } else if (n == '\'') {
                ASSERT_LT(i + 3, rtf.size());
                ASSERT_TRUE(isxdigit(static_cast<unsigned char>(rtf[i + 2])) &&
                            isxdigit(static_cast<unsigned char>(rtf[i + 3])))
                    << "bad escape at " << i;
                bytes.push_back(static_cast<char>(std::stoi(rtf.substr(i + 2, 2), nullptr, 16)));
                i += 3;
            }
        } else if (c == '{') {
            ++depth;
        } else if (c == '}') {
            ASSERT_GT(depth, 0) << "unbalanced '}' at " << i;
            if (--depth == 0)
                closedAt = i;
        }
        EXPECT_GE(static_cast<unsigned char>(c), 0x09) << "control byte at " << i;
        EXPECT_LT(static_cast<unsigned char>(c), 0x80) << "raw non-ASCII byte at " << i;
    }
    EXPECT_EQ(depth, 0);
    ASSERT_NE(closedAt, std::string::npos);
    EXPECT_EQ(rtf.find_first_not_of("\r\n", closedAt + 1), std::string::npos);

    // The escaped bytes are GBK text: they convert, and say what a licence says.
    const std::optional<std::wstring> text = platform::CodePageToWide(bytes, 936);
    ASSERT_TRUE(text.has_value());
    ASSERT_EQ(text->find(L'?'), std::wstring::npos) << "not GBK";
    const std::string out = platform::WideToUtf8(*text);
    for (const char* word : {"许可", "知识产权", "免责", "个人信息"}) {
        EXPECT_NE(out.find(word), std::string::npos) << word;
    }
}
