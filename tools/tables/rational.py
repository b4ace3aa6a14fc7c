"""Rational transfer functions with a transport delay.

Every response in the tables is the impulse response of such a system,
H(s) = gain * prod(s - z) / prod(s - p) * exp(-s * delay), evaluated in closed
form from its partial fractions.  Times are in picoseconds and complex
frequencies in radians per picosecond throughout, so that the pole and zero
values stay near 1 and the residues are computed without loss of precision;
callers convert to seconds and hertz at the edges.
"""
import math

import numpy as np

TWO_PI = 2.0 * np.pi


def rad_per_ps(f_ghz):
    """Angular frequency in rad/ps of a frequency in GHz."""
    return TWO_PI * np.asarray(f_ghz, float) * 1e-3


class Rational:
    """A strictly proper rational transfer function with distinct poles."""

    def __init__(self, zeros, poles, gain=1.0, delay_ps=0.0):
        self.zeros = np.asarray(zeros, complex)
        self.poles = np.asarray(poles, complex)
        self.gain = float(gain)
        self.delay_ps = float(delay_ps)
        if len(self.zeros) >= len(self.poles):
            raise ValueError("transfer function must be strictly proper")
        spread = np.abs(self.poles[:, None] - self.poles[None, :])
        np.fill_diagonal(spread, np.inf)
        if spread.min() < 1e-9 * np.abs(self.poles).max():
            raise ValueError("poles must be distinct")

    @classmethod
    def with_dc_gain(cls, zeros, poles, dc_gain, delay_ps=0.0):
        """The system scaled so that H(0) = dc_gain."""
        zeros = np.asarray(zeros, complex)
        poles = np.asarray(poles, complex)
        gain = dc_gain * np.prod(-poles).real / np.prod(-zeros).real
        return cls(zeros, poles, gain, delay_ps)

    def cascade(self, other):
        """Series connection: poles and zeros joined, gains multiplied, delays added."""
        return Rational(np.concatenate([self.zeros, other.zeros]),
                        np.concatenate([self.poles, other.poles]),
                        self.gain * other.gain, self.delay_ps + other.delay_ps)

    def delayed(self, extra_ps):
        return Rational(self.zeros, self.poles, self.gain, self.delay_ps + extra_ps)

    def scaled(self, factor):
        return Rational(self.zeros, self.poles, self.gain * factor, self.delay_ps)

    def residues(self):
        res = []
        for i, p in enumerate(self.poles):
            others = np.delete(self.poles, i)
            res.append(self.gain * np.prod(p - self.zeros) / np.prod(p - others))
        return np.array(res)

    def impulse(self, t_ps):
        """h(t) in 1/ps at the times t_ps; zero before the delay."""
        t = np.asarray(t_ps, float) - self.delay_ps
        tt = np.maximum(t, 0.0)
        h = np.zeros(t.shape, complex)
        for r, p in zip(self.residues(), self.poles):
            h += r * np.exp(p * tt)
        h = h.real
        h[t < 0.0] = 0.0
        return h

    def frequency(self, f_ghz):
        """H(j 2 pi f) at frequencies in GHz (including the delay's phase)."""
        s = 1j * rad_per_ps(f_ghz)
        h = self.gain * np.ones(np.shape(s), complex)
        for z in self.zeros:
            h = h * (s - z)
        for p in self.poles:
            h = h / (s - p)
        return h * np.exp(-s * self.delay_ps)


def real_pole(f_ghz):
    return -rad_per_ps(f_ghz)


def resonant_pair(f_ghz, q):
    """The two poles of s^2 + s w0/Q + w0^2 (Q > 0.5: a complex pair)."""
    w0 = rad_per_ps(f_ghz)
    root = np.sqrt(complex(1.0 - 4.0 * q * q)) / (2.0 * q)
    return [w0 * (-1.0 / (2.0 * q) + root), w0 * (-1.0 / (2.0 * q) - root)]


def coincident_poles_impulse(order, tau_ps, delay_ps, t_ps):
    """Unit-area impulse response of `order` coincident real poles at -1/tau,
    delayed: (t')^(n-1) exp(-t'/tau) / ((n-1)! tau^n), t' = t - delay >= 0."""
    t = np.asarray(t_ps, float) - delay_ps
    tt = np.maximum(t, 0.0)
    h = tt ** (order - 1) * np.exp(-tt / tau_ps) / (math.factorial(order - 1) * tau_ps ** order)
    h[t < 0.0] = 0.0
    return h
