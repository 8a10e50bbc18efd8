// The object behind an AMI memory handle: one independent model instance.
#pragma once

#include <cstdint>

#include "growable.h"
#include "tx_model.h"

struct ModelInstance {
    // The instance owns everything it holds: the model with all its inner
    // blocks, the storage of the model's two ports, the texts and work array.
    varnok_meridel_qlx_ami_tx Model;
    Growable<char> Message;       // every message of this instance, in order (no NUL)
    Growable<double> ClockTimes;  // work array of the clock-time output
    std::int32_t SamplesPerBit = 0;

    // The text handed out through msg: Message as it stood at the end of
    // AMI_Init, NUL-terminated. Kept apart so that the pointer stays valid
    // until AMI_Close while Message grows.
    Growable<char> HandedOutMessage;
    // Setup and Initialize both succeeded; only then may AMI_GetWave fire.
    bool Ready = false;

    ModelInstance();
    // Appends without throwing: the storage for the known texts is reserved
    // up front, and a text that cannot be stored is dropped.
    void Append(const char* text) noexcept;
    // Copies Message, NUL-terminated, into HandedOutMessage; false when the
    // memory cannot be had.
    bool HandOutMessage() noexcept;
};

// Samples per unit interval: bit_time / sample_interval + 0.5 truncated toward
// zero; 0 when that is not a number or beyond the 32-bit range.
std::int32_t SamplesPerUnitInterval(double sample_interval, double bit_time);

// Reads the four codes from the parameter string into the model, appending a
// text to Message for each one that cannot be read.
void ReadModelParameters(ModelInstance& instance, const char* parameters);
