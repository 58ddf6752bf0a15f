"""Independent derivation of the figures that the end-to-end test expects for
small.rel: a plain transcription of the error function, the histogram, the
Pearson "Спец 1" criterion and the spiral descent, run with step coefficient
1.01 so that it finishes in seconds. Run: python3 reference_small.py"""
import math

def erfc(x):
    if x < 0: return 2 - erfc(-x)
    if x < 0.5: return 1 - erf(x)
    if x >= 10: return 0.0
    p = ((((((0.56418778255*x + 9.675807882987)*x + 77.08161730368)*x + 368.519615471)*x + 1143.262070703)*x + 2320.439590251)*x + 2898.029329216)*x + 1826.334884229
    q = (((((((x + 17.14980943627)*x + 137.12559605)*x + 661.7361207107)*x + 2094.384367789)*x + 4429.612803883)*x + 6089.542423272)*x + 4958.827564721)*x + 1826.334884229
    return math.exp(-x*x) * p / q

def erf(X):
    s = 1.0 if X > 0 else (-1.0 if X < 0 else 0.0)
    x = abs(X)
    if x < 0.5:
        z = x*x
        p = (((((0.007547728033418632*z + 0.2888051372075941)*z + 14.33838421917482)*z + 38.0140318123903)*z + 3017.827885365076)*z + 7404.071427101515)*z + 80437.36309608402
        q = ((((z + 38.01907139519394)*z + 658.0701554592405)*z + 6379.600173244283)*z + 34216.52579246285)*z + 80437.36309608402
        return s * 1.1283791670955126 * x * p / q
    if x > 10: return s
    return s * (1 - erfc(x))

def G(mu, sig, x): return (erf(((x - mu)/sig) / 1.4142135623730951) + 1) * 0.5
def F(A, B, x):
    w = 1 - math.exp(-A * x**B) if A > 0 and B > 0 else 0
    return w if w > 0 else 1e-305
def F2(A, B, x1, x2):
    if A <= 0 or B <= 0: return 0
    d = F(A, B, x2) - F(A, B, x1)
    return d if d >= 0 else 1e-305

times = [35, 80.5, 120, 150, 210.5, 260, 330, 410, 480, 555, 640, 720, 830, 950, 1100, 1240, 1390, 1600]
Sred, SKO, fleet, all_fail = 1500.0, 400.0, 60, 30
n = len(times); izd = fleet * (n / all_fail)
# histogram: widths 100 h (last failure 1600 h -> 100 for later intervals too), merged empty stretches
bounds, sums, b, j = [], [], 0.0, 0
while True:
    start = j
    while True:
        b += 100
        while j < n and b + 0.1 > times[j]: j += 1
        if not (j == start and b < times[-1]): break
    bounds.append(b); sums.append(j - start)
    if not b < times[-1]: break
print("intervals", list(zip(bounds, sums)))

def pirson(A, B, K, mu, sig):
    s = tot = 0.0; prev = 0.0
    for t, o in zip(bounds, sums):
        fn = G(mu, sig, (t + prev) / 2); fw = F2(A, B, prev, t)
        e = izd * K * fw * (1 - fn); tot += e; s += (o - e)**2; prev = t
    return s + (n - tot)**2

kdiv = 1.01
a = [0, 0.001, 0.001, 1.0]; amax = [0, 7, 10, 30]; h = [0, 0.001, 5e-5, 0.001]; ee = [0, 1e-7, 1e-8, 1e-6]
zf = lambda: pirson(a[2], a[1], a[3], Sred, SKO)
bss = zf(); cs = 0.0; passes = 0
while True:
    for jj in (1, 2, 3):
        while True:
            sr = a[jj]
            if a[jj] + h[jj] > 0: a[jj] += h[jj]
            else: cs = bss; a[jj] = sr - h[jj]; break
            if a[jj] > amax[jj]: bss = cs; a[jj] = sr - h[jj]; break
            cs = bss; bss = zf()
            if not bss <= cs: bss = cs; a[jj] = sr - h[jj]; break
        h[jj] = -h[jj] / kdiv
    passes += 1
    if all(abs(h[i]) < ee[i] for i in (1, 2, 3)): break
A, B, K = a[2], a[1], a[3]
print("passes", passes, "A", repr(A), "B", repr(B), "K", repr(K))
m = [izd * K * F2(A, B, p, t) * (1 - G(Sred, SKO, t)) for p, t in zip([0.0] + bounds[:-1], bounds)]
sko = math.sqrt(sum((o - x)**2 for o, x in zip(sums, m)) / len(m))
print("SKO_out", repr(sko))

# Operating-data figures of the results table.
s = 0.0; t50zen = 0.0; otk = 0.0; prev = 0.0
for i, t in enumerate(times):
    s += 1 / (1 - G(Sred, SKO, t))
    if t >= Sred and otk == 0: otk = s / izd
    if t50zen == 0 and s / izd >= 0.5:
        x = s - 0.5 * izd; t50zen = t - (t - prev) * (x - math.trunc(x))
    prev = t
pot = sum(1 / (1 - G(Sred, SKO, t)) for t in times if 0.2 * Sred <= t <= Sred) * 100 / (0.8 * Sred) / fleet * all_fail / n
inv = lambda p: ((1 / A) * math.log(1 / (1 - p)))**(1 / B)
print("t50zen", repr(t50zen), "Otk_Izd", repr(otk), "Pot08", repr(pot))
print("model mean", round(inv(0.5 / K)), "80/90", round(inv(0.2 / K)), round(inv(0.1 / K)), "per product", K * F2(A, B, 0, Sred))
