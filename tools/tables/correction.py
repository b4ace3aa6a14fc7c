"""Smooth corrections that make a modelled column meet its known values.

A model meets its known values only to the accuracy of its fit.  The rest is
added as a small, smooth correction: a weighted sum of one smooth basis
function per condition, with the weights solved from the (square) linear
system of the conditions.  The basis functions are

* for a condition at the first rows: k^i * exp(-k / start_rows), i = 0, 1, ...
  (a start transient that has died out before the response rises);
* for a value, or a zero crossing between two rows: a Gaussian bump of width
  `width_rows` centred there;
* for a flat top at a peak or minimum row: the bump's derivative, which
  tilts the column there without moving its value;
* for the area: a broad bump of width `area_width_rows` at `area_centre`.

Because each function is smooth and its weight is of the size of the fit's
residual, the correction stays far below the column's peak (the generator
reports the largest ratio).
"""
import numpy as np


class Conditions:
    """Linear conditions on a column: each is (row weights, required value)."""

    def __init__(self, rows):
        self.rows = rows
        self.items = []   # (kind, position, weights, value)

    def value(self, row, value):
        w = np.zeros(self.rows)
        w[row] = 1.0
        self.items.append(('value', row, w, value))

    def flat_top(self, row):
        """h[row + 1] = h[row - 1]: the discrete slope vanishes at the row."""
        w = np.zeros(self.rows)
        w[row + 1], w[row - 1] = 1.0, -1.0
        self.items.append(('slope', row, w, 0.0))

    def crossing(self, row):
        """h[row] + h[row + 1] = 0: the sign change sits midway between the rows."""
        w = np.zeros(self.rows)
        w[row], w[row + 1] = 1.0, 1.0
        self.items.append(('value', row + 0.5, w, 0.0))

    def area(self, value, step):
        self.items.append(('area', None, np.full(self.rows, step), value))


def smooth_correction(column, conditions, width_rows, start_rows, start_limit,
                      area_centre=None, area_width_rows=None):
    """The correction (same length as column) that makes column + correction
    meet every condition.  Conditions at rows below start_limit use the start
    transient basis."""
    k = np.arange(len(column), dtype=float)
    basis = []
    start_order = 0
    for kind, position, _, _ in conditions.items:
        if kind == 'area':
            basis.append(np.exp(-0.5 * ((k - area_centre) / area_width_rows) ** 2))
        elif position < start_limit:
            basis.append(k ** start_order * np.exp(-k / start_rows))
            start_order += 1
        elif kind == 'slope':
            x = (k - position) / width_rows
            basis.append(x * np.exp(-0.5 * x * x))
        else:
            basis.append(np.exp(-0.5 * ((k - position) / width_rows) ** 2))
    basis = np.array(basis)
    weights = np.array([item[2] for item in conditions.items])
    required = np.array([item[3] for item in conditions.items])
    system = weights @ basis.T
    residual = required - weights @ column
    coefficients = np.linalg.solve(system, residual)
    return coefficients @ basis
