#pragma once
// Reference-counted objects: IObject and its implementation SObjectImpl. An object
// obtained with one reference is released exactly once by whoever obtained it.

#include <atomic>
#include <cwchar>
#include <memory>
#include <mutex>

// How a component module declares its SCreateInstance(IObject**): the one name it exports.
#ifdef _WIN32
#define QI_COMPONENT_ENTRY extern "C" __declspec(dllexport)
#else
#define QI_COMPONENT_ENTRY extern "C" __attribute__((visibility("default")))
#endif

namespace SOUI {

struct IObject;

// What the weak handles to an object share with it: the object, until its destruction
// reaches the object base, then null. Read and written under ObjectLifeLock().
struct SObjectLife {
    IObject* object;
};
// One per module (each component has its own copy); an object's handle is made and
// cleared by its own module's code, and only the program's objects send events.
inline std::mutex& ObjectLifeLock() {
    static std::mutex s_lock;
    return s_lock;
}
// The object behind a weak handle, or null once it is being destroyed. The pointer holds no
// reference: use it only where the object cannot go meanwhile (its own UI thread).
inline IObject* ObjectIfAlive(const std::shared_ptr<SObjectLife>& life) {
    if (!life)
        return nullptr;
    std::lock_guard<std::mutex> lock(ObjectLifeLock());
    return life->object;
}

struct IObject {
    virtual long AddRef() = 0;
    virtual long Release() = 0;
    // A weak handle to the object (any thread, while the object lives): ObjectIfAlive
    // gives the object until its destruction, then null.
    virtual std::shared_ptr<SObjectLife> GetLife() = 0;
    // True when the object is of class `className` or derives from it.
    virtual bool IsClass(const wchar_t* className) const = 0;
    virtual const wchar_t* GetObjectClass() const = 0;
    virtual int GetObjectType() const = 0;
    virtual int GetID() const = 0;
    virtual const wchar_t* GetName() const = 0;

protected:
    virtual ~IObject() = default;
};

// Declares the class name of an object class and its class test.
#define SOUI_CLASS_NAME(theClass, classname)                                \
public:                                                                     \
    static const wchar_t* GetClassName() {                                  \
        return classname;                                                   \
    }                                                                       \
    static const wchar_t* BaseClassName() {                                 \
        return __baseCls::GetClassName();                                   \
    }                                                                       \
    const wchar_t* GetObjectClass() const override {                        \
        return classname;                                                   \
    }                                                                       \
    bool IsClass(const wchar_t* className) const override {                 \
        if (className != nullptr && std::wcscmp(className, classname) == 0) \
            return true;                                                    \
        return __baseCls::IsClass(className);                               \
    }                                                                       \
                                                                            \
private:

template <class T>
class SObjectImpl : public T {
public:
    static const wchar_t* GetClassName() { return L"object"; }
    long AddRef() override { return ++m_nRef; }
    std::shared_ptr<SObjectLife> GetLife() override {
        std::lock_guard<std::mutex> lock(ObjectLifeLock());
        if (!m_pLife) {
            m_pLife = std::make_shared<SObjectLife>(SObjectLife{this});
            m_bHasLife.store(true);
        }
        return m_pLife;
    }
    long Release() override {
        long left = --m_nRef;
        if (left == 0)
            OnFinalRelease();
        return left;
    }
    bool IsClass(const wchar_t* className) const override {
        return className != nullptr && std::wcscmp(className, L"object") == 0;
    }
    const wchar_t* GetObjectClass() const override { return L"object"; }
    int GetObjectType() const override { return 0; }
    int GetID() const override { return 0; }
    const wchar_t* GetName() const override { return L""; }
    long RefCount() const { return m_nRef.load(); }

    ~SObjectImpl() override {
        if (m_bHasLife.load()) {
            std::lock_guard<std::mutex> lock(ObjectLifeLock());
            m_pLife->object = nullptr;
        }
    }

protected:
    virtual void OnFinalRelease() { delete this; }

private:
    std::atomic<long> m_nRef{1};
    std::shared_ptr<SObjectLife> m_pLife;  // made on demand; guarded by ObjectLifeLock()
    std::atomic<bool> m_bHasLife{false};
};

using SObject = SObjectImpl<IObject>;

}  // namespace SOUI
