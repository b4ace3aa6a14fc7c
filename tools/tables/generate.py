#!/usr/bin/python3
"""Designs the response tables of both models and writes them as C++ sources.

    /usr/bin/python3 tools/tables/generate.py [--out DIR] [--report DIR [--plots]]

--out     root folder the sources are written under (default: the repository)
--report  also write report.md (every known value, required and achieved;
          the equaliser check) into DIR; with --plots the PNG pictures too.
"""
import argparse
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import numpy as np  # noqa: E402

import known_values  # noqa: E402
import ctle  # noqa: E402
import default_response  # noqa: E402
import transmitter  # noqa: E402
from cpp_writer import SourceFile  # noqa: E402

REPOSITORY = os.path.dirname(os.path.dirname(HERE))
RX_SOURCE = "rx/Orvex_RX_AMI_05272013_Tables.cpp"
DEFAULTS_SOURCE = "dataflow/ResponseSelectorDefaults.cpp"
TX_SOURCE = "tx/Orvex_TX_AMI_01142014_Tables.cpp"
SOURCES = (RX_SOURCE, DEFAULTS_SOURCE, TX_SOURCE)


def time_stamps(rows, step_s):
    return [k * step_s for k in range(rows)]


def design_all():
    designs = {}
    for name in ('C4', 'C1'):
        designs[name] = ctle.design_bank(name, known_values.CTLE[name])
    designs['default'] = default_response.design(known_values.SELECTOR_DEFAULT)
    designs['tx'] = transmitter.design()
    return designs


def write_sources(designs, root):
    rx = SourceFile(RX_SOURCE, "Orvex_RX_AMI_05272013_Tables.h",
                    "The receiver's CTLE banks: impulse responses in 1/s, 1 ps apart.")
    for name in ('C4', 'C1'):
        columns = designs[name][0]
        rx.matrix(name + "_Response_Matrix", columns,
                  "%s: %d settings, column-major, %d rows each" % (name, len(columns), len(columns[0])),
                  lambda j: "setting %d" % (j + 1))
        rx.vector(name + "_Time_Stamps", time_stamps(known_values.CTLE_ROWS, known_values.CTLE_STEP_S),
                  "%s: row k at k ps" % name)
    defaults = SourceFile(DEFAULTS_SOURCE, "ResponseSelectorDefaults.h",
                          "The response selector's default table: one impulse response in 1/s, 1 ps apart.")
    defaults.vector("Response_Matrix_default", designs['default'][0], "The response, rows 0..499",
                    dimensions=False)
    defaults.vector("Time_Stamps_default",
                    time_stamps(known_values.SELECTOR_DEFAULT_ROWS, known_values.CTLE_STEP_S),
                    "Row k at k ps", dimensions=False)
    tx = SourceFile(TX_SOURCE, "Orvex_TX_AMI_01142014_Tables.h",
                    "The transmitter's responses: impulse responses in 1/s, 2 ps apart.")
    tx.matrix("Orvex_TX_AMI_01142014_Response_Matrix", designs['tx'][0],
              "Column n = 64 x DE_range + 8 x DE + VOD, column-major, 751 rows each",
              lambda n: "column %d: DE_range %d, DE %d, VOD %d" % (n, n // 64, (n // 8) % 8, n % 8))
    tx.vector("Orvex_TX_AMI_01142014_Time_Stamps", time_stamps(known_values.TX_ROWS, known_values.TX_STEP_S),
              "Row k at 2k ps")
    return [f.write(root) for f in (rx, defaults, tx)]


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--out", default=REPOSITORY)
    parser.add_argument("--report")
    parser.add_argument("--plots", action="store_true")
    args = parser.parse_args(argv)
    np.seterr(all='raise', under='ignore')
    designs = design_all()
    for path in write_sources(designs, args.out):
        print("wrote", path)
    if args.report:
        import report
        for path in report.write(designs, args.report, args.plots):
            print("wrote", path)
    return 0


if __name__ == "__main__":
    sys.exit(main())
