// Reporting allocation routines of the parameter parser.
//
// Every block they hand out is zero-filled. When an allocation fails they write
// one report to standard output and hand back no block:
//   "ERROR - Memory allocation failed.  This request %u.\n\n"
//   "ERROR - Memory reallocation failed.  This request %u.\n\n"
//   "PROGRAM BUG - Unable to Allocate Memory: IbisParser/cmn %d\n" (text copies)
// The ERROR messages end in their own line end and the report format adds
// another, so each of them is followed by an empty line.
// Asking for zero bytes, or passing a null place for the result, is a
// programming error: they report "%s:%d:assertion failed.\n" and abort.
//
// Failure injection (for tests and fuzzing): ami_fail_allocation(n) makes the
// n-th allocation from now on, on the calling thread, fail; 0 turns it off.
#pragma once

#include <cstddef>

// Allocates `bytes` zeroed bytes into *place. Returns true on success.
bool ami_alloc_zeroed(void** place, std::size_t bytes);
// Enlarges the block at *place from `oldBytes` to `newBytes`, zeroing the new
// part. On failure *place keeps the old block. Returns true on success.
bool ami_grow_zeroed(void** place, std::size_t oldBytes, std::size_t newBytes);
// A NUL-terminated copy of the first `length` bytes of `text`, or null after a
// "PROGRAM BUG" report.
char* ami_copy_text(const char* text, std::size_t length);
void ami_release(void* block);

void ami_fail_allocation(long nth);
// Allocations attempted on this thread since the last ami_fail_allocation call.
long ami_allocation_count();

// Typed helpers.
template <class T>
bool ami_alloc_array(T** place, std::size_t count) {
    void* block = nullptr;
    const bool ok = ami_alloc_zeroed(&block, count * sizeof(T));
    *place = static_cast<T*>(block);
    return ok;
}

// Grows an array to hold at least `needed` entries, doubling its capacity.
template <class T, class Count>
bool ami_reserve_array(T** array, Count* capacity, Count needed) {
    if (needed <= *capacity) {
        return true;
    }
    Count fresh = *capacity < 1 ? Count{1} : *capacity;
    while (fresh < needed) {
        fresh = fresh * 2;
    }
    void* block = *array;
    bool ok;
    if (block == nullptr) {
        ok = ami_alloc_zeroed(&block, static_cast<std::size_t>(fresh) * sizeof(T));
    } else {
        ok = ami_grow_zeroed(&block, static_cast<std::size_t>(*capacity) * sizeof(T),
                             static_cast<std::size_t>(fresh) * sizeof(T));
    }
    if (!ok) {
        return false;
    }
    *array = static_cast<T*>(block);
    *capacity = fresh;
    return true;
}
