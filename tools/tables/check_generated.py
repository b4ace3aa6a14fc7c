#!/usr/bin/python3
"""Regenerates the tables into a scratch folder and compares them with the
committed sources; exits 1 on any difference.

    /usr/bin/python3 tools/tables/check_generated.py --work-dir DIR

The text of both files must agree line by line, except that numbers may
differ by floating-point noise: at most 1e-9 of the largest magnitude in
their table (the design runs iterative fits whose last bits can depend on
the machine's maths library).  Any real change of a design or of the
writer shows up far above that.
"""
import argparse
import os
import re
import shutil
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import generate  # noqa: E402

NUMBER = re.compile(r"-?\d+\.\d*(?:e[-+]?\d+)?|-?\d+e[-+]?\d+", re.IGNORECASE)
RELATIVE_NOISE = 1e-9


def _split(text):
    """(lines with numbers replaced by '#', list of numbers per table)."""
    skeleton, tables, current = [], [], None
    for line in text.splitlines():
        if "= {" in line:
            current = []
            tables.append(current)
        values = [float(v) for v in NUMBER.findall(line)] if current is not None and not line.lstrip().startswith("//") else []
        if current is not None:
            current.extend(values)
        if line.startswith("};"):
            current = None
        skeleton.append(NUMBER.sub("#", line) if values else line)
    return skeleton, tables


def compare(committed_path, generated_path):
    with open(committed_path) as f:
        committed = f.read()
    with open(generated_path) as f:
        generated = f.read()
    if committed == generated:
        return []
    a_lines, a_tables = _split(committed)
    b_lines, b_tables = _split(generated)
    problems = []
    if a_lines != b_lines:
        for i, (x, y) in enumerate(zip(a_lines, b_lines)):
            if x != y:
                problems.append("line %d differs: %r vs %r" % (i + 1, x, y))
                break
        else:
            problems.append("line counts differ: %d vs %d" % (len(a_lines), len(b_lines)))
        return problems
    for index, (a, b) in enumerate(zip(a_tables, b_tables)):
        scale = max(abs(v) for v in a) if a else 0.0
        worst = max((abs(x - y) for x, y in zip(a, b)), default=0.0)
        if len(a) != len(b) or worst > RELATIVE_NOISE * scale:
            problems.append("table %d differs by %g (largest magnitude %g)" % (index + 1, worst, scale))
    return problems


def main(argv=None):
    parser = argparse.ArgumentParser()
    parser.add_argument("--work-dir", required=True)
    parser.add_argument("--source-dir", default=generate.REPOSITORY)
    args = parser.parse_args(argv)
    if os.path.isdir(args.work_dir):
        shutil.rmtree(args.work_dir)
    generate.main(["--out", args.work_dir])
    failed = False
    for relative in generate.SOURCES:
        problems = compare(os.path.join(args.source_dir, relative), os.path.join(args.work_dir, relative))
        for p in problems:
            print("%s: %s" % (relative, p))
        failed = failed or bool(problems)
    print("generated tables differ from the committed ones" if failed else "generated tables match")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
