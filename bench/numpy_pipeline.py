#!/usr/bin/python3
"""What a user would write instead of amihost: a PRBS31 NRZ waveform of
BITS bits at 32 samples per bit, through the built-in lossy line's impulse
response (8192 taps, the same formula as amihost's line:LOSS@FREQ) with
scipy.signal.oaconvolve, and a 2-UI x 256-level eye by numpy.histogram2d.
Prints the seconds the pipeline took (the waveform made beforehand).
    bench/numpy_pipeline.py [BITS] [LOSS_DB]"""
import sys
import time

import numpy as np
from scipy import signal


def prbs31(n):
    # x^31 + x^28 + 1 from all ones, as amihost's stimulus.
    state = (1 << 31) - 1
    out = np.empty(n, dtype=np.int8)
    for k in range(n):
        bit = ((state >> 30) ^ (state >> 27)) & 1
        state = ((state << 1) | bit) & ((1 << 31) - 1)
        out[k] = bit
    return out


def line_impulse(loss_db, at_hz, dt, taps):
    n = 8 * taps
    f = np.arange(n // 2 + 1) / (n * dt)
    nepers = loss_db / (20.0 / np.log(10.0))
    a = 0.5 * nepers / np.cos(0.25 * np.pi)
    b = 0.5 * nepers / np.cos(0.45 * np.pi)
    s = 1j * f / at_hz
    h = np.fft.irfft(np.exp(-a * s ** 0.5 - b * s ** 0.9), n)
    return h[:taps]


def main():
    bits = int(float(sys.argv[1])) if len(sys.argv) > 1 else 1000000
    loss = float(sys.argv[2]) if len(sys.argv) > 2 else 18.0
    n = 32
    ui = 1e-10
    data = prbs31(bits)
    x = np.repeat(np.where(data > 0, 0.5, -0.5), n)
    h = line_impulse(loss, 5e9, ui / n, 8192)
    start = time.perf_counter()
    y = signal.oaconvolve(x, h)[: x.size]
    phase = np.arange(y.size) % (2 * n)
    hist, _, _ = np.histogram2d(phase, y, bins=[2 * n, 256])
    seconds = time.perf_counter() - start
    assert hist.sum() == y.size
    print(f"{seconds:.3f}")


if __name__ == "__main__":
    main()
