// libcurl, loaded the first time the program calls it. The functions below stand in for
// the library's own: linking libcurl (with its TLS, LDAP, SSH and HTTP/2 libraries) would
// map and relocate all of them at start, about 7 MiB and several milliseconds that a user
// pays before the first page shows, although nothing is fetched until the install button.
// Linux only: the Windows build links a static libcurl, which costs nothing to load.
//
// When the library cannot be loaded every call fails the way libcurl reports a failed
// initialisation (CURLE_FAILED_INIT, null handles), with one line on the debugger stream.

#define CURL_DISABLE_TYPECHECK  // the variadic functions are defined here, not wrapped
#include <curl/curl.h>
#include <dlfcn.h>

#include <cstdarg>
#include <string>

#include "platform/DebugOutput.h"

namespace {

// The library's functions, looked up once; any that is missing leaves the library unused.
struct CurlApi {
    bool ok = false;
// clang-format off
#define QI_CURL_FUNCTIONS(X)                                                         \
    X(curl_global_init) X(curl_global_cleanup) X(curl_easy_init) X(curl_easy_cleanup) \
    X(curl_easy_setopt) X(curl_easy_getinfo) X(curl_easy_perform) X(curl_easy_strerror) \
    X(curl_multi_init) X(curl_multi_cleanup) X(curl_multi_add_handle)                  \
    X(curl_multi_remove_handle) X(curl_multi_perform) X(curl_multi_poll)               \
    X(curl_multi_info_read) X(curl_multi_strerror) X(curl_slist_append)                \
    X(curl_slist_free_all)
// clang-format on
#define QI_CURL_POINTER(name) decltype(&::name) name = nullptr;
    QI_CURL_FUNCTIONS(QI_CURL_POINTER)
};

const CurlApi& Api() {
    // Thread-safe initialisation of a function-local static; the library stays loaded for
    // the life of the process (unloading it under a running transfer could never be safe).
    static const CurlApi api = [] {
        CurlApi loaded;
        void* library = ::dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            const char* why = ::dlerror();
            platform::OutputDebugStringA(
                (std::string("[libcurl cannot be loaded: ") + (why ? why : "?") + "]\n").c_str());
            return loaded;
        }
        bool all = true;
#define QI_CURL_LOOKUP(name)                                                    \
    loaded.name = reinterpret_cast<decltype(&::name)>(::dlsym(library, #name)); \
    all = all && loaded.name != nullptr;
        QI_CURL_FUNCTIONS(QI_CURL_LOOKUP)
        if (!all)
            platform::OutputDebugStringA("[libcurl lacks a function this program calls]\n");
        loaded.ok = all;
        return loaded;
    }();
    return api;
}

}  // namespace

extern "C" {

CURLcode curl_global_init(long flags) {
    return Api().ok ? Api().curl_global_init(flags) : CURLE_FAILED_INIT;
}

void curl_global_cleanup(void) {
    if (Api().ok)
        Api().curl_global_cleanup();
}

CURL* curl_easy_init(void) {
    return Api().ok ? Api().curl_easy_init() : nullptr;
}

void curl_easy_cleanup(CURL* curl) {
    if (Api().ok)
        Api().curl_easy_cleanup(curl);
}

// The argument's type follows from the option's number, as libcurl's own reading of it does.
CURLcode curl_easy_setopt(CURL* curl, CURLoption option, ...) {
    if (!Api().ok)
        return CURLE_FAILED_INIT;
    va_list args;
    va_start(args, option);
    CURLcode result;
    if (option < CURLOPTTYPE_OBJECTPOINT) {
        result = Api().curl_easy_setopt(curl, option, va_arg(args, long));
    } else if (option < CURLOPTTYPE_FUNCTIONPOINT) {
        result = Api().curl_easy_setopt(curl, option, va_arg(args, void*));
    } else if (option < CURLOPTTYPE_OFF_T) {
        // Function pointers travel as themselves; any one type of them reads the same.
        result = Api().curl_easy_setopt(curl, option, va_arg(args, void (*)(void)));
    } else if (option < CURLOPTTYPE_BLOB) {
        result = Api().curl_easy_setopt(curl, option, va_arg(args, curl_off_t));
    } else {
        result = Api().curl_easy_setopt(curl, option, va_arg(args, void*));
    }
    va_end(args);
    return result;
}

// Every piece of information is written through a pointer.
CURLcode curl_easy_getinfo(CURL* curl, CURLINFO info, ...) {
    if (!Api().ok)
        return CURLE_FAILED_INIT;
    va_list args;
    va_start(args, info);
    void* out = va_arg(args, void*);
    va_end(args);
    return Api().curl_easy_getinfo(curl, info, out);
}

CURLcode curl_easy_perform(CURL* curl) {
    return Api().ok ? Api().curl_easy_perform(curl) : CURLE_FAILED_INIT;
}

const char* curl_easy_strerror(CURLcode code) {
    return Api().ok ? Api().curl_easy_strerror(code) : "libcurl could not be loaded";
}

CURLM* curl_multi_init(void) {
    return Api().ok ? Api().curl_multi_init() : nullptr;
}

CURLMcode curl_multi_cleanup(CURLM* multi) {
    return Api().ok ? Api().curl_multi_cleanup(multi) : CURLM_BAD_HANDLE;
}

CURLMcode curl_multi_add_handle(CURLM* multi, CURL* curl) {
    return Api().ok ? Api().curl_multi_add_handle(multi, curl) : CURLM_BAD_HANDLE;
}

CURLMcode curl_multi_remove_handle(CURLM* multi, CURL* curl) {
    return Api().ok ? Api().curl_multi_remove_handle(multi, curl) : CURLM_BAD_HANDLE;
}

CURLMcode curl_multi_perform(CURLM* multi, int* running) {
    return Api().ok ? Api().curl_multi_perform(multi, running) : CURLM_BAD_HANDLE;
}

CURLMcode curl_multi_poll(CURLM* multi, struct curl_waitfd extra[], unsigned int count,
                          int timeoutMs, int* numfds) {
    return Api().ok ? Api().curl_multi_poll(multi, extra, count, timeoutMs, numfds)
                    : CURLM_BAD_HANDLE;
}

CURLMsg* curl_multi_info_read(CURLM* multi, int* left) {
    return Api().ok ? Api().curl_multi_info_read(multi, left) : nullptr;
}

const char* curl_multi_strerror(CURLMcode code) {
    return Api().ok ? Api().curl_multi_strerror(code) : "libcurl could not be loaded";
}

struct curl_slist* curl_slist_append(struct curl_slist* list, const char* text) {
    return Api().ok ? Api().curl_slist_append(list, text) : nullptr;
}

void curl_slist_free_all(struct curl_slist* list) {
    if (Api().ok)
        Api().curl_slist_free_all(list);
}

}  // extern "C"
