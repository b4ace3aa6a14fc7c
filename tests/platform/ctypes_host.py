"""A minimal IBIS-AMI host on the interpreter's standard library alone, to run
the kit's Linux libraries where no build tools exist (a root of an older
distribution):

    python3 ctypes_host.py RECEIVER.so TRANSMITTER.so

Shapes an impulse response with the transmitter's AMI_Init, then sends a
PRBS through a lossy channel into the receiver's AMI_Init / AMI_GetWave /
AMI_Close, and makes one AMI_GetWave call whose wave_size (2**60) no
allocation can meet: the library throws and catches that inside, so the call
exercises the C++ runtime's unwinder on the C library it runs with.

Exits non-zero on any failed check. Prints the C library's version and a
digest of everything the libraries returned, so that a run on another C
library can be compared with this one bit for bit.
"""
import ctypes
import hashlib
import os
import sys

BIT_TIME = 1e-10
SAMPLES_PER_BIT = 32
SAMPLE_INTERVAL = BIT_TIME / SAMPLES_PER_BIT
BITS = 12000
BLOCK_SAMPLES = 1024 * SAMPLES_PER_BIT

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED: " + what)


def load(path):
    library = ctypes.CDLL(os.path.abspath(path), mode=os.RTLD_NOW | os.RTLD_LOCAL)
    library.AMI_Init.restype = ctypes.c_long
    library.AMI_Init.argtypes = [ctypes.POINTER(ctypes.c_double), ctypes.c_long, ctypes.c_long,
                                 ctypes.c_double, ctypes.c_double, ctypes.c_char_p,
                                 ctypes.POINTER(ctypes.c_char_p), ctypes.POINTER(ctypes.c_void_p),
                                 ctypes.POINTER(ctypes.c_char_p)]
    library.AMI_Close.restype = ctypes.c_long
    library.AMI_Close.argtypes = [ctypes.c_void_p]
    return library


def prbs7(count):
    state = 0x7F
    bits = []
    for _ in range(count):
        bit = ((state >> 6) ^ (state >> 5)) & 1
        state = ((state << 1) | bit) & 0x7F
        bits.append(bit)
    return bits


def lossy_channel(bits):
    """NRZ at +-0.5 V through a first-order low-pass of about 1/3 UI."""
    alpha = 1.0 / 10.0
    level = 0.0
    wave = []
    for bit in bits:
        target = 0.5 if bit else -0.5
        for _ in range(SAMPLES_PER_BIT):
            level += alpha * (target - level)
            wave.append(level)
    return wave


def run_transmitter(path, digest):
    tx = load(path)
    rows = 256
    columns = 2  # the through channel and one aggressor
    impulse = [0.0] * (rows * columns)
    for row in range(rows):
        impulse[row] = 1e10 * 0.9 ** row / 10.0
        impulse[rows + row] = 1e9 * 0.8 ** row / 10.0
    matrix = (ctypes.c_double * len(impulse))(*impulse)
    handle = ctypes.c_void_p()
    message = ctypes.c_char_p()
    parameters_out = ctypes.c_char_p()
    result = tx.AMI_Init(matrix, rows, columns - 1, SAMPLE_INTERVAL, BIT_TIME,
                         b"(Orvex_TX_AMI_01142014 (DE 3) (VOD 5))", ctypes.byref(parameters_out),
                         ctypes.byref(handle), ctypes.byref(message))
    check(result == 1, "transmitter AMI_Init returns 1 (got %d: %s)" % (result, message.value))
    check(list(matrix)[:rows] != impulse[:rows], "transmitter AMI_Init shapes the impulse response")
    digest.update(bytes(matrix))
    check(tx.AMI_Close(handle) == 1, "transmitter AMI_Close returns 1")


def run_receiver(path, digest):
    rx = load(path)
    rx.AMI_GetWave.restype = ctypes.c_long
    rx.AMI_GetWave.argtypes = [ctypes.POINTER(ctypes.c_double), ctypes.c_long,
                               ctypes.POINTER(ctypes.c_double), ctypes.POINTER(ctypes.c_char_p),
                               ctypes.c_void_p]
    handle = ctypes.c_void_p()
    message = ctypes.c_char_p()
    impulse = (ctypes.c_double * 8)()
    result = rx.AMI_Init(impulse, 8, 0, SAMPLE_INTERVAL, BIT_TIME,
                         b"(Orvex_RX_AMI_05272013 (CTLEAdapt 1) (DFEAdapt 1))", None,
                         ctypes.byref(handle), ctypes.byref(message))
    check(result == 1, "receiver AMI_Init returns 1 (got %d: %s)" % (result, message.value))

    wave = lossy_channel(prbs7(BITS))
    clock_count = 0
    clock_room = BLOCK_SAMPLES // SAMPLES_PER_BIT + 1
    clocks = (ctypes.c_double * clock_room)()
    for start in range(0, len(wave), BLOCK_SAMPLES):
        block = wave[start:start + BLOCK_SAMPLES]
        samples = (ctypes.c_double * len(block))(*block)
        result = rx.AMI_GetWave(samples, len(block), clocks, None, handle)
        check(result == 1, "receiver AMI_GetWave returns 1 at sample %d" % start)
        digest.update(bytes(samples))
        found = 0
        while found < clock_room and clocks[found] != -1.0:
            found += 1
        digest.update(bytes(clocks)[:8 * (found + 1)])
        clock_count += found
    check(abs(clock_count - BITS) < BITS // 50,
          "one recovered clock per bit (%d clocks for %d bits)" % (clock_count, BITS))

    # 2**60 samples: the clock-time list cannot grow that far; the library
    # fails the call cleanly and the instance stays usable.
    one = (ctypes.c_double * 1)(0.5)
    check(rx.AMI_GetWave(one, 1 << 60, None, None, handle) == 0,
          "AMI_GetWave with wave_size 2**60 fails with 0")
    check(rx.AMI_GetWave(one, 1, clocks, None, handle) == 1,
          "AMI_GetWave works again after the failed call")
    check(rx.AMI_Close(handle) == 1, "receiver AMI_Close returns 1")


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    print("C library: glibc " + os.confstr("CS_GNU_LIBC_VERSION").split()[-1])
    digest = hashlib.sha256()
    run_transmitter(sys.argv[2], digest)
    run_receiver(sys.argv[1], digest)
    print("digest: " + digest.hexdigest())
    print("%d checks failed" % len(failures) if failures else "all checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
