"""The design report: every value the tables are known by (required and
achieved), the corrections the models needed, the equaliser check behind a
simple channel, and (optionally) pictures of every family."""
import os

import numpy as np

import known_values

CHANNEL_LOSSES_DB = (5, 10, 15, 20, 25)


def dtft(h, step_s, f_hz):
    k = np.arange(len(h))
    f = np.atleast_1d(np.asarray(f_hz, float))
    return np.exp(-2j * np.pi * np.outer(f, k) * step_s) @ h * step_s


def channel_db(loss_db, f_hz):
    """Half skin effect (sqrt f), half dielectric loss (f), loss_db at 5 GHz."""
    x = np.asarray(f_hz) / 5e9
    return -loss_db * (0.5 * np.sqrt(x) + 0.5 * x)


def ripples(columns, step_s, loss_db):
    f = 0.1e9 + 0.1e9 * np.arange(50)
    return [np.ptp(channel_db(loss_db, f) + 20 * np.log10(np.abs(dtft(h, step_s, f)))) for h in columns]


def _fmt(v):
    return repr(float(v))


def _known_rows(designs):
    rows = []
    for name in ('C4', 'C1'):
        columns = designs[name][0]
        for j, points in known_values.CTLE[name]['points'].items():
            h = columns[j - 1]
            for kind, row, value in points:
                found = {'peak': np.argmax(h), 'minimum': np.argmin(h)}.get(kind, row)
                rows.append(("%s setting %d row %d" % (name, j, row), kind, _fmt(value),
                             "%s (%s at row %d)" % (_fmt(h[row]), kind, found) if kind != 'exact' else _fmt(h[row])))
        for j, h in enumerate(columns):
            rows.append(("%s setting %d low-frequency gain" % (name, j + 1), 'range', "1.13..1.39",
                         "%.4f" % (h.sum() * 1e-12)))
    h = designs['default'][0]
    for kind, row, value in known_values.SELECTOR_DEFAULT['points']:
        rows.append(("default row %d" % row, kind, _fmt(value), _fmt(h[row])))
    changes = [k for k in range(len(h) - 1) if np.sign(h[k]) != np.sign(h[k + 1])]
    rows.append(("default sign changes after rows", 'exact', "18, 64, 453", ", ".join(map(str, changes))))
    rows.append(("default area", 'about', known_values.SELECTOR_DEFAULT['area'][1], "%.6f" % (h.sum() * 1e-12)))
    tx = designs['tx'][0]
    for n, points in known_values.TX_POINTS.items():
        for kind, row, value in points:
            rows.append(("transmitter column %d row %d" % (n, row), kind, _fmt(value), _fmt(tx[n][row])))
    for n, (text, row) in known_values.TX_PEAKS_ABOUT.items():
        h = tx[n]
        where = " at row %d" % row if row is not None else ""
        rows.append(("transmitter column %d peak%s" % (n, where), 'about', text,
                     "%.6g at row %d" % (h.max(), np.argmax(h))))
    for n, text in sorted(known_values.TX_AREAS.items()):
        rows.append(("transmitter column %d area" % n, 'about', text, "%.6f" % (tx[n].sum() * 2e-12)))
    peaks = [tx[64 * r + 8 * d].max() for r in range(2) for d in range(8)]
    rows.append(("transmitter VOD 0 peaks (all DE, both ranges)", 'within 20 %', "2e10",
                 "%.4g .. %.4g" % (min(peaks), max(peaks))))
    rows.append(("transmitter row 750, all columns", 'exact', "0.0",
                 "all 0.0" if all(h[-1] == 0.0 for h in tx) else "NOT all 0.0"))
    return rows


def _equaliser_section(designs):
    lines = ["## Equaliser check", "",
             "Channel: loss L dB at 5 GHz, half skin effect (sqrt f) and half dielectric (f).",
             "Ripple: peak-to-peak of |channel x setting| in dB over 0.1..5 GHz.", "",
             "| bank | loss (dB) | ripple, setting 1 | best setting | its ripple |",
             "|---|---|---|---|---|"]
    for name in ('C4', 'C1'):
        for loss in CHANNEL_LOSSES_DB:
            r = ripples(designs[name][0], 1e-12, loss)
            b = int(np.argmin(r))
            lines.append("| %s | %d | %.2f | %d | %.2f |" % (name, loss, r[0], b + 1, r[b]))
    lines.append("")
    return lines


def _model_section(designs):
    lines = ["## Fitted and calibrated parameters", ""]
    names = ('fz GHz', 'fp GHz', 'f0 GHz', 'Q', 'latency ps', 'gain', 'fsz GHz', 'fsp GHz')
    for name in ('C4', 'C1'):
        lines += ["%s settings:" % name, "", "| setting | " + " | ".join(names) + " |",
                  "|---" * (len(names) + 1) + "|"]
        for j, p in enumerate(designs[name][1]):
            lines.append("| %d | " % (j + 1) + " | ".join("%.4g" % v for v in p) + " |")
        lines.append("")
    cal = designs['tx'][1]
    lines += ["Transmitter: pad pole %.3g ps; post tap corner %.6g ps, low-frequency excess %.6g;"
              % (cal.pad_ps, cal.corner_ps, cal.lf_excess),
              "bandwidth (rad/ps) %.6g at VOD 0, %.6g at VOD 7; delay %.6g ps and %.6g ps;"
              % (cal.bw0, cal.bw7, cal.delay0, cal.delay7),
              "lam %.6g, mu %.6g, kappa %.6g." % (cal.lam, cal.mu, cal.kappa),
              "", "Swing DAC S_V: " + ", ".join("%.5g" % s for s in cal.swing), ""]
    for r in range(2):
        lines.append("De-emphasis DAC x0, range %d: " % r + ", ".join("%.5g" % x for x in cal.dac[r]))
    lines.append("")
    return lines


def write(designs, folder, plots=False):
    os.makedirs(folder, exist_ok=True)
    lines = ["# Response tables: design report", "",
             "Largest correction relative to the column's peak magnitude:",
             "C4 %.3g, C1 %.3g, selector default %.3g, transmitter %.3g." %
             (designs['C4'][2], designs['C1'][2], designs['default'][2], designs['tx'][2]), "",
             "## Known values", "", "| what | kind | required | achieved |", "|---|---|---|---|"]
    lines += ["| %s | %s | %s | %s |" % r for r in _known_rows(designs)]
    lines.append("")
    lines += _equaliser_section(designs)
    lines += _model_section(designs)
    path = os.path.join(folder, "report.md")
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")
    written = [path]
    if plots:
        written += _plots(designs, folder)
    return written


def _plots(designs, folder):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    families = [("C4", designs['C4'][0], 1e-12), ("C1", designs['C1'][0], 1e-12),
                ("default", [designs['default'][0]], 1e-12),
                ("transmitter", designs['tx'][0], 2e-12)]
    written = []
    for name, columns, step in families:
        fig, (a, b) = plt.subplots(1, 2, figsize=(13, 5))
        f = np.linspace(0.0, 30e9, 601)
        cmap = plt.get_cmap("viridis")
        for j, h in enumerate(columns):
            colour = cmap(j / max(1, len(columns) - 1))
            t = np.arange(len(h)) * step * 1e12
            a.plot(t, h, color=colour, lw=0.8)
            m = np.abs(dtft(h, step, f))
            b.plot(f / 1e9, 20 * np.log10(np.maximum(m, 1e-12) / m[0]) if m[0] > 0 else 20 * np.log10(m),
                   color=colour, lw=0.8)
        a.set_xlabel("time (ps)")
        a.set_ylabel("impulse response (1/s)")
        a.set_title("%s: impulse responses" % name)
        b.set_xlabel("frequency (GHz)")
        b.set_ylabel("magnitude relative to DC (dB)")
        b.set_title("%s: magnitude responses" % name)
        b.axvline(5.0, color="grey", lw=0.5, ls="--")
        for ax in (a, b):
            ax.grid(True, lw=0.3)
        path = os.path.join(folder, "%s.png" % name)
        fig.tight_layout()
        fig.savefig(path, dpi=110)
        plt.close(fig)
        written.append(path)
    return written
