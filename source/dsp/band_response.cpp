#include "band_response.h"

#include "band_design.h"
#include "kernel_table.h"

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

SquaredPolynomial squaredPolynomial (double c0, double c1, double c2) noexcept
{
	return {c0 + c2, c0 - c2, c0 + c1 + c2, c1 - c0 - c2};
}

/** A designed band as the response kernels evaluate it; false for a band that is exactly 1. */
bool squaredMagnitudeTerm (const BandSectionDesign& d, SquaredMagnitudeTerm& t) noexcept
{
	using Kind = BandSectionDesign::Kind;
	t = SquaredMagnitudeTerm {};
	t.power = d.power;
	switch (d.kind)
	{
		case Kind::Identity: return false;
		case Kind::SectionPair:
			t.sections = 2;
			t.num[1] = squaredPolynomial (d.second.b0, d.second.b1, d.second.b2);
			t.den[1] = squaredPolynomial (d.second.a0, d.second.a1, d.second.a2);
			[[fallthrough]];
		case Kind::Section:
			t.num[0] = squaredPolynomial (d.first.b0, d.first.b1, d.first.b2);
			t.den[0] = squaredPolynomial (d.first.a0, d.first.a1, d.first.a2);
			return true;
		case Kind::FirstOrderLowPass:
		case Kind::FirstOrderHighPass:
		{
			// |1 - a z^-1|^2 = (1 - a)^2 + 2a (1 - cos w); low-pass numerator g^2 * 2 (1 + cos w),
			// high-pass (1 - low-pass = (1 - g)(1 - z^-1) / (1 - a z^-1)) (1 - g)^2 * 2 (1 - cos w).
			const double a = 1 - 2 * d.g;
			const bool low = d.kind == Kind::FirstOrderLowPass;
			t.kind = low ? SquaredMagnitudeTerm::kFirstOrderLowPass : SquaredMagnitudeTerm::kFirstOrderHighPass;
			t.scale = low ? 2 * d.g * d.g : 2 * (1 - d.g) * (1 - d.g);
			t.a0 = (1 - a) * (1 - a), t.a1 = 2 * a;
			return true;
		}
	}
	return false;
}

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
	std::array<SquaredMagnitudeTerm, kNumBands> terms;
	int count = 0;
	for (const EqBand& band : bands)
		if (squaredMagnitudeTerm (designBandSections (band, fs), terms[static_cast<std::size_t> (count)]))
			++count;
	activeKernels ().squaredMagnitudes (terms.data (), count, cosW, sinW, bins, out);
}

} // namespace QuenrilEQ
