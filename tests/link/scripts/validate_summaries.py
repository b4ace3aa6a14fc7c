#!/usr/bin/env python3
"""Runs orvex-link on several kinds of run and checks every summary.json it
writes against the published JSON Schema, which refuses any key it does not
list. Usage: validate_summaries.py ORVEX_LINK SCHEMA TEST_MODEL_DIR KIT_IBS
Exits 77 (skipped) without Python's jsonschema."""
import cmath
import json
import math
import os
import subprocess
import sys
import tempfile

try:
    import jsonschema
except ImportError:
    print("python3-jsonschema is not installed")
    sys.exit(77)

program, schema_path, models, kit_ibs = sys.argv[1:5]


def lossy_line_s2p(path, scale=1.0):
    """A differential 2-port: a matched line of 6 dB at 5 GHz and 200 ps,
    its through path scaled (a crosstalk path when small)."""
    with open(path, "w") as f:
        f.write("# GHz S RI R 100\n")
        for k in range(0, 401):
            ghz = 0.05 * k
            loss_db = 6.0 * math.sqrt(ghz / 5.0)
            s21 = scale * 10 ** (-loss_db / 20) * cmath.exp(-2j * math.pi * ghz * 0.2)
            f.write(f"{ghz:.3f} 0 0 {s21.real:.9f} {s21.imag:.9f} {s21.real:.9f} {s21.imag:.9f} 0 0\n")


def main():
    schema = json.load(open(schema_path))
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)
    scratch = tempfile.mkdtemp(prefix="summary-schema-")
    s2p = os.path.join(scratch, "line.s2p")
    lossy_line_s2p(s2p)
    crosstalk = os.path.join(scratch, "crosstalk.s2p")
    lossy_line_s2p(crosstalk, 0.03)
    test_models = f"--tx-model {models}/LinkTestTx.so --rx-model {models}/LinkTestRx"
    runs = {
        "kit, equalised, with requirements": "--bits 150k --require-timing 0.1 --require-voltage 10m",
        "kit, retimed decisions": "--bits 150k --rx Rx_config=0",
        "kit, failing on a 1 dB line": "--bits 150k --channel loss:1",
        "kit from its IBIS file, stressed": f"--bits 150k --ibs {kit_ibs} --rx-pin RX_P --tx-rj 1p "
                                            "--tx-sj 0.1@1M --rx-noise 5m --tx-ppm 50",
        "Touchstone channel and aggressor, statistical eye": f"--bits 150k --channel touchstone:{s2p} "
                                                            f"--aggressor touchstone:{crosstalk} --statistical",
        "receiver with its own clock": test_models + "Clock.so --bits 5000 --channel loss:3",
        "receiver from its impulse response": test_models + "Init.so --bits 5000 --channel loss:3 --statistical",
        "receiver without clock times": test_models + "Pass.so --bits 5000 --channel loss:3",
    }
    failed = 0
    for name, arguments in runs.items():
        out = os.path.join(scratch, str(len(name)) + name.split()[0].strip(","))
        command = [program, "--quiet", "--out", out] + arguments.split()
        done = subprocess.run(command, capture_output=True, text=True)
        if done.returncode != 0:
            print(f"{name}: orvex-link exited {done.returncode}: {done.stderr.strip()}")
            failed += 1
            continue
        summary = json.load(open(os.path.join(out, "summary.json")))
        errors = sorted(validator.iter_errors(summary), key=lambda e: list(e.path))
        for error in errors:
            print(f"{name}: {'/'.join(map(str, error.path))}: {error.message}")
        failed += bool(errors)
        print(f"{name}: {'valid' if not errors else 'INVALID'} (verdict {summary.get('verdict')})")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
