#pragma once
// Test environment of the UI library: the cairo renderer, the PNG decoder, a headless
// host and an application over an in-memory resource table that each test fills.

#include <png.h>

#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "uilib/SApplication.h"
#include "uilib/SHeadlessHost.h"
#include "uilib/components/imgdecoder-png/SImgDecoderPng.h"
#include "uilib/components/render-cairo/SRenderFactoryCairo.h"

namespace uitest {
using namespace SOUI;

// PNG bytes of a horizontal strip of `colors.size()` frames, each w x h, filled with
// one straight RGBA colour (0xRRGGBBAA) per frame.
inline std::string MakePng(int w, int h, const std::vector<uint32_t>& colors) {
    int frames = static_cast<int>(colors.size());
    std::vector<unsigned char> rgba(static_cast<size_t>(w) * frames * h * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w * frames; ++x) {
            uint32_t c = colors[x / w];
            unsigned char* p = &rgba[(static_cast<size_t>(y) * w * frames + x) * 4];
            p[0] = c >> 24;
            p[1] = (c >> 16) & 0xff;
            p[2] = (c >> 8) & 0xff;
            p[3] = c & 0xff;
        }
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = w * frames;
    image.height = h;
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr);
    std::string out(size, '\0');
    png_image_write_to_memory(&image, out.data(), &size, 0, rgba.data(), 0, nullptr);
    out.resize(size);
    png_image_free(&image);
    return out;
}

class SUiTestEnv {
public:
    // backend: the host windows use (null: the headless host below).
    explicit SUiTestEnv(IHostBackend* backend = nullptr) {
        m_pFactory.attach(new SRenderFactoryCairo);
        m_pDecoder.attach(new SImgDecoderPng);
        m_pFactory->SetImgDecoderFactory(m_pDecoder.get());
        app = std::make_unique<SApplication>(m_pFactory.get(), nullptr, L"SOUIHOST",
                                             SObjectDefaultRegister(), backend ? backend : &host);
    }
    ~SUiTestEnv() { app.reset(); }

    void Add(const char* type, const char* name, std::string data) {
        m_data.push_back(std::move(data));
        m_names.push_back(type);
        m_names.push_back(name);
        m_entries.push_back({nullptr, nullptr, nullptr, 0});
    }
    // Registers the table with the application and loads the UI definition, if any.
    bool Commit(const wchar_t* uidef = nullptr) {
        for (size_t i = 0; i < m_entries.size(); ++i) {
            m_entries[i].type = m_names[2 * i].c_str();
            m_entries[i].name = m_names[2 * i + 1].c_str();
            m_entries[i].data = reinterpret_cast<const unsigned char*>(m_data[i].data());
            m_entries[i].size = m_data[i].size();
        }
        m_pProvider.attach(new SResProviderEmbedded);
        m_pProvider->Init(m_entries.data(), m_entries.size());
        return app->AddResProvider(m_pProvider.get(), uidef);
    }

    SHeadlessHost host;
    std::unique_ptr<SApplication> app;

private:
    SAutoRefPtr<SRenderFactoryCairo> m_pFactory;
    SAutoRefPtr<SImgDecoderPng> m_pDecoder;
    SAutoRefPtr<SResProviderEmbedded> m_pProvider;
    std::deque<std::string> m_data;
    std::deque<std::string> m_names;
    std::vector<SEmbeddedRes> m_entries;
};

// The resources of the GTK host's probe windows: `layout` as LAYOUT:probe and the
// eight-frame check-box skin "skin.check"; commits them. False when they do not load.
inline bool CommitProbeResources(SUiTestEnv* env, const char* layout) {
    env->Add("LAYOUT", "probe", layout);
    env->Add("PNG", "check",
             MakePng(24, 24,
                     {0xc0c0c0ff, 0xa0a0a0ff, 0x808080ff, 0x404040ff, 0x1e78d5ff, 0x1e78d5ff,
                      0x1e78d5ff, 0x404040ff}));
    env->Add("VALUES", "skin",
             R"(<skin><imglist name="skin.check" src="PNG:check" states="8"/></skin>)");
    env->Add("UIDEF", "init", R"(<UIDEF><skin src="values:skin"/></UIDEF>)");
    return env->Commit(L"UIDEF:init");
}

// Pixel of a render target as 0xAARRGGBB (premultiplied).
inline uint32_t PixelAt(IRenderTarget* rt, int x, int y) {
    const BYTE* bits = nullptr;
    int stride = 0;
    if (!rt->GetPixels(&bits, &stride))
        return 0;
    uint32_t v;
    std::memcpy(&v, bits + static_cast<size_t>(y) * stride + x * 4, 4);
    return v;
}

}  // namespace uitest
