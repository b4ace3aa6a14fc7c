"""The transmitter's 128 tabulated impulse responses (751 rows, 2 ps apart).

Model, for swing code V (`VOD`), de-emphasis code D (`DE`) and range R
(`DE_range`); times in ps:

* Driver pulse p_V: a linear-phase (Bessel) low-pass of order DRIVER_ORDER,
  the output pad's real pole and a transport delay.  Its bandwidth and delay
  move linearly with V between the two calibrated swings 0 and 7: larger
  swings are a little slower but leave the pre-driver earlier.
* Two-tap de-emphasis FIR at one unit interval (100 ps):
      h = S_V * [c0 * p_V(t) - c1 * q_V(t - UI)],
  where q_V is the pulse through the post-cursor tap's slow pole-zero pair
  (s + a b)/(s + a), a = 1/corner, b = 1 + lf_excess: the post tap's current
  source recovers slowly, so its low-frequency weight exceeds its
  high-frequency one.
* The post tap's share x = c1 / c0 is set by the de-emphasis DAC, x0[R][D]
  (0 at D = 0, rising with D; range 1 has the finer steps), and deepens with
  swing without ever reaching MAX_POST_RATIO:
      x = X * (1 - (1 - x0 / X) ** (1 + kappa * V)),   X = MAX_POST_RATIO;
  the main tap takes back part of what the post tap removes:
      c0 = 1 + lam * R + mu * c1,   i.e. c0 = (1 + lam * R) / (1 - mu * x),
  with S_V the swing DAC and lam the fine range's main-tap trim.
* The record ends with the last row at 0.

Calibration (all from the values the table is known by, see known_values.py):
the pulse's bandwidth at V = 0 and 7 from the peak-to-area ratios of
columns 0 and 7, its delays from the peak rows of columns 0 and 127; S_V from
the areas with DE 0, lam from column 64's area, x0 from the areas with VOD 0,
mu and kappa from column 127's peak and area, and the post tap's corner and
excess from column 127's rows 700 and 749.  The pad pole (3 ps) and the
driver's order are chosen so that column 127's row 100 comes out within a
fraction of a percent.  What the model cannot give (the first rows of
columns 0 and 127, and the rest of row 100) is a smooth correction; the start
transient is blended across the table by column number.
"""
import numpy as np
from scipy import optimize, signal

import known_values
from rational import Rational
from correction import Conditions, smooth_correction

ROWS = known_values.TX_ROWS
STEP_PS = 2.0
UI_PS = 100.0
T_PS = np.arange(ROWS) * STEP_PS
DRIVER_ORDER = 8
_, _BESSEL_POLES, _ = signal.besselap(DRIVER_ORDER, norm='delay')
START_ROWS = 4.0
START_LIMIT = 3
BUMP_ROWS = 3.0
PAD_POLE_PS = 3.0
# The post tap never takes more than this share of the main tap's weight.
MAX_POST_RATIO = 0.75
# Where the calibration of the post tap's corner (ps) and its low-frequency
# excess starts.
SLOW_PATH_START = (388.0, 0.15)
# Column 127's far tail, which sets the post tap's slow path.
TAIL_ROWS = (700, 749)


def area(h):
    return h.sum() * STEP_PS * 1e-12


def about(text):
    return float(text)


def _pulse(bandwidth, delay_ps, pad_ps):
    poles = list(_BESSEL_POLES * bandwidth) + [-1.0 / pad_ps]
    return Rational.with_dc_gain([], poles, 1.0, delay_ps)


def driver_pulse(bandwidth, delay_ps, pad_ps):
    """The driver's pulse p_V in 1/s at the table's rows."""
    return _pulse(bandwidth, delay_ps, pad_ps).impulse(T_PS) * 1e12


class Driver:
    """Pulse shapes of one swing code: the main tap's and the post tap's."""

    def __init__(self, bandwidth, delay_ps, pad_ps, corner_ps, lf_excess):
        pulse = _pulse(bandwidth, delay_ps, pad_ps)
        slow = Rational([], [-1.0 / corner_ps], lf_excess / corner_ps)
        self.main = pulse.impulse(T_PS) * 1e12
        self.post = (pulse.impulse(T_PS - UI_PS) + pulse.cascade(slow).impulse(T_PS - UI_PS)) * 1e12

    def column(self, swing, c0, c1):
        h = swing * (c0 * self.main - c1 * self.post)
        h[-1] = 0.0
        return h


def _peak_time(bandwidth, pad_ps):
    """Time of the pulse's maximum (without delay), to 1e-6 ps."""
    pulse = _pulse(bandwidth, 0.0, pad_ps)
    coarse = np.arange(0.0, 400.0, 0.5)
    i = int(np.argmax(pulse.impulse(coarse)))
    return optimize.minimize_scalar(lambda t: -pulse.impulse(np.array([t]))[0],
                                    bounds=(coarse[i - 1], coarse[i + 1]), method='bounded',
                                    options={'xatol': 1e-9}).x


def _shape_for(peak_over_area, peak_row, pad_ps, corner_ps, lf_excess):
    """Bandwidth and delay of the pulse with the given peak/area ratio whose
    maximum falls on the given row."""
    def delay_of(bandwidth):
        return peak_row * STEP_PS - _peak_time(bandwidth, pad_ps)

    def mismatch(log_bw):
        main = driver_pulse(np.exp(log_bw), delay_of(np.exp(log_bw)), pad_ps)
        return main.max() / area(main) / peak_over_area - 1.0

    log_bw = optimize.brentq(mismatch, np.log(0.005), np.log(1.0), xtol=1e-15)
    return np.exp(log_bw), delay_of(np.exp(log_bw))


def start_transients():
    """The start transients of columns 0 and 127, which the model leaves at 0
    in their first rows (the pulse leaves the driver later)."""
    start = {}
    for n in (0, 127):
        c = Conditions(ROWS)
        for _, row, value in known_values.TX_POINTS[n]:
            if row < START_LIMIT:
                c.value(row, value)
        start[n] = smooth_correction(np.zeros(ROWS), c, BUMP_ROWS, START_ROWS, START_LIMIT)
    return start


def blended_start(start, n):
    u = n / (known_values.TX_COLUMNS - 1)
    return (1 - u) * start[0] + u * start[127]


class Calibration:
    def __init__(self, pad_ps, corner_ps, lf_excess, start):
        self.pad_ps, self.corner_ps, self.lf_excess = pad_ps, corner_ps, lf_excess
        # The areas the model has to supply: those required less the start transients'.
        areas = {n: about(a) - area(blended_start(start, n)) for n, a in known_values.TX_AREAS.items()}
        peak0, row0 = known_values.TX_PEAKS_ABOUT[0]
        peak7, _ = known_values.TX_PEAKS_ABOUT[known_values.tx_column(0, 0, 7)]
        peak_row_127 = [r for k, r, _ in known_values.TX_POINTS[127] if k == 'peak'][0]
        self.peak_127 = [v for k, _, v in known_values.TX_POINTS[127] if k == 'peak'][0]
        self.bw0, self.delay0 = _shape_for(about(peak0) / areas[0], row0,
                                           pad_ps, corner_ps, lf_excess)
        self.bw7, self.delay7 = _shape_for(about(peak7) / areas[known_values.tx_column(0, 0, 7)],
                                           peak_row_127, pad_ps, corner_ps, lf_excess)
        self.drivers = [self._driver(v) for v in range(8)]
        self.swing = [areas[known_values.tx_column(0, 0, v)] / area(self.drivers[v].main)
                      for v in range(8)]
        d0 = self.drivers[0]
        self.lam = areas[known_values.tx_column(1, 0, 0)] / (self.swing[0] * area(d0.main)) - 1.0
        # Column 127 (V 7, D 7, R 1): its peak fixes c0, then its area the ratio x.
        d7 = self.drivers[7]
        c0 = self.peak_127 / (self.swing[7] * d7.main.max())
        x127 = (area(d7.main) - areas[127] / (self.swing[7] * c0)) / area(d7.post)
        self.mu = (1.0 - (1.0 + self.lam) / c0) / x127
        # Code 0 is the DAC's zero: no post tap at all.
        self.dac = [[0.0] + [self._dac_ratio(areas[known_values.tx_column(r, d, 0)], r)
                             for d in range(1, 8)] for r in range(2)]
        self.kappa = (np.log(1.0 - x127 / MAX_POST_RATIO) /
                      np.log(1.0 - self.dac[1][7] / MAX_POST_RATIO) - 1.0) / 7.0

    def _driver(self, vod):
        u = vod / 7.0
        return Driver((1 - u) * self.bw0 + u * self.bw7, (1 - u) * self.delay0 + u * self.delay7,
                      self.pad_ps, self.corner_ps, self.lf_excess)

    def _dac_ratio(self, target_area, de_range):
        """Post-to-main ratio x at VOD 0 that gives the area
        S0 c0 (A_main - x A_post) with c0 = (1 + lam R) / (1 - mu x)."""
        d0, s0 = self.drivers[0], self.swing[0]
        main = s0 * (1.0 + self.lam * de_range)
        return (main * area(d0.main) - target_area) / (main * area(d0.post) - self.mu * target_area)

    def post_ratio(self, de_range, de, vod):
        """x = c1 / c0: the DAC's ratio, deepened by the swing.  The depth
        -ln(1 - x / MAX_POST_RATIO) grows by the factor (1 + kappa V), so the
        ratio approaches but never reaches MAX_POST_RATIO."""
        x0 = self.dac[de_range][de]
        return MAX_POST_RATIO * (1.0 - (1.0 - x0 / MAX_POST_RATIO) ** (1.0 + self.kappa * vod))

    def taps(self, de_range, de, vod):
        x = self.post_ratio(de_range, de, vod)
        c0 = (1.0 + self.lam * de_range) / (1.0 - self.mu * x)
        return c0, x * c0

    def column(self, n):
        de_range, de, vod = n // 64, (n // 8) % 8, n % 8
        c0, c1 = self.taps(de_range, de, vod)
        return self.drivers[vod].column(self.swing[vod], c0, c1)


def _tail_residuals(x, start):
    cal = Calibration(PAD_POLE_PS, *x, start)
    h = cal.column(127) + blended_start(start, 127)
    return [h[row] / value - 1.0 for kind, row, value in known_values.TX_POINTS[127] if row in TAIL_ROWS]


def calibrate(start):
    x = optimize.least_squares(_tail_residuals, SLOW_PATH_START, args=(start,), xtol=1e-15,
                               ftol=1e-15, gtol=1e-15, max_nfev=200).x
    return Calibration(PAD_POLE_PS, *x, start)


def _conditions(points, flat_rows):
    c = Conditions(ROWS)
    for kind, row, value in points:
        if row < ROWS - 1:
            c.value(row, value)
        if kind == 'peak':
            c.flat_top(row)
    for row in flat_rows:
        c.flat_top(row)
    return c


def design():
    """Returns (list of 128 columns in 1/s, calibration, largest correction
    relative to the column's peak magnitude)."""
    start = start_transients()
    cal = calibrate(start)
    models = [cal.column(n) for n in range(known_values.TX_COLUMNS)]
    if any(np.any(m[:START_LIMIT] != 0.0) for m in models):
        raise RuntimeError("a pulse leaves the driver before the start transient has ended")
    columns = []
    for n, m in enumerate(models):
        h = m + blended_start(start, n)
        h[-1] = 0.0
        columns.append(h)
    peak_row_0 = known_values.TX_PEAKS_ABOUT[0][1]
    for n, flat in ((0, [peak_row_0]), (127, [])):
        h = columns[n]
        h += smooth_correction(h, _conditions(known_values.TX_POINTS[n], flat), BUMP_ROWS,
                               START_ROWS, START_LIMIT)
        for _, row, value in known_values.TX_POINTS[n]:
            h[row] = value
        h[-1] = 0.0
    worst = max(np.abs(h - m).max() / np.abs(m).max() for h, m in zip(columns, models))
    return columns, cal, worst
