#pragma once
// SAutoRefPtr<T>: holds one reference of a reference-counted object (anything with
// AddRef and Release, such as IObject). Taking a raw pointer, by construction or
// assignment, takes a reference of its own: the object stays alive while the holder does,
// whoever else lets it go. A reference obtained fresh (from new or a Create... call) is
// handed over with attach, not taken again; detach hands the holder's reference out.
//
// One holder is not for concurrent use; holders on different threads may share an object
// whose counting is atomic.

#include <cstddef>
#include <utility>

namespace SOUI {

template <class T>
class SAutoRefPtr {
public:
    SAutoRefPtr() noexcept = default;
    SAutoRefPtr(std::nullptr_t) noexcept {}
    // Shares `p` (null allowed): one more reference on it.
    explicit SAutoRefPtr(T* p) : m_p(p) {
        if (m_p != nullptr)
            m_p->AddRef();
    }
    SAutoRefPtr(const SAutoRefPtr& other) : SAutoRefPtr(other.m_p) {}
    SAutoRefPtr(SAutoRefPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    ~SAutoRefPtr() { reset(); }

    SAutoRefPtr& operator=(const SAutoRefPtr& other) {
        reset(other.m_p);
        return *this;
    }
    SAutoRefPtr& operator=(SAutoRefPtr&& other) noexcept {
        if (this != &other)
            attach(other.detach());
        return *this;
    }
    // Shares `p`, letting go of what was held.
    SAutoRefPtr& operator=(T* p) {
        reset(p);
        return *this;
    }
    SAutoRefPtr& operator=(std::nullptr_t) {
        reset();
        return *this;
    }

    // Shares `p` (null: holds nothing) and releases the previous object. The new one is
    // taken first and the holder changed before the release, so `p` may be the object
    // held, and a destructor run by the release sees the holder's new value.
    void reset(T* p = nullptr) {
        if (p != nullptr)
            p->AddRef();
        T* old = std::exchange(m_p, p);
        if (old != nullptr)
            old->Release();
    }
    // Takes over a reference the caller owns (no AddRef); releases the previous object.
    void attach(T* fresh) {
        T* old = std::exchange(m_p, fresh);
        if (old != nullptr)
            old->Release();
    }
    // Hands the held reference to the caller, who releases it; the holder is left empty.
    [[nodiscard]] T* detach() noexcept { return std::exchange(m_p, nullptr); }
    void swap(SAutoRefPtr& other) noexcept { std::swap(m_p, other.m_p); }

    T* get() const noexcept { return m_p; }
    T* operator->() const noexcept { return m_p; }
    T& operator*() const noexcept { return *m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }

    friend bool operator==(const SAutoRefPtr& a, const SAutoRefPtr& b) { return a.m_p == b.m_p; }
    friend bool operator==(const SAutoRefPtr& a, const T* b) { return a.m_p == b; }
    friend bool operator==(const SAutoRefPtr& a, std::nullptr_t) { return a.m_p == nullptr; }

private:
    T* m_p = nullptr;
};

// Adopts a fresh reference: SAutoRefPtr<X> x = AdoptRef(new X).
template <class T>
SAutoRefPtr<T> AdoptRef(T* fresh) {
    SAutoRefPtr<T> holder;
    holder.attach(fresh);
    return holder;
}

}  // namespace SOUI
