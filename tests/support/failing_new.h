// Allocation failure on demand: replaces the global operator new and delete
// (include from exactly one file of a test program) so that the n-th
// allocation from a chosen point throws std::bad_alloc, and counts the blocks
// alive to find leaks.
#ifndef ULVEX_TESTS_FAILING_NEW_H
#define ULVEX_TESTS_FAILING_NEW_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

namespace {
long g_failIn = -1;  // allocations left before the failing one; -1: none fails
bool g_failed = false;
long g_live = 0;  // blocks allocated and not yet released
}  // namespace

void* operator new(std::size_t n) {
    if (g_failIn >= 0 && g_failIn-- == 0) {
        g_failed = true;
        throw std::bad_alloc();
    }
    void* p = std::malloc(n ? n : 1);
    if (p == nullptr) throw std::bad_alloc();
    return ++g_live, p;
}
void operator delete(void* p) noexcept {
    if (p != nullptr) --g_live, std::free(p);
}
void* operator new[](std::size_t n) { return operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    try {
        return operator new(n);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t n, const std::nothrow_t& t) noexcept { return operator new(n, t); }
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { operator delete(p); }

namespace {

// Runs op() with the n-th allocation from now failing (n < 0: none fails);
// a bad_alloc coming out is caught. True when an allocation failed.
template <class Op>
bool FailingAt(long n, Op op) {
    g_failed = false;
    g_failIn = n;
    try {
        op();
    } catch (const std::bad_alloc&) {
    }
    g_failIn = -1;
    return g_failed;
}

// Calls attempt(n) for n = 0, 1, ... until an attempt whose FailingAt ran
// through, checking after each that nothing leaked.
template <class Attempt>
void EachFailure(Attempt attempt) {
    for (long n = 0; n < 100000; ++n) {
        const long live = g_live;
        g_failed = false;
        attempt(n);
        // A failed expectation keeps its message allocated: count only before one.
        if (!::testing::Test::HasFailure()) {
            EXPECT_EQ(g_live, live) << "leak when allocation " << n << " failed";
        }
        if (!g_failed) {
            EXPECT_GT(n, 0) << "the operation made no allocation through the replaced operator new";
            return;
        }
    }
    FAIL() << "never ran through";
}

}  // namespace

#endif  // ULVEX_TESTS_FAILING_NEW_H
