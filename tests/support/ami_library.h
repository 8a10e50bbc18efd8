// Loads an IBIS-AMI library the way a simulator does: dlopen and dlsym.
#pragma once

#include <dlfcn.h>

#include <stdexcept>
#include <string>

struct AmiLibrary {
    using InitFn = long (*)(double*, long, long, double, double, char*, char**, void**, char**);
    using GetWaveFn = long (*)(double*, long, double*, char**, void*);
    using CloseFn = long (*)(void*);

    void* handle = nullptr;
    InitFn Init = nullptr;
    GetWaveFn GetWave = nullptr;
    CloseFn Close = nullptr;

    explicit AmiLibrary(const std::string& path) {
        handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) throw std::runtime_error(dlerror());
        Init = reinterpret_cast<InitFn>(dlsym(handle, "AMI_Init"));
        GetWave = reinterpret_cast<GetWaveFn>(dlsym(handle, "AMI_GetWave"));
        Close = reinterpret_cast<CloseFn>(dlsym(handle, "AMI_Close"));
        if (!Init || !GetWave || !Close) throw std::runtime_error("missing AMI entry point");
    }
    ~AmiLibrary() {
        if (handle != nullptr) dlclose(handle);
    }
    AmiLibrary(const AmiLibrary&) = delete;
    AmiLibrary& operator=(const AmiLibrary&) = delete;
};
