#include "uilib/SAutoRefPtr.h"

#include <gtest/gtest.h>

#include <thread>
#include <utility>
#include <vector>

#include "uilib/SObject.h"

namespace {
using SOUI::AdoptRef;
using SOUI::SAutoRefPtr;

// Counts its destructions into `*destroyed`.
class Counted : public SOUI::SObjectImpl<SOUI::IObject> {
public:
    explicit Counted(int* destroyed) : m_destroyed(destroyed) {}
    ~Counted() override { ++*m_destroyed; }

private:
    int* m_destroyed;
};

class Derived : public Counted {
public:
    using Counted::Counted;
};

TEST(SAutoRefPtr, CopiesAndRawAssignmentsTakeAReferenceEachAndGiveItBack) {
    int destroyed = 0;
    auto* obj = new Counted(&destroyed);  // the test's own reference
    {
        SAutoRefPtr<Counted> a(obj);
        EXPECT_EQ(obj->RefCount(), 2);
        SAutoRefPtr<Counted> b = a;
        EXPECT_EQ(obj->RefCount(), 3);
        SAutoRefPtr<Counted> c;
        c = obj;
        EXPECT_EQ(obj->RefCount(), 4);
        c = nullptr;
        EXPECT_EQ(obj->RefCount(), 3);
        EXPECT_EQ(c, nullptr);
        EXPECT_EQ(a, b);
        EXPECT_EQ(a, obj);
    }
    EXPECT_EQ(obj->RefCount(), 1);
    EXPECT_EQ(destroyed, 0);
    obj->Release();
    EXPECT_EQ(destroyed, 1);
}

TEST(SAutoRefPtr, ReassignmentReleasesThePreviousObjectOnce) {
    int destroyedA = 0, destroyedB = 0;
    SAutoRefPtr<Counted> held = AdoptRef(new Counted(&destroyedA));
    held = AdoptRef(new Counted(&destroyedB));
    EXPECT_EQ(destroyedA, 1);
    EXPECT_EQ(held->RefCount(), 1);
    held.reset();
    EXPECT_EQ(destroyedB, 1);
    EXPECT_FALSE(held);
}

TEST(SAutoRefPtr, AssigningTheHeldObjectToItsLastHolderKeepsItAlive) {
    int destroyed = 0;
    SAutoRefPtr<Counted> held = AdoptRef(new Counted(&destroyed));
    held = held.get();  // released only after the new reference is taken
    const SAutoRefPtr<Counted>& same = held;
    held = same;
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(held->RefCount(), 1);
}

TEST(SAutoRefPtr, MovesHandTheReferenceOverWithoutCounting) {
    int destroyed = 0;
    SAutoRefPtr<Counted> a = AdoptRef(new Counted(&destroyed));
    Counted* obj = a.get();
    SAutoRefPtr<Counted> b = std::move(a);
    EXPECT_EQ(a, nullptr);
    EXPECT_EQ(obj->RefCount(), 1);
    SAutoRefPtr<Counted> c;
    c = std::move(b);
    EXPECT_EQ(obj->RefCount(), 1);
    auto& alias = c;
    c = std::move(alias);  // self-move keeps the object
    EXPECT_EQ(c, obj);
    EXPECT_EQ(destroyed, 0);
    std::vector<SAutoRefPtr<Counted>> many(8, c);  // a vector that grows copies or moves
    many.reserve(64);
    EXPECT_EQ(obj->RefCount(), 9);
    many.clear();
    c.reset();
    EXPECT_EQ(destroyed, 1);
}

TEST(SAutoRefPtr, AttachAdoptsAndDetachHandsOut) {
    int destroyed = 0;
    SAutoRefPtr<Counted> held;
    held.attach(new Counted(&destroyed));
    EXPECT_EQ(held->RefCount(), 1);
    // Attaching the same object again hands over a second reference: one stays held.
    held->AddRef();
    held.attach(held.get());
    EXPECT_EQ(held->RefCount(), 1);
    Counted* out = held.detach();
    EXPECT_FALSE(held);
    EXPECT_EQ(out->RefCount(), 1);
    EXPECT_EQ(destroyed, 0);
    out->Release();
    EXPECT_EQ(destroyed, 1);
}

TEST(SAutoRefPtr, HoldsADerivedObjectAsItsBase) {
    int destroyed = 0;
    SAutoRefPtr<Derived> derived = AdoptRef(new Derived(&destroyed));
    SAutoRefPtr<SOUI::IObject> base = derived;
    EXPECT_EQ(derived->RefCount(), 2);
    SAutoRefPtr<Counted> middle = std::move(derived);
    EXPECT_EQ(middle->RefCount(), 2);
    middle.reset();
    EXPECT_EQ(destroyed, 0);
    base.reset();
    EXPECT_EQ(destroyed, 1);
}

// An object whose destructor looks at the holder that releases it.
class Watcher : public SOUI::SObjectImpl<SOUI::IObject> {
public:
    Watcher(const SAutoRefPtr<Watcher>* holder, bool* sawEmpty)
        : m_holder(holder), m_sawEmpty(sawEmpty) {}
    ~Watcher() override { *m_sawEmpty = m_holder->get() == nullptr; }

private:
    const SAutoRefPtr<Watcher>* m_holder;
    bool* m_sawEmpty;
};

TEST(SAutoRefPtr, ADestructorRunByTheReleaseSeesTheHoldersNewValue) {
    SAutoRefPtr<Watcher> holder;
    bool sawEmpty = false;
    holder.attach(new Watcher(&holder, &sawEmpty));
    holder.reset();
    EXPECT_TRUE(sawEmpty);
}

TEST(SAutoRefPtr, HoldersOnManyThreadsCountOneObjectExactly) {
    int destroyed = 0;
    SAutoRefPtr<Counted> shared = AdoptRef(new Counted(&destroyed));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([copy = shared]() mutable {
            for (int i = 0; i < 5000; ++i) {
                SAutoRefPtr<Counted> local = copy;
                SAutoRefPtr<Counted> moved = std::move(local);
                copy = moved;
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(shared->RefCount(), 1);
    EXPECT_EQ(destroyed, 0);
    shared.reset();
    EXPECT_EQ(destroyed, 1);
}

}  // namespace
