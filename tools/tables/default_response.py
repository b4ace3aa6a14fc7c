"""The response selector's default table: one impulse response, 0..499 ps.

It stands in until a model loads its own bank, so it need not be any
particular equaliser; it is a small made-up system of five parallel paths,
each a chain of coincident real poles with its own delay and weight:

    an early small lobe (the record starts just after it begins),
    a negative lobe, the main lobe, the main lobe's slow tail, and a slow
    negative droop (a low-frequency shelf) that pulls the far tail below 0.

The weights, time constants and delays are fitted to the samples, the
extreme rows, the zero crossings and the area the table is known by, and a
smooth correction (correction.py) removes what the fit leaves.
"""
import numpy as np
from scipy import optimize

from rational import coincident_poles_impulse
from correction import Conditions, smooth_correction

ROWS = 500
T_PS = np.arange(ROWS, dtype=float)
# (sign, pole count) of the five paths.
PATHS = ((+1, 3), (-1, 3), (+1, 3), (-1, 2), (+1, 2))
# Per path: weight, time constant (ps), delay (ps); the fit's starting point.
NOMINAL = [0.0302, 3.53, -1.02, 0.594, 12.75, 16.48, 2.15, 17.79, 56.6,
           0.3, 3715.6, 300.0, 0.698, 31.08, 102.0]
LOWER = [0, 0.5, -20, 0, 1, -20, 0, 2, -20, 0, 500, -100, 0, 5, -50]
UPPER = [5, 20, 10, 5, 40, 60, 10, 100, 120, 0.3, 20000, 300, 1, 500, 200]
START_ROWS = 2.0
START_LIMIT = 2
BUMP_ROWS = 4.0
AREA_CENTRE, AREA_WIDTH = 150.0, 40.0


def response(x, t_ps=T_PS):
    h = np.zeros(len(t_ps))
    for (sign, order), (weight, tau, delay) in zip(PATHS, np.reshape(x, (-1, 3))):
        h += sign * weight * coincident_poles_impulse(order, tau, delay, t_ps)
    return h * 1e12


def _residuals(x, known, area):
    h = response(x)
    scale = np.abs([v for _, _, v in known['points']]).max()
    r = []
    for kind, row, value in known['points']:
        r.append((h[row] - value) / scale)
        if kind in ('peak', 'minimum'):
            r.append(5.0 * (h[row + 1] - h[row - 1]) / scale)
    r.append(h.sum() * 1e-12 - area)
    crossings = np.array(known['sign_changes_after'], float) + 0.5
    r += list(3.0 * response(x, crossings) / scale)
    # Keep the sign pattern: positive, negative, positive, negative.
    bounds = [0] + [c + 1 for c in known['sign_changes_after']] + [ROWS]
    for i in range(len(bounds) - 1):
        segment = h[bounds[i]:bounds[i + 1]] * (1 if i % 2 == 0 else -1)
        r += list(30.0 * np.minimum(segment, 0.0) / scale)
    return r


def design(known):
    """Returns (column in 1/s, fitted parameters, largest correction
    relative to the peak magnitude)."""
    area = float(known['area'][1])
    x = optimize.least_squares(_residuals, NOMINAL, args=(known, area), bounds=(LOWER, UPPER),
                               max_nfev=5000, xtol=1e-15, ftol=1e-15, gtol=1e-15).x
    model = response(x)
    c = Conditions(ROWS)
    for kind, row, value in known['points']:
        c.value(row, value)
        if kind in ('peak', 'minimum'):
            c.flat_top(row)
    for row in known['sign_changes_after']:
        if row >= START_LIMIT and all(abs(row - r) > 1 for _, r, _ in known['points']):
            c.crossing(row)
    c.area(area, 1e-12)
    h = model + smooth_correction(model, c, BUMP_ROWS, START_ROWS, START_LIMIT,
                                  AREA_CENTRE, AREA_WIDTH)
    for _, row, value in known['points']:
        h[row] = value
    return h, x, np.abs(h - model).max() / np.abs(model).max()
