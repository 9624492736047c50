#include "net/SystemProxy.h"

#ifdef QI_HAVE_LIBPROXY
#include <proxy.h>

namespace {

// One factory for the process: it loads libproxy's modules once and is safe to share
// between threads. Never freed: the proxy lookup's thread (ProxyLookup.h) may still be
// inside it when the program ends.
pxProxyFactory* Factory() {
    static pxProxyFactory* const factory = px_proxy_factory_new();
    return factory;
}

// libproxy's answers in libcurl's terms.
std::string ToCurlProxy(const std::string& answer) {
    if (answer.empty() || answer.compare(0, 9, "direct://") == 0)
        return "";
    if (answer.compare(0, 8, "socks://") == 0)
        return "socks5h://" + answer.substr(8);
    if (answer.compare(0, 9, "socks5://") == 0)
        return "socks5h://" + answer.substr(9);  // names resolved by the proxy
    return answer;
}

}  // namespace

bool ResolveSystemProxy(const std::string& url, std::string& proxy) {
    pxProxyFactory* factory = Factory();
    if (factory == nullptr)
        return false;
    char** answers = px_proxy_factory_get_proxies(factory, url.c_str());
    if (answers == nullptr)
        return false;
    // The first answer is the preferred route; libcurl takes one proxy per transfer.
    bool ok = answers[0] != nullptr;
    if (ok)
        proxy = ToCurlProxy(answers[0]);
    px_proxy_factory_free_proxies(answers);
    return ok;
}

bool HasSystemProxyResolver() {
    return true;
}

#else

bool ResolveSystemProxy(const std::string&, std::string&) {
    return false;
}

bool HasSystemProxyResolver() {
    return false;
}

#endif
