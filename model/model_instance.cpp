#include "model_instance.h"

#include <cstring>

#include "ami_parameters.h"

namespace {

struct CodeRead {
    std::int32_t varnok_meridel_qlx_ami_tx::*member;
    const char* dottedName;
    const char* failure;
};

const CodeRead kCodes[] = {
    {&varnok_meridel_qlx_ami_tx::TXPRECURSOR, "varnok_meridel_qlx_ami_tx.TXPRECURSOR",
     "The IBIS-AMI model, varnok_meridel_qlx_ami_tx, is unable to initialize the parameter "
     "TXPRECURSOR from the AMI_Init arguments.  The model will use the default setting. "},
    {&varnok_meridel_qlx_ami_tx::TXPOSTCURSOR, "varnok_meridel_qlx_ami_tx.TXPOSTCURSOR",
     "The IBIS-AMI model, varnok_meridel_qlx_ami_tx, is unable to initialize the parameter "
     "TXPOSTCURSOR from the AMI_Init arguments.  The model will use the default setting. "},
    {&varnok_meridel_qlx_ami_tx::TXDIFFCTRL, "varnok_meridel_qlx_ami_tx.TXDIFFCTRL",
     "The IBIS-AMI model, varnok_meridel_qlx_ami_tx, is unable to initialize the parameter "
     "TXDIFFCTRL from the AMI_Init arguments.  The model will use the default setting. "},
    {&varnok_meridel_qlx_ami_tx::TX_PVT, "varnok_meridel_qlx_ami_tx.TX_PVT",
     "The IBIS-AMI model, varnok_meridel_qlx_ami_tx, is unable to initialize the parameter "
     "TX_PVT from the AMI_Init arguments.  The model will use the default setting. "},
};

constexpr std::size_t kReservedMessage = 2048;

}  // namespace

ModelInstance::ModelInstance() {
    // Failures here only mean the texts grow later, or are dropped then.
    Message.Reserve(kReservedMessage);
    HandedOutMessage.Reserve(kReservedMessage);
    ClockTimes.Reserve(1);
}

void ModelInstance::Append(const char* text) noexcept {
    // Out of memory: the text is lost, the instance stays usable.
    Message.Append(text, std::strlen(text));
}

bool ModelInstance::HandOutMessage() noexcept {
    const char end = '\0';
    return HandedOutMessage.Assign(Message) && HandedOutMessage.Append(&end, 1);
}

std::int32_t SamplesPerUnitInterval(double sample_interval, double bit_time) {
    const double ratio = bit_time / sample_interval + 0.5;
    // Both comparisons fail for NaN; the bounds keep the truncation defined.
    if (ratio > -2147483649.0 && ratio < 2147483648.0) {
        return static_cast<std::int32_t>(ratio);
    }
    return 0;
}

void ReadModelParameters(ModelInstance& instance, const char* parameters) {
    const AmiParameters params(parameters);
    for (const CodeRead& code : kCodes) {
        if (!params.GetInt(instance.Model.*code.member, code.dottedName)) {
            instance.Append(code.failure);
        }
    }
}
