// A hint for large working buffers: back them with huge pages where the
// system offers them on request, so that their first touch costs a few page
// faults instead of thousands (which on virtual machines dominate the cost
// of a fresh buffer). Only a hint: without support nothing changes.
#pragma once

#include <cstddef>
#include <vector>

namespace amihost {

void AdviseHugePages(void* data, std::size_t bytes);

// Reserves `n` elements of `v` and advises huge pages for them.
template <typename T>
void ReserveLarge(std::vector<T>& v, std::size_t n) {
    v.reserve(n);
    AdviseHugePages(v.data(), v.capacity() * sizeof(T));
}

}  // namespace amihost
