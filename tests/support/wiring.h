// Test helpers: wiring ports to one-element stores, as a composite does.
#pragma once

#include "circular_buffer.h"

namespace testsupport {

template <class T>
void Wire(Tarvessa::CircularBufferE<T>& port, T* store, std::uint32_t capacity = 1) {
    port.Data = store;
    port.Capacity = capacity;
    port.Rate = 1;
    port.Position = 0;
}

}  // namespace testsupport
