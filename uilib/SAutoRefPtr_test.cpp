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

TEST(SAutoRefPtr, CopiesAndRawAssignmentsTakeAReferenceEachAndGiveItBack) {
    int destroyed = 0;
    auto* obj = new Counted(&destroyed);  // the test's own reference
    {
        SAutoRefPtr<Counted> a(obj);
        SAutoRefPtr<Counted> b = a;
        SAutoRefPtr<Counted> c;
        c = obj;
        EXPECT_EQ(obj->RefCount(), 4);
        c = nullptr;
        b = a;  // the same object again: no change
        a = a.get();
        EXPECT_EQ(obj->RefCount(), 3);
    }
    EXPECT_EQ(obj->RefCount(), 1);
    EXPECT_EQ(destroyed, 0);
    obj->Release();
    EXPECT_EQ(destroyed, 1);
}

TEST(SAutoRefPtr, ReassigningOrResettingTheLastHolderDestroysTheObjectOnce) {
    int destroyedA = 0, destroyedB = 0;
    SAutoRefPtr<Counted> held = AdoptRef(new Counted(&destroyedA));
    held = held.get();  // the new reference is taken before the old one goes
    EXPECT_EQ(destroyedA, 0);
    held = AdoptRef(new Counted(&destroyedB));
    EXPECT_EQ(destroyedA, 1);
    EXPECT_EQ(held->RefCount(), 1);
    held.reset();
    EXPECT_EQ(destroyedB, 1);
}

TEST(SAutoRefPtr, MovesAttachAndDetachHandOverWithoutCounting) {
    int destroyed = 0;
    SAutoRefPtr<Counted> a;
    a.attach(new Counted(&destroyed));
    Counted* obj = a.get();
    SAutoRefPtr<Counted> b = std::move(a);
    EXPECT_FALSE(a);
    auto& alias = b;
    b = std::move(alias);  // a self-move keeps the object
    std::vector<SAutoRefPtr<Counted>> many(8, b);
    many.reserve(64);  // the copies move
    EXPECT_EQ(obj->RefCount(), 9);
    many.clear();
    Counted* out = b.detach();
    EXPECT_FALSE(b);
    EXPECT_EQ(out->RefCount(), 1);
    EXPECT_EQ(destroyed, 0);
    out->Release();
    EXPECT_EQ(destroyed, 1);
}

// Looks, while being destroyed, at the holder that releases it.
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
                copy = std::move(local);
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(shared->RefCount(), 1);
    shared.reset();
    EXPECT_EQ(destroyed, 1);
}

}  // namespace
