"""The receiver's two CTLE banks (C4: 16 settings, C1: 5 settings).

Each setting is a continuous-time linear equaliser behind the receiver's
front end:

    H(s) = G * (1 + s/wz) / (1 + s/wp)                 main zero and pole
             * w0^2 / (s^2 + s w0/Q + w0^2)             load resonance
             * (1 + s/wsz) / (1 + s/wsp)                low-frequency shelf
             * 1 / (1 + s/wfe)                          front-end pole (shared)
             * exp(-s T)                                front-end latency

sampled every 1 ps over 0..499 ps.  The mildest and the strongest setting of
a bank are fitted to the samples the bank is known by (their peak, minimum
and last row, and a low-frequency gain of LOW_FREQUENCY_GAIN), staying as
close as the fit allows to a nominal design.  The settings between move
from one end to the other: the frequencies and Q geometrically and the
latency linearly with the setting, the shelf with its square (it moves late,
so the shelf's plateau never becomes a second peak of the response); their
gain G is trimmed to the same low-frequency gain.  The end settings' first
rows come from a start transient (see correction.py) that is blended across
the bank.
"""
import numpy as np
from scipy import optimize

from rational import Rational, real_pole, resonant_pair
from correction import Conditions, smooth_correction

ROWS = 500
T_PS = np.arange(ROWS, dtype=float)
FRONT_END_POLE_GHZ = 22.0
LOW_FREQUENCY_GAIN = 1.26
PARAMETERS = ('fz_ghz', 'fp_ghz', 'f0_ghz', 'q', 'latency_ps', 'gain', 'fsz_ghz', 'fsp_ghz')
LOWER = np.array([0.05, 2.0, 4.0, 0.55, 1.0, 0.5, 0.01, 0.01])
UPPER = np.array([20.0, 40.0, 20.0, 3.0, 45.0, 3.0, 1.0, 1.0])
# Nominal designs the fits start from and stay close to.
NOMINAL = {
    ('C4', 'mild'): [5.0, 6.0, 12.0, 0.7, 25.0, 1.2, 0.12, 0.15],
    ('C4', 'strong'): [0.5, 10.0, 8.0, 1.6, 27.0, 1.1, 0.15, 0.25],
    ('C1', 'mild'): [5.0, 6.0, 12.0, 0.7, 15.0, 1.2, 0.12, 0.15],
    ('C1', 'strong'): [1.0, 6.0, 8.0, 0.8, 20.0, 1.0, 0.12, 0.22],
}
START_ROWS = 1.5        # decay of the start transient, rows
START_LIMIT = 2         # conditions below this row use the start transient
BUMP_ROWS = 3.0         # width of the other correction bumps, rows


def equaliser(p):
    fz, fp, f0, q, latency, gain, fsz, fsp = p
    zeros = [real_pole(fz), real_pole(fsz)]
    poles = [real_pole(fp), real_pole(fsp), real_pole(FRONT_END_POLE_GHZ)] + resonant_pair(f0, q)
    return Rational.with_dc_gain(zeros, poles, gain, latency)


def column_of(p):
    """The setting's impulse response in 1/s."""
    return equaliser(p).impulse(T_PS) * 1e12


def _fit_residuals(h, points):
    scale = np.abs(h).max()
    r = []
    for kind, row, value in points:
        if row < START_LIMIT:
            continue
        r.append((h[row] - value) / scale)
        if kind in ('peak', 'minimum'):
            r.append(5.0 * (h[row + 1] - h[row - 1]) / scale)
    r.append(0.1 * (h.sum() * 1e-12 - LOW_FREQUENCY_GAIN))
    return r


def fit_end(points, nominal):
    """Least-squares fit of one end setting (log parameters, bounded), first
    with a pull towards the nominal design, then with a vanishing one."""
    lo, hi = np.log(LOWER), np.log(UPPER)
    start = np.log(np.asarray(nominal, float))

    def residuals(lp, pull):
        h = column_of(np.exp(lp))
        return _fit_residuals(h, points) + list(pull * (lp - start))

    x = start
    for pull in (1e-3, 1e-6):
        x = optimize.least_squares(residuals, x, args=(pull,), bounds=(lo, hi), max_nfev=4000,
                                   xtol=1e-15, ftol=1e-15, gtol=1e-15).x
    return np.exp(x)


def family_parameters(mild, strong, count):
    settings = []
    for j in range(count):
        u = j / (count - 1)
        p = np.exp((1 - u) * np.log(mild) + u * np.log(strong))
        shelf_u = u * u
        p[6:8] = np.exp((1 - shelf_u) * np.log(mild[6:8]) + shelf_u * np.log(strong[6:8]))
        p[4] = (1 - u) * mild[4] + u * strong[4]
        settings.append(p)
    for p in settings[1:-1]:
        p[5] *= LOW_FREQUENCY_GAIN / (column_of(p).sum() * 1e-12)
    return settings


def _conditions(points):
    c = Conditions(ROWS)
    for kind, row, value in points:
        c.value(row, value)
        if kind in ('peak', 'minimum'):
            c.flat_top(row)
    return c


def _start_only(points):
    c = Conditions(ROWS)
    for kind, row, value in points:
        if row < START_LIMIT:
            c.value(row, value)
    return c


def _apply_exact(h, points):
    for _, row, value in points:
        h[row] = value


def design_bank(name, known):
    """Returns (columns as a list of arrays in 1/s, parameters, largest
    correction relative to the column's peak magnitude)."""
    count = known['columns']
    ends = {1: 'mild', count: 'strong'}
    fitted = {j: fit_end(known['points'][j], NOMINAL[(name, ends[j])]) for j in ends}
    params = family_parameters(fitted[1], fitted[count], count)
    columns = [column_of(p) for p in params]
    models = [c.copy() for c in columns]

    start = {j: smooth_correction(columns[j - 1], _start_only(known['points'][j]),
                                  BUMP_ROWS, START_ROWS, START_LIMIT) for j in ends}
    for j, h in enumerate(columns):
        u = j / (count - 1)
        h += (1 - u) * start[1] + u * start[count]
    for j in ends:
        points = known['points'][j]
        h = columns[j - 1]
        h += smooth_correction(h, _conditions(points), BUMP_ROWS, START_ROWS, START_LIMIT)
        _apply_exact(h, points)
    worst = max(np.abs(h - m).max() / np.abs(m).max() for h, m in zip(columns, models))
    return columns, params, worst
