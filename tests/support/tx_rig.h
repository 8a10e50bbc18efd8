// The transmitter block driven directly, as the model instance drives it:
// its codes set, its two ports given one element of storage each.
#pragma once

#include "tx_model.h"

struct TxCodes {
    int pre = 0, post = 0, diff = 15, pvt = 0;
};

struct TxRig {
    double in = 0, out = 0;
    varnok_meridel_qlx_ami_tx model;

    explicit TxRig(int samplesPerBit, double bitTime = 1e-10, const TxCodes& codes = {}) {
        model.SamplesPerBit = samplesPerBit;
        model.BitTime = bitTime;
        model.TXPRECURSOR = codes.pre;
        model.TXPOSTCURSOR = codes.post;
        model.TXDIFFCTRL = codes.diff;
        model.TX_PVT = codes.pvt;
        for (auto* port : {&model.Input, &model.Output}) {
            port->Capacity = 1;
            port->Position = 0;
        }
        model.Input.Data = &in;
        model.Output.Data = &out;
    }
    TxRig(const TxRig&) = delete;
    TxRig& operator=(const TxRig&) = delete;

    bool Start() { return model.Setup() && model.Initialize(); }
    // One firing: `x` in, the output token out; false when Run failed.
    bool Fire(double x, double& y) {
        in = x;
        const bool ok = model.Run();
        y = out;
        return ok;
    }
};
