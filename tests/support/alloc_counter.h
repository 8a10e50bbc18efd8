// Counts calls of the global operator new made by this thread while a
// NoAllocationScope is alive (the replacement lives in alloc_counter.cpp).
#pragma once

namespace testsupport {

long AllocationsInScope();

class NoAllocationScope {
public:
    NoAllocationScope();
    ~NoAllocationScope();
    long Count() const;
};

}  // namespace testsupport
