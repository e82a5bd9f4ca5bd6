// The convolver's hot loop: the complex sum over partitions of input spectrum
// times kernel spectrum, 136 bins (129 used, padded to whole chunks), in the
// chunked layout of BlockConvolver: per chunk of 8 bins, 8 real parts then 8
// imaginary parts, so each partition's share of a chunk is two adjacent cache
// lines. A pass keeps a few chunks' sums in registers and walks every
// partition's spectra front to back, the pattern prefetchers follow best.
//
// Templates over an instruction-set description; the SSE2 form keeps the
// rounding of the plain complex multiply-accumulate.
#pragma once

namespace QuenrilEQ::kernels {

constexpr int kSpectrumBins = 136;  // complex values per stored spectrum
constexpr int kBinChunk = 8;
constexpr int kBinChunks = kSpectrumBins / kBinChunk;

template <class Isa, int kChunks>
inline void sumChunks (int firstChunk, double* acc, const double* ring, int newestSlot, int ringSize,
                       const double* kernel, int partitions) noexcept
{
	using V = typename Isa::V;
	constexpr int kParts = kBinChunk / Isa::kWidth;  // registers per half chunk
	V re[kChunks][kParts], im[kChunks][kParts];
#pragma GCC unroll 8
	for (int c = 0; c < kChunks; ++c)
		for (int l = 0; l < kParts; ++l)
			re[c][l] = im[c][l] = Isa::zero ();
	const long offset = 2L * kBinChunk * firstChunk;
	int slot = newestSlot;
	for (int p = 0; p < partitions; ++p)
	{
		const double* x = ring + static_cast<long> (slot) * 2 * kSpectrumBins + offset;
		const double* h = kernel + static_cast<long> (p) * 2 * kSpectrumBins + offset;
#pragma GCC unroll 8
		for (int c = 0; c < kChunks; ++c)
#pragma GCC unroll 8
			for (int l = 0; l < kParts; ++l)
			{
				const double* xc = x + 2 * kBinChunk * c + Isa::kWidth * l;
				const double* hc = h + 2 * kBinChunk * c + Isa::kWidth * l;
				const V xr = Isa::load (xc), xi = Isa::load (xc + kBinChunk);
				const V hr = Isa::load (hc), hi = Isa::load (hc + kBinChunk);
				if constexpr (Isa::kFused)
				{
					re[c][l] = Isa::negMulAdd (xi, hi, Isa::mulAdd (xr, hr, re[c][l]));
					im[c][l] = Isa::mulAdd (xi, hr, Isa::mulAdd (xr, hi, im[c][l]));
				}
				else
				{
					re[c][l] = Isa::add (re[c][l], Isa::sub (Isa::mul (xr, hr), Isa::mul (xi, hi)));
					im[c][l] = Isa::add (im[c][l], Isa::add (Isa::mul (xr, hi), Isa::mul (xi, hr)));
				}
			}
		slot = slot == 0 ? ringSize - 1 : slot - 1;
	}
#pragma GCC unroll 8
	for (int c = 0; c < kChunks; ++c)
		for (int l = 0; l < kParts; ++l)
		{
			const int bin = kBinChunk * (firstChunk + c) + Isa::kWidth * l;
			Isa::store (acc + bin, re[c][l]);
			Isa::store (acc + kSpectrumBins + bin, im[c][l]);
		}
}

/** acc (split layout: 136 real parts, then 136 imaginary parts) = the sum over the partitions. */
template <class Isa>
void spectralSum (double* acc, const double* ring, int newestSlot, int ringSize, const double* kernel,
                  int partitions) noexcept
{
	// Chunks per pass: as many sums as the register file holds with room for the operands.
	constexpr int kPerPass = Isa::kWidth == 8 ? 4 : Isa::kWidth == 4 ? 2 : 1;
	int c = 0;
	for (; c + kPerPass <= kBinChunks; c += kPerPass)
		sumChunks<Isa, kPerPass> (c, acc, ring, newestSlot, ringSize, kernel, partitions);
	for (; c < kBinChunks; ++c)
		sumChunks<Isa, 1> (c, acc, ring, newestSlot, ringSize, kernel, partitions);
}

} // namespace QuenrilEQ::kernels
