#!/usr/bin/env python3
"""Digests of what the receiver library delivers, for holding a change of its
code to the same output bit for bit.

    rx-sameness.py <receiver .so> [--bits N] [--input FILE]

Loads the library by path, as a simulator does, and runs a PRBS15 waveform
(N bits, default 190 000, with the data rate 100 ppm above the receiver's
nominal 10 Gb/s, through a first-order low pass of one unit interval) through
it in these runs, each in a fresh working folder:

    rx1-blocks1000   (Rx_config 1), 1 000-sample calls
    rx0-blocks1000   (Rx_config 0), 1 000-sample calls
    default-blocks32768  no parameters, 32 768-sample calls: the Windows
                     loader test's workload, whose output file is the
                     returned waveform followed by the clock times

and prints one line per run and output: the SHA-256 of the returned samples,
of the clock times (raw little-endian doubles) and of "adapt.txt". With
--input FILE it also writes the waveform it fed in, as raw doubles, for the
Windows workload; `sha256sum` of that workload's output file then equals the
"workload" digest of the default run.
"""
import ctypes
import hashlib
import math
import os
import struct
import sys
import tempfile

BIT_TIME = 1e-10
SAMPLES_PER_BIT = 32
SAMPLE_INTERVAL = BIT_TIME / SAMPLES_PER_BIT
PPM = 100.0


def stimulus(bits):
    """PRBS15 at +-0.5 V, bit edges placed at the fast data rate, low-passed."""
    data_ui = BIT_TIME / (1.0 + PPM * 1e-6)
    samples = int(bits * data_ui / SAMPLE_INTERVAL)
    state = 0x7FFF
    pattern = []
    for _ in range(bits + 1):
        bit = ((state >> 14) ^ (state >> 13)) & 1
        state = ((state << 1) | bit) & 0x7FFF
        pattern.append(0.5 if bit else -0.5)
    decay = math.exp(-SAMPLE_INTERVAL / data_ui)
    level = 0.0
    wave = []
    for i in range(samples):
        level = decay * level + (1.0 - decay) * pattern[int(i * SAMPLE_INTERVAL / data_ui)]
        wave.append(level)
    return wave


def run(library, wave, parameters, block):
    """The returned samples, the clock times, and adapt.txt's bytes."""
    init = library.AMI_Init
    init.restype = ctypes.c_long
    init.argtypes = [ctypes.POINTER(ctypes.c_double), ctypes.c_long, ctypes.c_long, ctypes.c_double,
                     ctypes.c_double, ctypes.c_char_p, ctypes.POINTER(ctypes.c_char_p),
                     ctypes.POINTER(ctypes.c_void_p), ctypes.POINTER(ctypes.c_char_p)]
    get_wave = library.AMI_GetWave
    get_wave.restype = ctypes.c_long
    get_wave.argtypes = [ctypes.POINTER(ctypes.c_double), ctypes.c_long, ctypes.POINTER(ctypes.c_double),
                         ctypes.POINTER(ctypes.c_char_p), ctypes.c_void_p]
    close = library.AMI_Close
    close.restype = ctypes.c_long
    close.argtypes = [ctypes.c_void_p]

    here = os.getcwd()
    with tempfile.TemporaryDirectory(prefix="rx-sameness-") as folder:
        os.chdir(folder)
        try:
            impulse = (ctypes.c_double * 8)()
            handle = ctypes.c_void_p()
            message = ctypes.c_char_p()
            if init(impulse, 8, 0, SAMPLE_INTERVAL, BIT_TIME, parameters.encode(), None, ctypes.byref(handle),
                    ctypes.byref(message)) != 1:
                raise SystemExit("AMI_Init failed: %s" % message.value)
            out = (ctypes.c_double * len(wave))(*wave)
            times = []
            clock = (ctypes.c_double * (block // SAMPLES_PER_BIT + 2))()
            for first in range(0, len(wave), block):
                count = min(block, len(wave) - first)
                view = ctypes.cast(ctypes.byref(out, first * 8), ctypes.POINTER(ctypes.c_double))
                if get_wave(view, count, clock, None, handle) != 1:
                    raise SystemExit("AMI_GetWave failed at sample %d" % first)
                limit = count // SAMPLES_PER_BIT + 1
                for k in range(limit):
                    if clock[k] == -1.0:
                        break
                    times.append(clock[k])
            close(handle)
            log = open("adapt.txt", "rb").read() if os.path.exists("adapt.txt") else b""
        finally:
            os.chdir(here)
    return bytes(out), struct.pack("<%dd" % len(times), *times), len(times), log


def main():
    args = sys.argv[1:]
    if not args:
        raise SystemExit(__doc__)
    path = os.path.abspath(args[0])
    bits = int(args[args.index("--bits") + 1]) if "--bits" in args else 190000
    wave = stimulus(bits)
    if "--input" in args:
        with open(args[args.index("--input") + 1], "wb") as f:
            f.write(struct.pack("<%dd" % len(wave), *wave))
    library = ctypes.CDLL(path)
    digest = lambda data: hashlib.sha256(data).hexdigest()
    print("bits %d samples %d" % (bits, len(wave)))
    for name, parameters, block in (("rx1-blocks1000", "(Orvex_RX_AMI_05272013 (Rx_config 1))", 1000),
                                    ("rx0-blocks1000", "(Orvex_RX_AMI_05272013 (Rx_config 0))", 1000),
                                    ("default-blocks32768", "", 32768)):
        samples, times, count, log = run(library, wave, parameters, block)
        print("%s samples %s" % (name, digest(samples)))
        print("%s clock-times %s (%d)" % (name, digest(times), count))
        print("%s adapt.txt %s (%d lines)" % (name, digest(log), log.count(b"\n")))
        if block == 32768:
            print("%s workload %s" % (name, digest(samples + times)))
        sys.stdout.flush()


if __name__ == "__main__":
    main()
