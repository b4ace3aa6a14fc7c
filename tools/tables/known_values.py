"""The values each response set is known by.

Rows are 0-based; a column is 1-based for the receiver's equaliser banks
(as the selector numbers them) and 0-based for the transmitter's table (its
column number n = 64 * DE_range + 8 * DE + VOD).  "exact" values are stored
as given; "about" values hold to the digits given (half a unit of the last
digit); areas are sums of a column times its row step.
"""

# (family, column, kind, row, value); kinds: exact, peak (exact value, the
# global maximum), minimum (exact value, the global minimum).
CTLE = {
    'C4': {
        'columns': 16,
        'points': {
            1: [('exact', 0, 159037704.8288764), ('exact', 1, -20251354.19696231),
                ('peak', 47, 43836551468.67668), ('exact', 499, -81841901.33619162)],
            16: [('exact', 0, -211274560.8700584), ('peak', 56, 675769684629.1638),
                 ('minimum', 111, -599776506591.6158), ('exact', 499, -776587981.1843619)],
        },
    },
    'C1': {
        'columns': 5,
        'points': {
            1: [('exact', 0, 157368303.7610849), ('exact', 1, -948917730.3837126),
                ('peak', 37, 31438042548.05067), ('exact', 499, -49872153.63260825)],
            5: [('exact', 0, 634711489.3400469), ('peak', 40, 124997497896.4943),
                ('minimum', 88, -38904733722.77264), ('exact', 499, -737801019.951233)],
        },
    },
}
CTLE_ROWS = 500
CTLE_STEP_S = 1e-12
CTLE_LOW_FREQUENCY_GAIN = (1.13, 1.39)

SELECTOR_DEFAULT = {
    'points': [('exact', 0, 327933660.9854924), ('exact', 1, 739871275.4551129),
               ('exact', 9, 2037295190.183519), ('exact', 19, -98030157.73736899),
               ('minimum', 42, -12611752110.7974), ('peak', 109, 30757787367.05758),
               ('exact', 200, 4265635794.344643), ('exact', 499, -22951916.51126082)],
    # The sign changes between row r and r + 1 for these r, and nowhere else.
    'sign_changes_after': [18, 64, 453],
    'area': ('about', '2.286'),
}
SELECTOR_DEFAULT_ROWS = 500

TX_ROWS = 751
TX_STEP_S = 2e-12
TX_COLUMNS = 128


def tx_column(de_range, de, vod):
    return 64 * de_range + 8 * de + vod


# Areas ("about", as text so that the tolerance follows the digits given).
TX_AREAS = {}
for _vod, _a in enumerate(['0.610', '0.714', '0.817', '0.921', '1.025', '1.127', '1.228', '1.325']):
    TX_AREAS[tx_column(0, 0, _vod)] = _a
for _de, _a in enumerate(['0.610', '0.584', '0.521', '0.459', '0.416', '0.362', '0.310', '0.226']):
    TX_AREAS[tx_column(0, _de, 0)] = _a
for _de, _a in enumerate(['0.611', '0.600', '0.576', '0.552', '0.534', '0.509', '0.484', '0.442']):
    TX_AREAS[tx_column(1, _de, 0)] = _a
TX_AREAS[127] = '0.626'

# Peaks given as "about" (text) at a given row, or without a row.
TX_PEAKS_ABOUT = {0: ('1.737e10', 34), tx_column(0, 0, 7): ('3.46e10', None)}
TX_POINTS = {
    0: [('exact', 0, -160605.75), ('exact', 1, -160516.8), ('exact', 2, -160426.58)],
    127: [('exact', 0, 3096948.7), ('exact', 1, 3081037.4), ('peak', 32, 38008068000.0),
          ('exact', 100, -1398385800.0), ('exact', 700, -13228706.0),
          ('exact', 749, -10273172.0), ('exact', 750, 0.0)],
}
# With VOD 0 the peak stays within this fraction of 2e10 for every DE.
TX_VOD0_PEAK = (2e10, 0.20)


def about_tolerance(text):
    """Half a unit of the last digit given: '0.610' -> 0.0005, '1.737e10' -> 5e6."""
    mantissa, _, exponent = text.lower().partition('e')
    decimals = len(mantissa.partition('.')[2])
    return 0.5 * 10.0 ** (-decimals) * 10.0 ** int(exponent or 0)
