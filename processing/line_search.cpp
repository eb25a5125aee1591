#include "line_search.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>

#include <Eigen/Dense>

#include "model/tables.h"
#include "processing/spectrum_ops.h"

namespace qel {

namespace {

double SortedMedianOf(std::vector<double>& v) {
  const std::size_t mid = v.size() / 2;
  std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(mid), v.end());
  const double upper = v[mid];
  if (v.size() % 2 == 1) return upper;
  const double lower = *std::max_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(mid));
  return (lower + upper) / 2;
}

// Counts of whole numbers in a range of at most 2^20: a spectrum's codes and
// their differences, whose medians are found by counting in linear time.
struct WholeCounts {
  static std::optional<WholeCounts> Of(std::span<const double> v) {
    if (v.empty()) return std::nullopt;
    double lo = v[0], hi = v[0];
    for (const double a : v) {
      if (a != std::floor(a)) return std::nullopt;
      lo = std::min(lo, a);
      hi = std::max(hi, a);
    }
    if (hi - lo > double(1 << 20)) return std::nullopt;
    WholeCounts c;
    c.Low = lo;
    c.Counts.assign(static_cast<std::size_t>(hi - lo) + 1, 0);
    for (const double a : v) ++c.Counts[static_cast<std::size_t>(a - lo)];
    c.Total = v.size();
    return c;
  }
  // The value of rank k (0-based) in increasing order.
  double Rank(std::size_t k) const {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < Counts.size(); ++i) {
      seen += Counts[i];
      if (seen > k) return Low + static_cast<double>(i);
    }
    return Low + static_cast<double>(Counts.size() - 1);
  }
  double Median() const {
    const std::size_t mid = Total / 2;
    return Total % 2 ? Rank(mid) : (Rank(mid - 1) + Rank(mid)) / 2;
  }
  double Low = 0;
  std::vector<std::uint32_t> Counts;
  std::size_t Total = 0;
};

double MedianOf(std::vector<double>& v) {
  if (const auto c = WholeCounts::Of(v)) return c->Median();
  return SortedMedianOf(v);
}

// The median of absolute values that are all whole numbers, as of data
// grouped in classes one wide (k stands for k-0.5..k+0.5, 0 for 0..0.5):
// interpolated within the median's class. A plain median of |differences|
// of 12-bit codes moves in whole steps, a tenth of the noise at sigma = 2.
double GroupedMedianOfAbs(std::vector<double>& v) {
  const auto c = WholeCounts::Of(v);
  if (!c || c->Low < 0) return SortedMedianOf(v);
  const double m = c->Rank(v.size() / 2);
  const auto at = static_cast<std::size_t>(m - c->Low);
  std::size_t below = 0;
  for (std::size_t i = 0; i < at; ++i) below += c->Counts[i];
  const auto within = static_cast<double>(c->Counts[at]);
  const double lo = m == 0 ? 0.0 : m - 0.5, width = m == 0 ? 0.5 : 1.0;
  return lo + width * (static_cast<double>(v.size()) / 2 - static_cast<double>(below)) / within;
}

// Box means of y - baseline over 2h+1 points, the box shrunk at the ends.
class BoxMeans {
 public:
  BoxMeans(std::span<const double> x, std::span<const double> y, const LineSearch& r) : sums_(y.size() + 1, 0.0) {
    for (std::size_t i = 0; i < y.size(); ++i) sums_[i + 1] = sums_[i] + (y[i] - r.BaselineAt(x[i]));
  }
  double At(std::size_t i, std::size_t h) const {
    const std::size_t n = sums_.size() - 1;
    const std::size_t lo = i >= h ? i - h : 0;
    const std::size_t hi = std::min(n - 1, i + h);
    return (sums_[hi + 1] - sums_[lo]) / static_cast<double>(hi - lo + 1);
  }

 private:
  std::vector<double> sums_;
};

// x at a fractional index.
double XAt(std::span<const double> x, double index) {
  const auto i = static_cast<std::size_t>(index);
  if (i + 1 >= x.size()) return x[x.size() - 1];
  return x[i] + (index - static_cast<double>(i)) * (x[i + 1] - x[i]);
}

struct Extreme {
  std::size_t At;
  bool IsMax;
  double Value;
};

// The alternating maxima and minima of the box means of 2h+1 points that
// each differ from the one before by at least delta; the ends count where
// the signal leaves them by that much.
std::vector<Extreme> ZigZag(const BoxMeans& box, std::size_t n, std::size_t h, double delta) {
  std::vector<Extreme> out;
  std::size_t imx = 0, imn = 0;
  double mx = box.At(0, h), mn = mx;
  int dir = 0;  // +1: following a maximum, -1: a minimum, 0: not yet known
  for (std::size_t i = 1; i < n; ++i) {
    const double v = box.At(i, h);
    if (dir == 0) {
      if (v > mx) mx = v, imx = i;
      if (v < mn) mn = v, imn = i;
      if (mx - mn >= delta) {
        if (imx > imn) {
          out.push_back({imn, false, mn});
          dir = 1;
        } else {
          out.push_back({imx, true, mx});
          dir = -1;
        }
      }
    } else if (dir > 0) {
      if (v > mx) {
        mx = v, imx = i;
      } else if (v < mx - delta) {
        out.push_back({imx, true, mx});
        dir = -1;
        mn = v, imn = i;
      }
    } else {
      if (v < mn) {
        mn = v, imn = i;
      } else if (v > mn + delta) {
        out.push_back({imn, false, mn});
        dir = 1;
        mx = v, imx = i;
      }
    }
  }
  if (dir > 0) out.push_back({imx, true, mx});
  if (dir < 0) out.push_back({imn, false, mn});
  return out;
}

// Whether the box means cross the baseline between the extremes i1 < i2 as
// a line does: a line's derivative is steepest at its centre, its slope
// there 1.6-1.8 times the mean slope from extreme to extreme (Gaussian,
// Lorentzian; a little less through the box), while between two lines (or
// along a line's tail under a drift) the crossing is the gentlest stretch.
bool SteepCrossing(const BoxMeans& box, std::size_t h, std::size_t i1, std::size_t i2) {
  if (i2 <= i1 + 1) return true;
  const double a = box.At(i1, h), b = box.At(i2, h);
  // The crossing nearest the middle: between two lines apart the first one
  // lies at the foot of a lobe, and noise crosses the stretch between all
  // along.
  const std::size_t mid = i1 + (i2 - i1) / 2;
  std::size_t c = i1, nearest = SIZE_MAX;
  double before = a;
  for (std::size_t i = i1; i < i2; ++i) {
    const double next = box.At(i + 1, h);
    const std::size_t distance = i >= mid ? i - mid : mid - i;
    if ((before > 0) != (next > 0) && distance < nearest) c = i, nearest = distance;
    before = next;
  }
  const std::size_t k = std::max<std::size_t>(1, (i2 - i1) / 8);
  const std::size_t lo = c >= i1 + k ? c - k : i1, up = std::min(i2, c + 1 + k);
  const double slope = std::fabs(box.At(up, h) - box.At(lo, h)) / static_cast<double>(up - lo);
  const double mean = std::fabs(a - b) / static_cast<double>(i2 - i1);
  return slope >= mean;
}

// The steepest slope of the box means of 2h+1 points from i1 to i2, each
// slope taken over `span` points (fewer where the stretch is shorter).
double Steepest(const BoxMeans& box, std::size_t h, std::size_t i1, std::size_t i2, std::size_t span) {
  const std::size_t k = std::max<std::size_t>(1, std::min(span, i2 - i1));
  double most = 0;
  for (std::size_t i = i1; i + k <= i2; ++i) most = std::max(most, std::fabs(box.At(i + k, h) - box.At(i, h)));
  return most / static_cast<double>(k);
}

// Whether the stretch between the extremes i1 < i2 holds a line's centre: a
// line's derivative is steepest there, its tails at most half as steep
// (Gaussian; a quarter, Lorentzian), whatever the baseline. The stretch
// between two lines (the inner lobe of a line cut by the range end and its
// neighbour's, say) holds only tails, and a stretch as long beside it
// reaches into a line's centre. The slopes are taken over an eighth of the
// stretch.
bool HoldsACentre(const BoxMeans& box, std::size_t h, std::size_t n, std::size_t i1, std::size_t i2, bool middle) {
  // An extreme is taken where its flat top begins (a clipped line's): the
  // stretch starts where it ends.
  while (i1 + 1 < i2 && box.At(i1 + 1, h) == box.At(i1, h)) ++i1;
  const std::size_t length = i2 - i1, span = std::max<std::size_t>(1, length / 8);
  const double own = Steepest(box, h, i1, i2, span);
  // A line makes three quarters of its swing over the middle half of its
  // stretch (Gaussian, Lorentzian; half where its tops are clipped, or the
  // range cuts it); the stretch between two lines is gentle there, steep
  // only beside a line's extreme.
  if (middle && std::fabs(box.At(i1 + length / 4, h) - box.At(i2 - length / 4, h)) <
                    0.4 * std::fabs(box.At(i1, h) - box.At(i2, h)))
    return false;
  const double before = i1 > 0 ? Steepest(box, h, i1 >= length ? i1 - length : 0, i1, span) : 0;
  const double after = i2 + 1 < n ? Steepest(box, h, i2, std::min(n - 1, i2 + length), span) : 0;
  return own >= before && own >= after;
}

// Two lines so close that one's second lobe and the other's first cancel
// leave a lobe, a stretch near the baseline and a lobe of the other sign,
// and no pair of neighbouring extremes crosses the baseline once. Both
// outer lobes stand out, each of at least half the threshold, with only
// swings of a fifth of either between them: the index of the far lobe of
// such a pair starting at ext[k], or 0.
std::size_t FarLobe(const std::vector<Extreme>& ext, std::size_t k, double threshold) {
  const double sign = ext[k].IsMax ? 1 : -1;
  const double a = sign * ext[k].Value;
  if (!(a >= threshold / 2)) return 0;
  double between = 0;
  for (std::size_t m = k + 1; m < ext.size(); ++m) {
    const double b = sign * ext[m].Value;
    if (ext[m].IsMax != ext[k].IsMax && m > k + 1 && b <= -threshold / 2)
      return between <= 0.2 * std::min(a, -b) && a - b >= threshold ? m : 0;
    between = std::max(between, std::fabs(b));
    if (between > 0.2 * a) return 0;
  }
  return 0;
}

}  // namespace

namespace {

// sigma from the second differences at lag L, y[i+2L] - 2 y[i+L] + y[i], of
// at most `most` of them spread over the points.
double SigmaAtLag(std::span<const double> y, std::size_t lag, std::size_t most) {
  const std::size_t count = y.size() - 2 * lag;
  const std::size_t stride = std::max<std::size_t>(1, count / most);
  std::vector<double> d;
  d.reserve(count / stride + 1);
  for (std::size_t i = 0; i < count; i += stride) d.push_back(y[i + 2 * lag] - 2 * y[i + lag] + y[i]);
  const double med = MedianOf(d);
  for (double& a : d) a = std::fabs(a - med);
  const double mad = GroupedMedianOfAbs(d);
  const double robust = 1.482602218505602 * mad / std::sqrt(6.0);
  if (mad >= 0.5 && (lag == 1 || robust >= 1)) return robust;
  // Noise below a code, rounded to whole codes, rests on one code for long
  // stretches, the more so the smoother it is: most differences are 0 and
  // their median says little of its excursions. Their mean square then,
  // leaving out the differences beyond 3.5 times their own scatter, which
  // only a line makes.
  double limit = std::max(1.5, 3.5 * 1.482602218505602 * mad), rms = 0;
  for (int round = 0; round < 4; ++round) {
    double sum = 0;
    std::size_t within = 0;
    for (const double a : d)
      if (a <= limit) sum += a * a, ++within;
    rms = std::sqrt(sum / static_cast<double>(std::max<std::size_t>(1, within)));
    limit = std::max(1.5, 3.5 * rms);
  }
  return std::max(robust, rms / std::sqrt(6.0));
}

}  // namespace

NoiseEstimate EstimateNoise(std::span<const double> y, std::size_t minLag) {
  constexpr double kQuantisation = 0.28867513459481287;  // 1/sqrt(12)
  NoiseEstimate e{kQuantisation, 1};
  if (y.size() < 4) return e;
  // Every lag from a sample of at most 16,384 second differences spread
  // over the points, enough for about one per cent. The lag grows (up to
  // 128) while the estimate still grows by more than 15 %: correlated noise
  // (a sample written to several codes at the slower sweeps, the real-time
  // filter, accumulation, smoothing) hides from short lags. Where it levels
  // off, the points are as good as independent. A known correlation (the
  // real-time filter's, exponential: at four of its lengths the second
  // differences see 98 % of the noise) sets the least lag.
  std::size_t lag = 1;
  const std::size_t least = minLag > 1 ? 4 * minLag : 1;
  while (lag < least && y.size() >= 8 * 2 * lag) lag *= 2;
  double sigma = SigmaAtLag(y, lag, 16384);
  while (lag < std::max<std::size_t>(128, least) && y.size() >= 8 * 2 * lag) {
    const double longer = SigmaAtLag(y, 2 * lag, 16384);
    if (!(longer > 1.15 * sigma)) break;
    sigma = longer;
    lag *= 2;
  }
  // A range too short for that lag: the second differences at `lag` of
  // noise correlated as exp(-d / minLag) hold 6 - 8x + 2x^2 of its six
  // variances, x = exp(-lag / minLag).
  if (minLag > 1 && lag < least) {
    const double x = std::exp(-static_cast<double>(lag) / static_cast<double>(minLag));
    sigma *= std::sqrt(6 / (6 - 8 * x + 2 * x * x));
  }
  e.Sigma = std::max(kQuantisation, sigma);
  e.Lag = static_cast<int>(lag);
  return e;
}

double NoiseSigma(std::span<const double> y) { return EstimateNoise(y).Sigma; }

namespace {

// LineSearch's baseline of the points: a straight line through the medians
// of stretches of the range (Theil-Sen: the median of the slopes between
// every two of them, then the median of the offsets) to begin with; then, a
// few times over, a parabola fitted to the stretches whose medians lie near
// it, the others (lobes of lines, whose medians stand off the baseline on
// either side) left out. A drift, straight or curved, is then no line, and a
// range cut through a lobe does not tilt the baseline.
// `spread`: the points over which the noise counts as one sample.
void SmoothBaseline(std::span<const double> x, std::span<const double> y, double sigma, std::size_t spread,
                    LineSearch& r) {
  const std::size_t n = y.size();
  const std::size_t blocks = std::min<std::size_t>(64, n / 4);
  std::vector<double> bx, by, work;
  for (std::size_t b = 0; b < blocks; ++b) {
    const std::size_t from = n * b / blocks, to = n * (b + 1) / blocks;
    work.assign(y.begin() + static_cast<std::ptrdiff_t>(from), y.begin() + static_cast<std::ptrdiff_t>(to));
    by.push_back(MedianOf(work));
    // The codes are in increasing order: their median is the middle one.
    const std::size_t mid = from + (to - from) / 2;
    bx.push_back((to - from) % 2 ? x[mid] : (x[mid - 1] + x[mid]) / 2);
  }
  r.BaselineX = x[n / 2];
  r.BaselineCurvature = 0;
  std::vector<double> slopes;
  for (std::size_t i = 0; i < bx.size(); ++i)
    for (std::size_t j = i + 1; j < bx.size(); ++j)
      if (bx[j] > bx[i]) slopes.push_back((by[j] - by[i]) / (bx[j] - bx[i]));
  r.BaselineSlope = slopes.empty() ? 0.0 : SortedMedianOf(slopes);
  work.clear();
  for (std::size_t i = 0; i < bx.size(); ++i) work.push_back(by[i] - r.BaselineSlope * (bx[i] - r.BaselineX));
  r.Baseline = work.empty() ? y[n / 2] : SortedMedianOf(work);
  if (bx.size() < 8) return;
  // A block's median of white noise varies by about 1.25 sigma / sqrt(points).
  const double floor = 3 * 1.25 * sigma / std::sqrt(static_cast<double>(n / blocks));
  const double half = (x[n - 1] - x[0]) / 2;
  if (!(half > 0)) return;
  std::vector<double> residual(bx.size());
  for (int round = 0; round < 5; ++round) {
    for (std::size_t i = 0; i < bx.size(); ++i) residual[i] = by[i] - r.BaselineAt(bx[i]);
    // The scale of the baseline's own scatter from the quarter of the
    // blocks nearest it (|z| of normal scatter has its lower quartile at
    // 0.3186): lobes may fill most of the range.
    work.assign(residual.begin(), residual.end());
    for (double& a : work) a = std::fabs(a);
    const auto quarter = static_cast<std::ptrdiff_t>(work.size() / 4);
    std::nth_element(work.begin(), work.begin() + quarter, work.end());
    double limit = std::max(floor, 3 * work[static_cast<std::size_t>(quarter)] / 0.3186);
    // A range cut through strong lobes leaves few blocks on the baseline:
    // the quartile then lies on lobes, and so would the parabola. Where a
    // quarter of the blocks lie within five times the floor (three times a
    // block's noise, of as many independent samples as it holds) and half a
    // code, only those.
    const double capped = 5 * (floor * std::sqrt(static_cast<double>(std::max<std::size_t>(1, spread))) + 0.5);
    if (capped < limit) {
      std::size_t within = 0;
      for (const double d : residual) within += std::fabs(d) <= capped;
      if (within >= bx.size() / 4 && within >= 6) limit = capped;
    }
    // Least squares of a parabola in t = (x - BaselineX) / half over the
    // blocks within the limit.
    Eigen::Matrix3d a = Eigen::Matrix3d::Zero();
    Eigen::Vector3d v = Eigen::Vector3d::Zero();
    std::size_t kept = 0;
    for (std::size_t i = 0; i < bx.size(); ++i) {
      if (std::fabs(residual[i]) > limit) continue;
      const double t = (bx[i] - r.BaselineX) / half;
      const Eigen::Vector3d row(1, t, t * t);
      a += row * row.transpose();
      v += row * by[i];
      ++kept;
    }
    if (kept < bx.size() / 4 || kept < 6) return;
    const Eigen::Vector3d c = a.ldlt().solve(v);
    if (!c.allFinite()) return;
    r.Baseline = c[0];
    r.BaselineSlope = c[1] / half;
    r.BaselineCurvature = c[2] / (half * half);
  }
}

}  // namespace

namespace {

// The real-time filter starts again with each pass at the low end: over its
// first samples it is a plain mean of j of them, whose noise is that of the
// steady filter (a weight of 1/K, sigma^2 / (2K - 1)) times
// sqrt((2K - 1) / j). The noise a line there stands out of, in units of the
// steady noise.
double FilterStartNoise(const LineSearchOptions& o, double code) {
  if (o.FilterConstant < 2) return 1;
  const double j = std::max(0.0, code) / std::max(1, o.SampleCodes) + 1;
  return std::sqrt(std::max(1.0, (2.0 * o.FilterConstant - 1) / j));
}

}  // namespace

LineSearchOptions SearchOptionsOf(const RecordedParameters& r) {
  LineSearchOptions o;
  if (r.ValidSpeed) o.SampleCodes = SpeedTable[static_cast<std::size_t>(*r.ValidSpeed)].Step;
  // The last record: 0 when the filter was off.
  if (const auto k = r.Get(TagFilterConst)) o.FilterConstant = *k;
  return o;
}

LineSearch FindLines(std::span<const double> x, std::span<const double> y, const LineSearchOptions& o) {
  LineSearch r;
  const std::size_t n = std::min(x.size(), y.size());
  const auto sampleCodes = static_cast<std::size_t>(std::max(1, o.SampleCodes));
  const NoiseEstimate noise =
      EstimateNoise(y.first(n), o.FilterConstant > 1 ? static_cast<std::size_t>(o.FilterConstant) * sampleCodes : 1);
  r.Sigma = noise.Sigma;
  r.NoiseLag = noise.Lag;
  if (n < 8) return r;
  // Boxes narrower than the noise's correlation would take its wiggles for
  // lines; each box's means vary as those of (2h+1)/lag independent points.
  // The filter's own length where it is known: the noise lag is a power of
  // two up to four times longer, to measure sigma whole.
  const auto lag = o.FilterConstant > 1
                       ? std::min(static_cast<std::size_t>(r.NoiseLag), static_cast<std::size_t>(o.FilterConstant) * sampleCodes)
                       : static_cast<std::size_t>(r.NoiseLag);
  // The real-time filter's samples are correlated as (1 - 1/K)^d, whose sum
  // over d of either sign is 2K - 1: a mean over m samples holds m / (2K - 1)
  // independent ones.
  const std::size_t spread =
      o.FilterConstant > 1 ? std::max(lag, (2 * static_cast<std::size_t>(o.FilterConstant) - 1) * sampleCodes) : lag;
  SmoothBaseline(x.first(n), y.first(n), r.Sigma, spread, r);
  const BoxMeans box(x.first(n), y.first(n), r);
  const double threshold = MinLineSnr * r.Sigma;
  const bool whole = std::all_of(y.begin(), y.begin() + static_cast<std::ptrdiff_t>(n),
                                 [](double v) { return v == std::floor(v); });

  // Detection on box means of 55, 19, 7 and 3 points: the wider boxes keep
  // noise from splitting the lobes of weak broad lines, the narrower ones
  // keep narrow lines whole. A box of 2h+1 independent points leaves noise
  // of sigma/sqrt(2h+1), far below a swing of 5 sigma even for h = 1.
  struct Scale {
    std::size_t H;
    std::vector<Extreme> Ext;
    double Threshold;  // the least peak-to-peak of a line on these means
  };
  std::vector<Scale> scales;
  for (const std::size_t h : {27, 9, 3, 1}) {
    if (2 * h + 1 > n / 8 && h != 1) continue;
    if (2 * h + 1 < 2 * lag && h != 27) continue;
    const double independent = std::max(1.0, (2.0 * static_cast<double>(h) + 1) / static_cast<double>(spread));
    const double sigmaS = r.Sigma / std::sqrt(independent);
    // Correlated noise (the real-time filter's, accumulated) is smooth on
    // these means: it swings from a crest to a trough over its correlation
    // length, n / length times over the range, and the greatest of those
    // swings reaches twice the expected greatest of as many normal values,
    // 2 sqrt(2 ln(n / length)) sigma (7.3 sigma at K = 50 over a full range).
    double least = threshold;
    // Rounded to whole codes, each of the two extremes may gain half a code;
    // through the real-time filter, rounded once more before the mean, a
    // code.
    if (lag > 1)
      least = std::max(least, 2 * sigmaS * std::sqrt(2 * std::log(std::max(8.0, 4.0 * double(n) / double(lag)))) +
                                  (whole ? (o.FilterConstant > 1 ? 2.0 : 1.0) : 0.0));
    Scale sc{h, {}, least};
    sc.Ext = ZigZag(box, n, h, std::max(0.5 * threshold, MinLineSnr * sigmaS));
    scales.push_back(std::move(sc));
  }

  // Which lobe comes first: a line's pair or the pair between two lines of
  // the same phase crosses the baseline too, but n lines have at most n - 1
  // gaps, and a gap's swing (half of each neighbour's) is never the larger in
  // the sum of squares. Each box counts the pairs it would take.
  auto bandOf = [&](std::size_t j) {
    const std::size_t h = scales[j].H;
    return std::pair<std::size_t, std::size_t>{h > 1 ? 2 * (2 * h + 1) : 0,
                                               j == 0 ? n : 4 * (2 * scales[j - 1].H + 1)};
  };
  // Each pair of far lobes (FarLobe) whose width suits its box.
  auto eachFarPair = [&](const auto& take) {
    for (std::size_t j = 0; j < scales.size(); ++j) {
      const auto [narrowest, widest] = bandOf(j);
      for (std::size_t k = 0; k + 2 < scales[j].Ext.size(); ++k) {
        const std::size_t m = FarLobe(scales[j].Ext, k, scales[j].Threshold);
        const std::size_t iw = m ? scales[j].Ext[m].At - scales[j].Ext[k].At : 0;
        if (m && iw >= narrowest && iw < widest) take(scales[j], k, m);
      }
    }
  };
  // First the pairs whose stretch holds a line's centre, judged from the
  // slopes alone, and lies inside the range (beyond a range end the slope
  // is not known); where none does (a line cut by both ends, weak lines in
  // smooth noise), the pairs that cross the baseline steeply.
  double score[2] = {0, 0};  // max first, min first
  // A zoom too short for any box the noise's correlation allows: nothing
  // to tell a line from the noise by.
  if (scales.empty()) return r;
  const std::size_t edge = 2 * scales.front().H;
  auto inside = [&](std::size_t i1, std::size_t i2) { return i1 > edge && i2 + edge < n - 1; };
  for (std::size_t j = 0; j < scales.size(); ++j) {
    const Scale& sc = scales[j];
    const auto [narrowest, widest] = bandOf(j);
    for (std::size_t k = 0; k + 1 < sc.Ext.size(); ++k) {
      const double a = sc.Ext[k].Value, b = sc.Ext[k + 1].Value;
      const std::size_t i1 = sc.Ext[k].At, i2 = sc.Ext[k + 1].At;
      if (std::fabs(a - b) < sc.Threshold || i2 - i1 < narrowest || i2 - i1 >= widest) continue;
      if (!inside(i1, i2) || !HoldsACentre(box, sc.H, n, i1, i2, true)) continue;
      score[sc.Ext[k].IsMax ? 0 : 1] += (a - b) * (a - b);
    }
  }
  eachFarPair([&](const Scale& sc, std::size_t k, std::size_t m) {
    if (!inside(sc.Ext[k].At, sc.Ext[m].At) || !HoldsACentre(box, sc.H, n, sc.Ext[k].At, sc.Ext[m].At, false)) return;
    const double swing = sc.Ext[k].Value - sc.Ext[m].Value;
    score[sc.Ext[k].IsMax ? 0 : 1] += swing * swing;
  });
  if (score[0] == 0 && score[1] == 0) {
    for (std::size_t j = 0; j < scales.size(); ++j) {
      const Scale& sc = scales[j];
      const auto [narrowest, widest] = bandOf(j);
      for (std::size_t k = 0; k + 1 < sc.Ext.size(); ++k) {
        const double a = sc.Ext[k].Value, b = sc.Ext[k + 1].Value;
        const std::size_t iw = sc.Ext[k + 1].At - sc.Ext[k].At;
        if (a * b >= 0 || std::fabs(a - b) < sc.Threshold || iw < narrowest || iw >= widest) continue;
        if (!SteepCrossing(box, sc.H, sc.Ext[k].At, sc.Ext[k + 1].At)) continue;
        score[sc.Ext[k].IsMax ? 0 : 1] += (a - b) * (a - b);
      }
    }
    eachFarPair([&](const Scale& sc, std::size_t k, std::size_t m) {
      const double swing = sc.Ext[k].Value - sc.Ext[m].Value;
      score[sc.Ext[k].IsMax ? 0 : 1] += swing * swing;
    });
  }
  if (score[0] == 0 && score[1] == 0) return r;
  r.Phase = score[0] >= score[1] ? 1 : -1;

  // Candidates from the widest box down; a box is trusted only with lines at
  // least twice its width (the 3-point box with any), and a candidate sharing
  // points with a line already taken is the same line seen through less
  // smoothing, or noise on it.
  struct Span {
    std::size_t From, To;
  };
  std::vector<Span> taken;
  std::vector<double> local;
  // Measures the candidate pair i1 < i2 found on the box means of 2h+1
  // points and takes it as a line if it is one. `lonely`: the pair must
  // cross the baseline once; a pair across a stretch near the baseline is
  // taken only when asked for.
  // `onFlank`: the pair lies on a wider line taken before; its level is the
  // straight line between the means half a width outside it, not the
  // baseline.
  auto consider = [&](std::size_t i1, std::size_t i2, std::size_t h, bool lonely, bool onFlank = false) {
    const std::size_t iw = i2 - i1;
    // Measured again with a smoothing of at most a sixteenth of the width,
    // each extreme looked for from half a width outside up to the crossing.
    const std::size_t hi = std::min(h, iw / 16);
    const std::size_t lo = i1 >= iw / 2 ? i1 - iw / 2 : 0;
    const std::size_t up = std::min(n - 1, i2 + iw / 2);
    local.resize(up - lo + 1);
    const double levelLo = onFlank ? box.At(lo, hi) : 0, levelUp = onFlank ? box.At(up, hi) : 0;
    for (std::size_t i = lo; i <= up; ++i) {
      const double level =
          up > lo ? levelLo + (levelUp - levelLo) * static_cast<double>(i - lo) / static_cast<double>(up - lo) : 0;
      local[i - lo] = r.Phase * (box.At(i, hi) - level);
    }
    // The crossing nearest the first extreme of the detection.
    std::size_t cross = i1;
    while (cross < i2 && local[cross + 1 - lo] > 0) ++cross;
    // The extreme: the middle of the run of equal values starting at the
    // first greatest (a flat top of a digitised peak).
    auto middleOfRun = [&](std::size_t from, std::size_t to, int sign) {
      std::size_t best = from;
      for (std::size_t i = from; i <= to; ++i)
        if (sign * local[i - lo] > sign * local[best - lo]) best = i;
      std::size_t end = best;
      while (end + 1 <= to && local[end + 1 - lo] == local[best - lo]) ++end;
      return (static_cast<double>(best) + static_cast<double>(end)) / 2;
    };
    const double e1 = middleOfRun(lo, cross, 1);
    const double e2 = middleOfRun(std::min(cross + 1, up), up, -1);
    const double v1 = local[static_cast<std::size_t>(e1) - lo];
    const double v2 = local[static_cast<std::size_t>(e2) - lo];
    if (v1 <= 0 || v2 >= 0) return;

    // The centre: the middle of the first and last crossings between them.
    double firstCross = -1, lastCross = -1;
    for (auto i = static_cast<std::size_t>(e1); i < static_cast<std::size_t>(e2); ++i) {
      const double a = local[i - lo], b = local[i + 1 - lo];
      if ((a > 0 && b <= 0) || (a < 0 && b >= 0)) {
        const double at = static_cast<double>(i) + a / (a - b);
        if (firstCross < 0) firstCross = at;
        lastCross = at;
      }
    }
    // A line crosses the baseline once, steeply, between its extremes; a
    // stretch of baseline beside a lobe (between two lines of opposite
    // phase, say) is crossed by its noise all along.
    if (firstCross < 0 || (lonely && lastCross - firstCross > 0.3 * (e2 - e1))) return;

    FoundLine line;
    line.FirstCode = XAt(x, e1);
    line.SecondCode = XAt(x, e2);
    line.FirstValue = r.Phase * v1;
    line.SecondValue = r.Phase * v2;
    line.CentreCode = XAt(x, (firstCross + lastCross) / 2);
    line.Width = line.SecondCode - line.FirstCode;
    line.PeakToPeak = v1 - v2;
    line.Snr = line.PeakToPeak / (r.Sigma * FilterStartNoise(o, line.FirstCode));
    if (line.Snr < MinLineSnr) return;
    // A sample fills SampleCodes codes: a step from one sample to the next
    // is no line.
    if (line.Width < static_cast<double>(MinLineSamples * sampleCodes)) return;
    const double edge = static_cast<double>(std::max<std::size_t>(1, hi));
    line.CutLow = e1 <= edge;
    line.CutHigh = e2 >= static_cast<double>(n - 1) - edge;
    // Codes with no point (never written, or rejected) cut a line as a range
    // end does: an extreme at the edge of such a gap is only where the points
    // stop, and a gap between the extremes hides the centre.
    // A gap counts from 3 samples (points missing here and there are no
    // gap) and a quarter of the line as measured without it (a gap at an
    // extreme widens the line by its own length).
    auto gapWithin = [&](double from, double to) {
      const auto a = static_cast<std::size_t>(std::max(0.0, from));
      const auto b = static_cast<std::size_t>(std::min(static_cast<double>(n - 1), to));
      for (std::size_t i = a; i < b; ++i) {
        const double step = x[i + 1] - x[i];
        if (step > std::max(3.0 * static_cast<double>(sampleCodes), (line.Width - step) / 4)) return true;
      }
      return false;
    };
    const bool hidden = gapWithin(e1, e2);
    line.CutLow = line.CutLow || hidden || gapWithin(e1 - edge - 1, e1);
    line.CutHigh = line.CutHigh || hidden || gapWithin(e2, e2 + edge + 1);
    r.Lines.push_back(line);
    taken.push_back({std::min(i1, static_cast<std::size_t>(e1)), std::max(i2, static_cast<std::size_t>(e2))});
  };
  auto free = [&](std::size_t i1, std::size_t i2) {
    return std::none_of(taken.begin(), taken.end(), [&](const Span& t) { return i1 <= t.To && t.From <= i2; });
  };
  // Each pair of neighbouring extremes in the spectrum's phase, its first
  // lobe first, whose swing stands out and whose width suits its box: a
  // narrower box takes only lines too narrow for the box before it (noise
  // riding on a broad line makes swings there, but short ones).
  auto eachPair = [&](const auto& take) {
    for (std::size_t j = 0; j < scales.size(); ++j) {
      const Scale& sc = scales[j];
      const auto [narrowest, widest] = bandOf(j);
      for (std::size_t k = 0; k + 1 < sc.Ext.size(); ++k) {
        if (sc.Ext[k].IsMax != (r.Phase > 0)) continue;
        const std::size_t i1 = sc.Ext[k].At, i2 = sc.Ext[k + 1].At;
        const double a = r.Phase * sc.Ext[k].Value, b = r.Phase * sc.Ext[k + 1].Value;
        const std::size_t iw = i2 - i1;
        if (a - b < sc.Threshold || iw < narrowest || iw >= widest) continue;
        take(i1, i2, a, b, sc.H);
      }
    }
  };
  eachPair([&](std::size_t i1, std::size_t i2, double a, double b, std::size_t h) {
    if (a > 0 && b < 0 && free(i1, i2)) consider(i1, i2, h, true);
  });
  // A pair on a line at least four times as wide, on its flank, is a line
  // of its own, measured from the flank: never dropped for sharing points
  // with the wider one (whose extreme may have been measured on this one).
  eachPair([&](std::size_t i1, std::size_t i2, double, double, std::size_t h) {
    const std::size_t iw = i2 - i1;
    const bool within = std::any_of(taken.begin(), taken.end(), [&](const Span& t) {
      return i1 <= t.To && t.From <= i2 && 4 * iw < t.To - t.From;
    });
    const bool clear = std::none_of(taken.begin(), taken.end(), [&](const Span& t) {
      return i1 <= t.To && t.From <= i2 && !(4 * iw < t.To - t.From);
    });
    if (within && clear) consider(i1, i2, h, true, true);
  });
  // The pairs of far lobes (FarLobe) are taken as one line each: the fit
  // then leaves a residual above the noise, which says that more than one
  // line is there.
  eachFarPair([&](const Scale& sc, std::size_t k, std::size_t m) {
    if (sc.Ext[k].IsMax == (r.Phase > 0) && free(sc.Ext[k].At, sc.Ext[m].At))
      consider(sc.Ext[k].At, sc.Ext[m].At, sc.H, false);
  });
  std::sort(r.Lines.begin(), r.Lines.end(),
            [](const FoundLine& a, const FoundLine& b) { return a.CentreCode < b.CentreCode; });

  // Neighbours overlap when their centres are closer than twice the sum of
  // their widths: there the tail of a Lorentzian neighbour is still about 4 %
  // of its peak-to-peak amplitude at this line's extreme.
  for (std::size_t i = 0; i + 1 < r.Lines.size(); ++i) {
    FoundLine& a = r.Lines[i];
    FoundLine& b = r.Lines[i + 1];
    if (b.CentreCode - a.CentreCode < 2 * (a.Width + b.Width)) a.Overlaps = b.Overlaps = true;
  }
  // Fit windows: three widths either side of the centre, and at least half
  // a width beyond each extreme.
  for (FoundLine& line : r.Lines) {
    const double lo = std::min(line.CentreCode - 3 * line.Width, line.FirstCode - line.Width / 2);
    const double hi = std::max(line.CentreCode + 3 * line.Width, line.SecondCode + line.Width / 2);
    const auto xs = x.first(n);
    line.From = static_cast<std::size_t>(std::lower_bound(xs.begin(), xs.end(), lo) - xs.begin());
    const auto past = static_cast<std::size_t>(std::upper_bound(xs.begin(), xs.end(), hi) - xs.begin());
    line.To = past == 0 ? 0 : past - 1;
  }
  return r;
}

void PointsOf(const SpectrumBuffer& v, std::uint16_t a, std::uint16_t b, std::vector<double>& x,
              std::vector<double>& y) {
  x.clear();
  y.clear();
  // As far as the minimum/maximum search and the integral look.
  const std::size_t from = std::min(a, b), to = std::min(std::max(a, b), LastWritableIndex);
  for (std::size_t i = from; i <= to; ++i) {
    if (!IsValid(v[i])) continue;
    x.push_back(static_cast<double>(i));
    y.push_back(v[i].Value);
  }
}

}  // namespace qel
