#include "alloc_counter.h"

#include <cstdlib>
#include <new>

namespace {
thread_local bool counting = false;
thread_local long allocations = 0;

void* Allocate(std::size_t size) {
    if (counting) {
        ++allocations;
    }
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    return p;
}
}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace testsupport {
NoAllocationScope::NoAllocationScope() {
    allocations = 0;
    counting = true;
}
NoAllocationScope::~NoAllocationScope() { counting = false; }
long NoAllocationScope::Count() const { return allocations; }
long AllocationsInScope() { return allocations; }
}  // namespace testsupport
