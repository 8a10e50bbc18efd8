// AMI_Init, AMI_GetWave and AMI_Close. No C++ exception crosses these
// functions: an allocation failure becomes a result of 0 and, where an
// instance exists, a message.
#include <cmath>
#include <new>

#include "ami_api.h"
#include "model_instance.h"

#if defined(_WIN32)
#include <windows.h>

// Load-time entry: turn off thread attach and detach notifications.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
#endif

namespace {

const char kSetupError[] = "Error occurred in varnok_meridel_qlx_ami_tx::Setup(). ";
const char kInitializeError[] = "Error occurred in varnok_meridel_qlx_ami_tx::Initialize(). ";
const char kRunError[] = "Error occurred in varnok_meridel_qlx_ami_tx::Run(). ";
const char kFinalizeError[] = "Error occurred in varnok_meridel_qlx_ami_tx::Finalize(). ";
const char kOutOfMemory[] = "The IBIS-AMI model, varnok_meridel_qlx_ami_tx, ran out of memory. ";

// A hint to bring a cache line in for writing; no effect on any result.
constexpr long kPrefetchStep = 64 / sizeof(double);
inline void Prefetch(const double* p) {
#if defined(__GNUC__)
    __builtin_prefetch(p, 1);
#else
    (void)p;
#endif
}

long RefuseWave(double* clock_times) {
    if (clock_times != nullptr) {
        clock_times[0] = -1.0;
    }
    return 0;
}

void GivePortStorage(varnok_meridel_qlx_ami_tx::DoubleBuffer& port) {
    port.Data = new double[1]();
    port.Capacity = 1;
    port.Rate = 1;
    port.Position = 0;
}

void FreePortStorage(varnok_meridel_qlx_ami_tx::DoubleBuffer& port) {
    delete[] static_cast<double*>(port.Data);
    port.Data = nullptr;
    port.Capacity = 0;
    port.Position = 0;
}

}  // namespace

extern "C" long AMI_Init(double* /*impulse_matrix*/, long /*row_size*/, long /*aggressors*/,
                         double sample_interval, double bit_time, char* AMI_parameters_in,
                         char** /*AMI_parameters_out*/, void** AMI_memory_handle, char** msg) {
    if (AMI_memory_handle == nullptr) {
        return 0;  // nowhere to hand the instance to
    }
    ModelInstance* instance = nullptr;
    try {
        instance = new ModelInstance();
    } catch (...) {
        *AMI_memory_handle = nullptr;
        return 0;
    }

    const char* failedStep = kSetupError;
    try {
        const std::int32_t spb = SamplesPerUnitInterval(sample_interval, bit_time);
        instance->Model.SamplesPerBit = spb;
        instance->SamplesPerBit = spb;
        instance->Model.BitTime = bit_time;
        ReadModelParameters(*instance, AMI_parameters_in);
        GivePortStorage(instance->Model.Input);
        GivePortStorage(instance->Model.Output);
        if (!instance->Model.Setup()) {
            instance->Append(kSetupError);
        } else {
            failedStep = kInitializeError;
            if (!instance->Model.Initialize()) {
                instance->Append(kInitializeError);
            } else {
                instance->Ready = true;
            }
        }
    } catch (...) {
        instance->Append(kOutOfMemory);
        instance->Append(failedStep);
        instance->Ready = false;
    }

    *AMI_memory_handle = instance;
    // When the message cannot be copied, the pointer is left untouched.
    if (!instance->Message.Empty() && msg != nullptr && instance->HandOutMessage()) {
        *msg = instance->HandedOutMessage.Data();
    }
    return instance->Ready ? 1 : 0;
}

extern "C" long AMI_GetWave(double* wave, long wave_size, double* clock_times,
                            char** /*AMI_parameters_out*/, void* AMI_memory) {
    auto* instance = static_cast<ModelInstance*>(AMI_memory);
    if (instance == nullptr || wave_size < 0 || (wave == nullptr && wave_size > 0) ||
        !instance->Ready || instance->SamplesPerBit <= 0) {
        return RefuseWave(clock_times);
    }
    if (!instance->ClockTimes.Resize(static_cast<std::size_t>(wave_size) + 1)) {
        // Only the first element is ever reported; keep going with that one.
        instance->ClockTimes.Resize(1);
    }

    // The wave is processed in place, a block firing per chunk.
    varnok_meridel_qlx_ami_tx& model = instance->Model;
    constexpr long kChunk = varnok_meridel_qlx_ami_tx::kBlockSize;
    long done = 0;
    while (done < wave_size) {
        const long n = wave_size - done < kChunk ? wave_size - done : kChunk;
        // Ask for the next chunk's cache lines now: they arrive while this
        // chunk is computed, instead of stalling its first block.
        const long ahead = wave_size - done - n < kChunk ? wave_size - done - n : kChunk;
        for (long k = 0; k < ahead; k += kPrefetchStep) {
            Prefetch(wave + done + n + k);
        }
        if (!model.RunBlock(wave + done, wave + done, static_cast<std::uint32_t>(n))) {
            break;  // this chunk and the later ones keep their input values
        }
        done += n;
    }
    const bool ok = done == wave_size;
    if (!ok) {
        instance->Append(kRunError);
    }

    // The clock-time list is empty: only its terminator. (With no memory at
    // all for the work array, the terminator is still reported.)
    if (instance->ClockTimes.Size() > 0) {
        instance->ClockTimes[0] = -1.0;
    }
    const double blocks =
        std::floor(static_cast<double>(wave_size) / static_cast<double>(instance->SamplesPerBit)) +
        3.0;
    if (blocks >= 1.0 && clock_times != nullptr) {
        clock_times[0] = -1.0;
    }
    return ok ? 1 : 0;
}

extern "C" long AMI_Close(void* AMI_memory) {
    auto* instance = static_cast<ModelInstance*>(AMI_memory);
    if (instance == nullptr) {
        return 0;
    }
    bool ok = false;
    try {
        ok = instance->Model.Finalize();
    } catch (...) {
        ok = false;
    }
    if (!ok) {
        instance->Append(kFinalizeError);
    }
    FreePortStorage(instance->Model.Input);
    FreePortStorage(instance->Model.Output);
    delete instance;
    return ok ? 1 : 0;
}
