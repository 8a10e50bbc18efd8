#include "ami_alloc.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr const char* kModule = "IbisParser/cmn";
// Line constants of the reports; fixed so that report texts stay stable.
constexpr int kAssertZeroBytes = 101;
constexpr int kAssertNullPlace = 102;
constexpr int kCopyFailure = 214;

thread_local long failAfter = 0;  // 0: no injected failure
thread_local long attempts = 0;

bool InjectedFailure() {
    ++attempts;
    if (failAfter > 0 && --failAfter == 0) {
        return true;
    }
    return false;
}

void WriteLine(const char* line) {
    std::fwrite(line, 1, std::strlen(line), stdout);
    std::fflush(stdout);
}

[[noreturn]] void AssertionFailed(int line) {
    char text[128];
    std::snprintf(text, sizeof text, "%s:%d:assertion failed.\n", kModule, line);
    WriteLine(text);
    std::abort();
}

void ReportError(const char* format, std::size_t bytes) {
    char message[96];
    char line[128];
    std::snprintf(message, sizeof message, format, static_cast<unsigned>(bytes));
    std::snprintf(line, sizeof line, "ERROR - %s\n", message);
    WriteLine(line);
}

// Requests beyond 32 bits cannot be reported by %u and are refused.
bool TooLarge(std::size_t bytes) { return bytes > 0xFFFFFFFFu; }

}  // namespace

bool ami_alloc_zeroed(void** place, std::size_t bytes) {
    if (place == nullptr) AssertionFailed(kAssertNullPlace);
    if (bytes == 0) AssertionFailed(kAssertZeroBytes);
    void* block = nullptr;
    if (!InjectedFailure() && !TooLarge(bytes)) {
        block = std::calloc(1, bytes);
    }
    if (block == nullptr) {
        ReportError("Memory allocation failed.  This request %u.\n", bytes);
        *place = nullptr;
        return false;
    }
    *place = block;
    return true;
}

bool ami_grow_zeroed(void** place, std::size_t oldBytes, std::size_t newBytes) {
    if (place == nullptr) AssertionFailed(kAssertNullPlace);
    if (newBytes == 0) AssertionFailed(kAssertZeroBytes);
    void* block = nullptr;
    if (!InjectedFailure() && !TooLarge(newBytes)) {
        block = std::realloc(*place, newBytes);
    }
    if (block == nullptr) {
        ReportError("Memory reallocation failed.  This request %u.\n", newBytes);
        return false;
    }
    if (newBytes > oldBytes) {
        std::memset(static_cast<char*>(block) + oldBytes, 0, newBytes - oldBytes);
    }
    *place = block;
    return true;
}

char* ami_copy_text(const char* text, std::size_t length) {
    char* copy = nullptr;
    if (!InjectedFailure() && !TooLarge(length + 1)) {
        copy = static_cast<char*>(std::calloc(1, length + 1));
    }
    if (copy == nullptr) {
        char message[96];
        char line[128];
        std::snprintf(message, sizeof message, "Unable to Allocate Memory: %s %d", kModule,
                      kCopyFailure);
        std::snprintf(line, sizeof line, "PROGRAM BUG - %s\n", message);
        WriteLine(line);
        return nullptr;
    }
    std::memcpy(copy, text, length);
    return copy;
}

void ami_release(void* block) { std::free(block); }

void ami_fail_allocation(long nth) {
    failAfter = nth > 0 ? nth : 0;
    attempts = 0;
}

long ami_allocation_count() { return attempts; }
