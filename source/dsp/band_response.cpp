#include "band_response.h"

#include "band_design.h"

#include <algorithm>
#include <cmath>

namespace QuenrilEQ {

namespace {

constexpr double kPi = 3.14159265358979323846264338327950288;

bool isUsableRate (double sampleRateHz) noexcept
{
	return std::isfinite (sampleRateHz) && sampleRateHz > 0;
}

// Smith's method: no overflow from squaring large denominators.
std::complex<double> divide (std::complex<double> n, std::complex<double> d) noexcept
{
	const double a = n.real (), b = n.imag (), c = d.real (), e = d.imag ();
	if (std::fabs (c) >= std::fabs (e))
	{
		if (c == 0)  // and e == 0: the filter has a pole on the unit circle here
			return {a / c, b / c};
		const double r = e / c;
		const double den = c + e * r;
		return {(a + b * r) / den, (b - a * r) / den};
	}
	const double r = c / e;
	const double den = c * r + e;
	return {(a * r + b) / den, (b * r - a) / den};
}

std::complex<double> unitDelay (double freqHz, double sampleRateHz) noexcept
{
	const double theta = -2 * kPi * freqHz / sampleRateHz;
	return {std::cos (theta), std::sin (theta)};
}

std::complex<double> raise (std::complex<double> h, int power) noexcept
{
	std::complex<double> acc (1, 0);
	for (int i = 0; i < power; ++i)
		acc *= h;
	return acc;
}

// One bin of the grid, as the squared-magnitude forms need it: cos w, sin w and the distance of
// cos w from the nearer of +1 and -1 (1 - cos w for w < pi/2, 1 + cos w beyond), computed as
// sin^2 w / (1 +- cos w) so it keeps full precision where the difference itself would cancel.
struct Bin
{
	double c, s, u;
};

// |b0 + b1 z^-1 + b2 z^-2|^2 on the unit circle, from
// z (b0 + b1 z^-1 + b2 z^-2) = (b0 + b2) cos w + b1 + j (b0 - b2) sin w.
// The real part is taken relative to its value at DC (b0 + b1 + b2) or at Nyquist (b1 - b0 - b2),
// whichever is nearer: a shelf or cut whose corner is close to either end has a tiny value there,
// and the direct sum would lose most of its digits to cancellation.
struct SquaredPoly
{
	double p, r, atDc, atNyquist;
	explicit SquaredPoly (double c0, double c1, double c2) noexcept
	    : p (c0 + c2), r (c0 - c2), atDc (c0 + c1 + c2), atNyquist (c1 - c0 - c2)
	{
	}
	double at (const Bin& b) const noexcept
	{
		const double re = b.c > 0 ? atDc - p * b.u : atNyquist + p * b.u;
		const double im = r * b.s;
		return re * re + im * im;
	}
};

struct SquaredSection
{
	SquaredPoly num, den;
	explicit SquaredSection (const SectionCoefficients& c) noexcept
	    : num (c.b0, c.b1, c.b2), den (c.a0, c.a1, c.a2)
	{
	}
	double at (const Bin& b) const noexcept { return num.at (b) / den.at (b); }
};

double raiseReal (double x, int power) noexcept
{
	switch (power)
	{
		case 1: return x;
		case 2: return x * x;
		case 4: { const double x2 = x * x; return x2 * x2; }
		case 8: { const double x2 = x * x; const double x4 = x2 * x2; return x4 * x4; }
		default: { double acc = 1; for (int i = 0; i < power; ++i) acc *= x; return acc; }
	}
}

double oneMinusCos (const Bin& b) noexcept { return b.c > 0 ? b.u : 1 - b.c; }
double onePlusCos (const Bin& b) noexcept { return b.c > 0 ? 1 + b.c : b.u; }

} // namespace

//------------------------------------------------------------------------
std::complex<double> sectionResponse (const SectionCoefficients& c, double freqHz, double sampleRateHz) noexcept
{
	const double theta = -2 * kPi * freqHz / sampleRateHz;
	const double cs = std::cos (theta), sn = std::sin (theta);
	const std::complex<double> z1 (cs, sn);
	const std::complex<double> z2 (cs * cs - sn * sn, 2 * sn * cs);
	const std::complex<double> num = c.b0 + c.b1 * z1 + c.b2 * z2;
	const std::complex<double> den = c.a0 + c.a1 * z1 + c.a2 * z2;
	return divide (num, den);
}

BandSectionDesign designBandSections (const EqBand& band, double fs) noexcept
{
	BandSectionDesign d;
	if (!band.enabled || !isUsableRate (fs))
		return d;
	const int n = baseSectionCount (band.slope);
	const double f0 = band.freq, q = band.q, gain = band.gain;
	d.power = n;
	d.kind = BandSectionDesign::Kind::Section;
	switch (band.shape)
	{
		case kBell: d.first = designPeaking (f0, q, gain / n, fs); break;
		case kLowShelf: d.first = designLowShelf (f0, q, gain / n, fs); break;
		case kHighShelf: d.first = designHighShelf (f0, q, gain / n, fs); break;
		case kNotch: d.first = designNotch (f0, q, fs); break;
		case kBandPass: d.first = designBandPass (f0, q, fs); break;
		case kAllpass: d.first = designAllpass (f0, q, fs); break;
		case kTiltShelf:
			d.kind = BandSectionDesign::Kind::SectionPair;
			d.first = designLowShelf (f0, q, -gain / (2 * n), fs);
			d.second = designHighShelf (f0, q, gain / (2 * n), fs);
			break;
		case kLowCut:
		case kHighCut:
			if (band.slope <= 0)
			{
				const double k = std::tan (kPi * f0 / fs);
				d.g = k / (1 + k);
				d.power = 1;
				d.kind = band.shape == kLowCut ? BandSectionDesign::Kind::FirstOrderHighPass
				                               : BandSectionDesign::Kind::FirstOrderLowPass;
			}
			else
				d.first = band.shape == kLowCut ? designHighPass (f0, q, fs) : designLowPass (f0, q, fs);
			break;
		default:
			d = BandSectionDesign {};
			break;
	}
	return d;
}

std::complex<double> evaluateBandSections (const BandSectionDesign& d, double freqHz, double fs) noexcept
{
	using Kind = BandSectionDesign::Kind;
	switch (d.kind)
	{
		case Kind::Identity: return {1, 0};
		case Kind::Section: return raise (sectionResponse (d.first, freqHz, fs), d.power);
		case Kind::SectionPair:
			return raise (sectionResponse (d.first, freqHz, fs) * sectionResponse (d.second, freqHz, fs), d.power);
		case Kind::FirstOrderLowPass:
		case Kind::FirstOrderHighPass:
		{
			const std::complex<double> z1 = unitDelay (freqHz, fs);
			const double a = 1 - 2 * d.g;
			const std::complex<double> low = divide (d.g * (1.0 + z1), 1.0 - a * z1);
			if (d.kind == Kind::FirstOrderLowPass)
				return low;
			return {1 - low.real (), -low.imag ()};
		}
	}
	return {1, 0};
}

std::complex<double> bandResponse (const EqBand& band, double freqHz, double sampleRateHz) noexcept
{
	return evaluateBandSections (designBandSections (band, sampleRateHz), freqHz, sampleRateHz);
}

std::complex<double> combinedResponse (const std::array<EqBand, kNumBands>& bands, double freqHz,
                                       double sampleRateHz) noexcept
{
	std::complex<double> acc (1, 0);
	for (const EqBand& band : bands)
		acc *= bandResponse (band, freqHz, sampleRateHz);
	return acc;
}

//------------------------------------------------------------------------
void combinedSquaredMagnitudes (const std::array<EqBand, kNumBands>& bands, double fs, const double* cosW,
                                const double* sinW, int bins, double* out) noexcept
{
	using Kind = BandSectionDesign::Kind;
	std::array<BandSectionDesign, kNumBands> designs;
	int count = 0;
	for (const EqBand& band : bands)
	{
		designs[static_cast<std::size_t> (count)] = designBandSections (band, fs);
		if (designs[static_cast<std::size_t> (count)].kind != Kind::Identity)
			++count;
	}

	// A stretch of bins at a time (on the stack, no allocation), band by band within it, the grid
	// as one array per quantity: each inner loop has one shape and one power, and its choices
	// between two values compile to selects (see this file's build flags), so it vectorises.
	constexpr int kStretch = 256;
	double gridC[kStretch], gridS[kStretch], gridU[kStretch];
	for (int k0 = 0; k0 < bins; k0 += kStretch)
	{
		const int m = std::min (kStretch, bins - k0);
		double* o = out + k0;
		for (int k = 0; k < m; ++k)
		{
			const double cw = cosW[k0 + k], sw = sinW[k0 + k];
			gridC[k] = cw, gridS[k] = sw, gridU[k] = sw * sw / (cw > 0 ? 1 + cw : 1 - cw);
			o[k] = 1;
		}
		// o[k] *= term (bin k) raised to power, the power chosen outside the loop.
		auto multiplyRaised = [&] (int power, auto term) noexcept {
			auto at = [&] (int k) noexcept { return term (Bin {gridC[k], gridS[k], gridU[k]}); };
			switch (power)
			{
				case 1: for (int k = 0; k < m; ++k) o[k] *= raiseReal (at (k), 1); break;
				case 2: for (int k = 0; k < m; ++k) o[k] *= raiseReal (at (k), 2); break;
				case 4: for (int k = 0; k < m; ++k) o[k] *= raiseReal (at (k), 4); break;
				case 8: for (int k = 0; k < m; ++k) o[k] *= raiseReal (at (k), 8); break;
				default: for (int k = 0; k < m; ++k) o[k] *= raiseReal (at (k), power); break;
			}
		};
		for (int i = 0; i < count; ++i)
		{
			const BandSectionDesign& d = designs[static_cast<std::size_t> (i)];
			switch (d.kind)
			{
				case Kind::Identity: break;
				case Kind::Section:
				{
					const SquaredSection s (d.first);
					multiplyRaised (d.power, [&] (const Bin& b) noexcept { return s.at (b); });
					break;
				}
				case Kind::SectionPair:
				{
					const SquaredSection s1 (d.first), s2 (d.second);
					multiplyRaised (d.power, [&] (const Bin& b) noexcept { return s1.at (b) * s2.at (b); });
					break;
				}
				case Kind::FirstOrderLowPass:
				case Kind::FirstOrderHighPass:
				{
					// |1 - a z^-1|^2 = (1 - a)^2 + 2a (1 - cos w); low-pass numerator g^2 * 2 (1 + cos w),
					// high-pass (1 - low-pass = (1 - g)(1 - z^-1) / (1 - a z^-1)) (1 - g)^2 * 2 (1 - cos w).
					const double a = 1 - 2 * d.g;
					const double scale = d.kind == Kind::FirstOrderLowPass ? 2 * d.g * d.g : 2 * (1 - d.g) * (1 - d.g);
					if (d.kind == Kind::FirstOrderLowPass)
						multiplyRaised (1, [&] (const Bin& b) noexcept {
							return scale * onePlusCos (b) / ((1 - a) * (1 - a) + 2 * a * oneMinusCos (b));
						});
					else
						multiplyRaised (1, [&] (const Bin& b) noexcept {
							return scale * oneMinusCos (b) / ((1 - a) * (1 - a) + 2 * a * oneMinusCos (b));
						});
					break;
				}
			}
		}
	}
}

} // namespace QuenrilEQ
