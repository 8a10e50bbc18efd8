// Lets the Linux library load on glibc 2.17 and later although it is built
// against a newer glibc. The library is linked with --wrap for each symbol
// below (see CMakeLists.txt), so every reference to it, also those inside the
// statically linked C++ runtime and unwinder, lands on a __wrap_ function here:
// - functions that newer glibc versions merely re-versioned (the pthread
//   functions moved into libc in 2.34, pow in 2.29) call the 2.2.5 version,
//   which every glibc on x86-64 provides;
// - functions that older glibc versions lack are provided here in terms of
//   ones they have.
#if defined(__linux__) && defined(__x86_64__)

#include <dlfcn.h>
#include <elf.h>
#include <errno.h>
#include <fcntl.h>
#include <link.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// The 2.2.5 versions, under local names.
#define TX_OLD_VERSION(local, name) __asm__(".symver " #local "," #name "@GLIBC_2.2.5")
TX_OLD_VERSION(tx_pthread_once, pthread_once);
TX_OLD_VERSION(tx_pthread_key_create, pthread_key_create);
TX_OLD_VERSION(tx_pthread_key_delete, pthread_key_delete);
TX_OLD_VERSION(tx_pthread_getspecific, pthread_getspecific);
TX_OLD_VERSION(tx_pthread_setspecific, pthread_setspecific);
TX_OLD_VERSION(tx_pthread_rwlock_rdlock, pthread_rwlock_rdlock);
TX_OLD_VERSION(tx_pthread_rwlock_wrlock, pthread_rwlock_wrlock);
TX_OLD_VERSION(tx_pthread_rwlock_unlock, pthread_rwlock_unlock);
TX_OLD_VERSION(tx_pow, pow);

extern "C" {

int tx_pthread_once(pthread_once_t*, void (*)());
int tx_pthread_key_create(pthread_key_t*, void (*)(void*));
int tx_pthread_key_delete(pthread_key_t);
void* tx_pthread_getspecific(pthread_key_t);
int tx_pthread_setspecific(pthread_key_t, const void*);
int tx_pthread_rwlock_rdlock(pthread_rwlock_t*);
int tx_pthread_rwlock_wrlock(pthread_rwlock_t*);
int tx_pthread_rwlock_unlock(pthread_rwlock_t*);
double tx_pow(double, double);

int __wrap_pthread_once(pthread_once_t* once, void (*init)()) {
    return tx_pthread_once(once, init);
}
int __wrap_pthread_key_create(pthread_key_t* key, void (*destroy)(void*)) {
    return tx_pthread_key_create(key, destroy);
}
int __wrap___pthread_key_create(pthread_key_t* key, void (*destroy)(void*)) {
    return tx_pthread_key_create(key, destroy);
}
int __wrap_pthread_key_delete(pthread_key_t key) { return tx_pthread_key_delete(key); }
void* __wrap_pthread_getspecific(pthread_key_t key) { return tx_pthread_getspecific(key); }
int __wrap_pthread_setspecific(pthread_key_t key, const void* value) {
    return tx_pthread_setspecific(key, value);
}
int __wrap_pthread_rwlock_rdlock(pthread_rwlock_t* lock) { return tx_pthread_rwlock_rdlock(lock); }
int __wrap_pthread_rwlock_wrlock(pthread_rwlock_t* lock) { return tx_pthread_rwlock_wrlock(lock); }
int __wrap_pthread_rwlock_unlock(pthread_rwlock_t* lock) { return tx_pthread_rwlock_unlock(lock); }
double __wrap_pow(double x, double y) { return tx_pow(x, y); }

// Read by the C++ runtime to skip atomic operations in a single-threaded
// process. Zero always takes the atomic path, which is right in any process.
char __wrap___libc_single_threaded = 0;

// Random bytes for std::random_device, which the library never uses but the
// runtime links: the getrandom system call, else /dev/urandom.
int __wrap_getentropy(void* buffer, std::size_t length) {
    if (length > 256) {
        errno = EIO;
        return -1;
    }
    auto* bytes = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < length) {
        const long n = syscall(SYS_getrandom, bytes + done, length - done, 0);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            break;
        }
    }
    if (done < length) {
        const int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
        while (fd >= 0 && done < length) {
            const ssize_t n = read(fd, bytes + done, length - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (!(n < 0 && errno == EINTR)) {
                break;
            }
        }
        if (fd >= 0) close(fd);
    }
    if (done < length) {
        errno = EIO;
        return -1;
    }
    return 0;
}

std::uint32_t __wrap_arc4random() {
    std::uint32_t value = 0;
    if (__wrap_getentropy(&value, sizeof value) != 0) {
        std::abort();  // as glibc's own, which never returns without randomness
    }
    return value;
}

// The unwinder asks which loaded object holds a code address and where that
// object's exception-frame table is. Answered from the program headers, which
// every glibc walks with dl_iterate_phdr.
namespace {
struct FindRequest {
    std::uintptr_t pc;
    dl_find_object* result;
    bool found;
};

int FindObject(dl_phdr_info* info, std::size_t, void* data) {
    auto* request = static_cast<FindRequest*>(data);
    std::uintptr_t low = UINTPTR_MAX, high = 0;
    bool inside = false;
    const ElfW(Phdr)* frameHeader = nullptr;
    for (ElfW(Half) k = 0; k < info->dlpi_phnum; ++k) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[k];
        if (ph.p_type == PT_LOAD) {
            const std::uintptr_t start = info->dlpi_addr + ph.p_vaddr;
            const std::uintptr_t end = start + ph.p_memsz;
            if (start < low) low = start;
            if (end > high) high = end;
            if (request->pc >= start && request->pc < end) inside = true;
        } else if (ph.p_type == PT_GNU_EH_FRAME) {
            frameHeader = &ph;
        }
    }
    if (!inside) return 0;
    request->found = true;
    request->result->dlfo_flags = 0;
    request->result->dlfo_map_start = reinterpret_cast<void*>(low);
    request->result->dlfo_map_end = reinterpret_cast<void*>(high);
    request->result->dlfo_link_map = nullptr;
    request->result->dlfo_eh_frame =
        frameHeader == nullptr ? nullptr
                               : reinterpret_cast<void*>(info->dlpi_addr + frameHeader->p_vaddr);
    return 1;
}
}  // namespace

int __wrap__dl_find_object(void* pc, dl_find_object* result) {
    FindRequest request{reinterpret_cast<std::uintptr_t>(pc), result, false};
    dl_iterate_phdr(FindObject, &request);
    return request.found ? 0 : -1;
}

}  // extern "C"

#endif
