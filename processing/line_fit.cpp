#include "line_fit.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include <Eigen/Dense>
#include <unsupported/Eigen/LevenbergMarquardt>

namespace qel {

const char* ShapeName(LineShape shape) { return shape == LineShape::Lorentz ? "лоренц" : "гаусс"; }
const char* ShapeKey(LineShape shape) { return shape == LineShape::Lorentz ? "lorentz" : "gauss"; }

namespace {

// Lines and one baseline on t = (x - x0) / scale:
//   f = b0 + b1 t - sum (A / k) phi(u),   u = (t - c) / (alpha w),
// Lorentz: phi = u / (1 + u^2)^2, gamma = alpha w with alpha = sqrt(3)/2;
// Gauss:   phi = u exp(-u^2 / 2),  sigma = alpha w with alpha = 1/2;
// k makes A the peak-to-peak amplitude and w the distance of the extremes.
// Parameters: b0, b1, then c, w, A of each line.
struct LinesModel : Eigen::DenseFunctor<double> {
  LinesModel(LineShape shape, int lines, const std::vector<double>& t, const std::vector<double>& y,
             const std::vector<double>& weight)
      : DenseFunctor(2 + 3 * lines, static_cast<int>(t.size())), shape(shape), lines(lines), t(t), y(y),
        weight(weight) {
    if (shape == LineShape::Lorentz) {
      alpha = std::sqrt(3.0) / 2;
      k = 2 * (1 / std::sqrt(3.0)) * (9.0 / 16.0);
    } else {
      alpha = 0.5;
      k = 2 * std::exp(-0.5);
    }
  }
  void Phi(double u, double& phi, double& dphi) const {
    if (shape == LineShape::Lorentz) {
      const double q = 1 + u * u;
      phi = u / (q * q);
      dphi = (1 - 3 * u * u) / (q * q * q);
    } else {
      const double e = std::exp(-0.5 * u * u);
      phi = u * e;
      dphi = (1 - u * u) * e;
    }
  }
  // phi and phi' of every line at every point for p; the solver asks for
  // the Jacobian where it last evaluated the residuals, so they are kept.
  void Shapes(const InputType& p) const {
    if (cachedP.size() == p.size() && cachedP == p) return;
    const std::size_t m = t.size();
    phis.resize(m * static_cast<std::size_t>(lines));
    dphis.resize(phis.size());
    us.resize(phis.size());
    for (int l = 0; l < lines; ++l) {
      const double c = p[2 + 3 * l], w = p[3 + 3 * l];
      const double scale = 1 / (alpha * w);
      const std::size_t base = m * static_cast<std::size_t>(l);
      for (std::size_t i = 0; i < m; ++i) {
        const double u = (t[i] - c) * scale;
        us[base + i] = u;
        Phi(u, phis[base + i], dphis[base + i]);
      }
    }
    cachedP = p;
  }
  int operator()(const InputType& p, ValueType& f) const {
    Shapes(p);
    const std::size_t m = t.size();
    for (std::size_t i = 0; i < m; ++i) {
      double v = p[0] + p[1] * t[i];
      for (int l = 0; l < lines; ++l) v -= (p[4 + 3 * l] / k) * phis[m * static_cast<std::size_t>(l) + i];
      f[static_cast<Eigen::Index>(i)] = weight[i] * (v - y[i]);
    }
    return 0;
  }
  int df(const InputType& p, JacobianType& j) const {
    Shapes(p);
    const std::size_t m = t.size();
    for (std::size_t i = 0; i < m; ++i) {
      const auto r = static_cast<Eigen::Index>(i);
      const double wt = weight[i];
      j(r, 0) = wt;
      j(r, 1) = wt * t[i];
      for (int l = 0; l < lines; ++l) {
        const double w = p[3 + 3 * l], a = p[4 + 3 * l];
        const std::size_t at = m * static_cast<std::size_t>(l) + i;
        j(r, 2 + 3 * l) = wt * (a / k) * dphis[at] / (alpha * w);
        j(r, 3 + 3 * l) = wt * (a / k) * dphis[at] * us[at] / w;
        j(r, 4 + 3 * l) = -wt * phis[at] / k;
      }
    }
    return 0;
  }

  LineShape shape;
  int lines;
  const std::vector<double>& t;
  const std::vector<double>& y;
  const std::vector<double>& weight;
  double alpha = 1, k = 1;
  mutable Eigen::VectorXd cachedP;
  mutable std::vector<double> phis, dphis, us;
};

// The 12-bit converter's top code.
constexpr double kAdcTop = 4095;

// Lines first..last of the search, fitted together.
struct GroupFit {
  std::vector<std::optional<LineFit>> Lines;
  double Residual = 0;
  bool Converged = false;
  bool TooFewPoints = false;  // fewer than two points a parameter in the window
};

GroupFit FitGroup(std::span<const double> x, std::span<const double> y, const LineSearch& search,
                  std::size_t first, std::size_t last, LineShape shape) {
  GroupFit out;
  out.Lines.resize(last - first + 1);
  const std::size_t n = std::min(x.size(), y.size());
  std::size_t from = n, to = 0;
  double narrowest = 0, widest = 0;
  for (std::size_t i = first; i <= last; ++i) {
    const FoundLine& l = search.Lines[i];
    if (l.To >= n || l.From > l.To || !(l.Width > 0)) {
      out.TooFewPoints = true;
      return out;
    }
    from = std::min(from, l.From);
    to = std::max(to, l.To);
    narrowest = i == first ? l.Width : std::min(narrowest, l.Width);
    widest = std::max(widest, l.Width);
  }
  // A long window is averaged in bins of at most a twentieth of the
  // narrowest line, so that a bin's mean stays the model's value.
  const std::size_t count = to - from + 1;
  constexpr std::size_t kMaxPoints = 1024;
  const double spacing = (x[to] - x[from]) / static_cast<double>(std::max<std::size_t>(1, count - 1));
  const auto finest = static_cast<std::size_t>(std::max(1.0, std::floor(narrowest / 20 / std::max(spacing, 1e-9))));
  const std::size_t bin = std::min((count + kMaxPoints - 1) / kMaxPoints, finest);
  const double x0 = search.Lines[first].CentreCode, scale = widest;
  std::vector<double> t, v, weight;
  t.reserve(count / bin + 1);
  v.reserve(count / bin + 1);
  weight.reserve(count / bin + 1);
  // Bins of `bin` points' worth of codes: a bin never spans a gap in the
  // points (its mean would stand in the gap, between values far apart).
  const double binCodes = static_cast<double>(bin) * spacing;
  double sx = 0, sy = 0, inBin = 0, binStart = x[from];
  auto flush = [&] {
    if (inBin > 0) {
      t.push_back((sx / inBin - x0) / scale);
      v.push_back(sy / inBin);
      weight.push_back(std::sqrt(inBin));
    }
    sx = sy = inBin = 0;
  };
  for (std::size_t j = from; j <= to; ++j) {
    if (bin == 1 || x[j] - binStart >= binCodes * (1 - 1e-9)) {
      flush();
      binStart = x[j];
    }
    // A point on the converter's rails is where a strong line was clipped.
    if (y[j] <= 0 || y[j] >= kAdcTop) continue;
    sx += x[j], sy += y[j], ++inBin;
  }
  flush();
  const int lines = static_cast<int>(last - first + 1);
  const int params = 2 + 3 * lines;
  if (t.size() < static_cast<std::size_t>(2 * params)) {
    out.TooFewPoints = true;
    return out;
  }

  LinesModel model(shape, lines, t, v, weight);
  Eigen::VectorXd p(params);
  p[0] = search.BaselineAt(x0);
  p[1] = search.BaselineSlopeAt(x0) * scale;
  for (int l = 0; l < lines; ++l) {
    const FoundLine& f = search.Lines[first + static_cast<std::size_t>(l)];
    p[2 + 3 * l] = (f.CentreCode - x0) / scale;
    p[3 + 3 * l] = f.Width / scale;
    p[4 + 3 * l] = search.Phase * f.PeakToPeak;
  }
  Eigen::LevenbergMarquardt<LinesModel> lm(model);
  lm.setMaxfev(200 * (params + 1));
  // Far below any standard error of a line; tighter only costs iterations.
  lm.setXtol(1e-7);
  lm.setFtol(1e-7);
  const auto status = lm.minimize(p);
  if (status == Eigen::LevenbergMarquardtSpace::ImproperInputParameters ||
      status == Eigen::LevenbergMarquardtSpace::TooManyFunctionEvaluation || !p.allFinite())
    return out;

  const auto m = static_cast<Eigen::Index>(t.size());
  Eigen::VectorXd f(m);
  Eigen::MatrixXd j(m, params);
  model(p, f);
  model.df(p, j);
  const double residual = f.squaredNorm();
  const Eigen::MatrixXd jtj = j.transpose() * j;
  const Eigen::FullPivLU<Eigen::MatrixXd> lu(jtj);
  if (!lu.isInvertible()) return out;
  const double dof = static_cast<double>(m - params);
  // Correlated noise: each point is worth less than an independent one. The
  // variances grow by the residuals' integrated autocorrelation time,
  // 1 + 2 (rho(1) + rho(2) + ...), summed while rho stays clearly above
  // the chance level 2/sqrt(m) of white noise.
  double tau = 1;
  for (Eigen::Index k = 1; k < m / 4 && k <= 512; ++k) {
    const double rho = f.head(m - k).dot(f.tail(m - k)) / residual;
    if (!(rho > 2 / std::sqrt(static_cast<double>(m)))) break;
    tau += 2 * rho;
  }
  const Eigen::VectorXd var = lu.inverse().diagonal() * (residual / dof * tau);
  if (!var.allFinite() || var.minCoeff() < 0) return out;
  out.Residual = residual;
  out.Converged = true;

  const double windowLo = x[from], windowHi = x[to];
  for (int l = 0; l < lines; ++l) {
    const int c = 2 + 3 * l;
    LineFit fit;
    fit.Shape = shape;
    fit.Centre = x0 + scale * p[c];
    fit.CentreError = scale * std::sqrt(var[c]);
    fit.Width = scale * std::fabs(p[c + 1]);
    fit.WidthError = scale * std::sqrt(var[c + 1]);
    // (w, A) and (-w, -A) are the same line.
    fit.Amplitude = search.Phase * (p[c + 1] < 0 ? -p[c + 2] : p[c + 2]);
    fit.AmplitudeError = std::sqrt(var[c + 2]);
    fit.Residual = residual;
    fit.Points = t.size();
    fit.ReducedChi2 = residual / (search.Sigma * search.Sigma * dof);
    // A bin's mean of correlated points keeps their noise, and its weight
    // is the root of its points.
    const double noiseChi2 = static_cast<double>(std::min<std::size_t>(bin, std::max(1, search.NoiseLag)));
    fit.ResidualAboveNoise = fit.ReducedChi2 > MaxNoiseChi2 * noiseChi2;
    if (fit.Width > 0 && fit.Width <= 2 * (windowHi - windowLo) && fit.Centre >= windowLo && fit.Centre <= windowHi)
      out.Lines[static_cast<std::size_t>(l)] = fit;
  }
  return out;
}

// Consecutive lines whose windows meet are fitted together.
template <typename Each>
void ForEachGroup(const LineSearch& search, Each each) {
  std::size_t first = 0;
  for (std::size_t i = 0; i < search.Lines.size(); ++i) {
    if (i + 1 < search.Lines.size() && search.Lines[i].To >= search.Lines[i + 1].From) continue;
    each(first, i);
    first = i + 1;
  }
}

}  // namespace

namespace {

// Each line's problem where its group has no fit.
void NoteProblems(const GroupFit& g, std::size_t first, std::size_t last, std::vector<FitProblem>* problems) {
  if (!problems) return;
  for (std::size_t i = first; i <= last; ++i)
    if (!g.Lines[i - first]) (*problems)[i] = g.TooFewPoints ? FitProblem::TooFewPoints : FitProblem::NoConvergence;
}

}  // namespace

const char* FitProblemText(FitProblem p) {
  switch (p) {
    case FitProblem::TooFewPoints:
      return "мало точек для подгонки";
    case FitProblem::NoConvergence:
      return "подгонка не сошлась";
    case FitProblem::None:
      break;
  }
  return "";
}

std::vector<std::optional<LineFit>> FitLines(std::span<const double> x, std::span<const double> y,
                                             const LineSearch& search, LineShape shape,
                                             std::vector<FitProblem>* problems) {
  std::vector<std::optional<LineFit>> out(search.Lines.size());
  if (problems) problems->assign(search.Lines.size(), FitProblem::None);
  ForEachGroup(search, [&](std::size_t first, std::size_t last) {
    GroupFit g = FitGroup(x, y, search, first, last, shape);
    for (std::size_t i = first; i <= last; ++i) out[i] = g.Lines[i - first];
    NoteProblems(g, first, last, problems);
  });
  return out;
}

std::vector<std::optional<LineFit>> FitLinesAuto(std::span<const double> x, std::span<const double> y,
                                                 const LineSearch& search, std::vector<FitProblem>* problems) {
  std::vector<std::optional<LineFit>> out(search.Lines.size());
  if (problems) problems->assign(search.Lines.size(), FitProblem::None);
  ForEachGroup(search, [&](std::size_t first, std::size_t last) {
    GroupFit l = FitGroup(x, y, search, first, last, LineShape::Lorentz);
    GroupFit g = FitGroup(x, y, search, first, last, LineShape::Gauss);
    const GroupFit& best = !l.Converged ? g : !g.Converged ? l : g.Residual < l.Residual ? g : l;
    for (std::size_t i = first; i <= last; ++i) out[i] = best.Lines[i - first];
    NoteProblems(best, first, last, problems);
  });
  return out;
}

LinesResult AnalyseLines(std::vector<double> x, std::vector<double> y, FitChoice fit,
                         const LineSearchOptions& o) {
  LinesResult r;
  r.X = std::move(x);
  r.Y = std::move(y);
  r.Search = FindLines(r.X, r.Y, o);
  r.Fits.resize(r.Search.Lines.size());
  r.Problems.assign(r.Search.Lines.size(), FitProblem::None);
  if (fit == FitChoice::Lorentz) r.Fits = FitLines(r.X, r.Y, r.Search, LineShape::Lorentz, &r.Problems);
  if (fit == FitChoice::Gauss) r.Fits = FitLines(r.X, r.Y, r.Search, LineShape::Gauss, &r.Problems);
  if (fit == FitChoice::Auto) r.Fits = FitLinesAuto(r.X, r.Y, r.Search, &r.Problems);
  return r;
}

}  // namespace qel
