// The convolver's hot loop: the complex sum over partitions of input spectrum
// times kernel spectrum (B + 1 bins for blocks of B samples, padded to whole
// chunks), in the chunked layout of BlockConvolver: per chunk of 8 bins, 8 real parts then 8
// imaginary parts, so each partition's share of a chunk is two adjacent cache
// lines. A pass keeps a few chunks' sums in registers and walks every
// partition's spectra front to back, the pattern prefetchers follow best.
//
// Templates over an instruction-set description; the SSE2 form keeps the
// rounding of the plain complex multiply-accumulate.
#pragma once

namespace QuenrilEQ::kernels {

constexpr int kBinChunk = 8;

/** xr + j xi times hr + j hi, added to re + j im; the SSE2 form rounds like the plain expression. */
template <class Isa>
inline void multiplyAdd (typename Isa::V& re, typename Isa::V& im, typename Isa::V xr, typename Isa::V xi,
                         typename Isa::V hr, typename Isa::V hi) noexcept
{
	if constexpr (Isa::kFused)
	{
		re = Isa::negMulAdd (xi, hi, Isa::mulAdd (xr, hr, re));
		im = Isa::mulAdd (xi, hr, Isa::mulAdd (xr, hi, im));
	}
	else
	{
		re = Isa::add (re, Isa::sub (Isa::mul (xr, hr), Isa::mul (xi, hi)));
		im = Isa::add (im, Isa::add (Isa::mul (xr, hi), Isa::mul (xi, hr)));
	}
}

/**
 * Chunks firstChunk .. firstChunk + kChunks - 1 of the sum over the partitions; with kAhead also
 * of the next block's known part, ring[newest - p] * kernel[p + 1], from the same loads of ring.
 */
template <class Isa, int kChunks, bool kAhead>
inline void sumChunks (int firstChunk, double* acc, double* ahead, const double* ring, int newestSlot, int ringSize,
                       const double* kernel, int partitions, int bins) noexcept
{
	using V = typename Isa::V;
	constexpr int kParts = kBinChunk / Isa::kWidth;  // registers per half chunk
	V re[kChunks][kParts], im[kChunks][kParts], nextRe[kChunks][kParts], nextIm[kChunks][kParts];
#pragma GCC unroll 8
	for (int c = 0; c < kChunks; ++c)
		for (int l = 0; l < kParts; ++l)
			re[c][l] = im[c][l] = nextRe[c][l] = nextIm[c][l] = Isa::zero ();
	const long offset = 2L * kBinChunk * firstChunk;
	const long spectrum = 2L * bins;
	int slot = newestSlot;
	for (int p = 0; p < partitions; ++p)
	{
		const double* x = ring + slot * spectrum + offset;
		const double* h = kernel + p * spectrum + offset;
		const bool withNext = kAhead && p + 1 < partitions;
#pragma GCC unroll 8
		for (int c = 0; c < kChunks; ++c)
#pragma GCC unroll 8
			for (int l = 0; l < kParts; ++l)
			{
				const int at = 2 * kBinChunk * c + Isa::kWidth * l;
				const V xr = Isa::load (x + at), xi = Isa::load (x + at + kBinChunk);
				multiplyAdd<Isa> (re[c][l], im[c][l], xr, xi, Isa::load (h + at), Isa::load (h + at + kBinChunk));
				if (withNext)
					multiplyAdd<Isa> (nextRe[c][l], nextIm[c][l], xr, xi, Isa::load (h + spectrum + at),
					                  Isa::load (h + spectrum + at + kBinChunk));
			}
		slot = slot == 0 ? ringSize - 1 : slot - 1;
	}
#pragma GCC unroll 8
	for (int c = 0; c < kChunks; ++c)
		for (int l = 0; l < kParts; ++l)
		{
			const int bin = kBinChunk * (firstChunk + c) + Isa::kWidth * l;
			Isa::store (acc + bin, re[c][l]);
			Isa::store (acc + bins + bin, im[c][l]);
			if constexpr (kAhead)
			{
				Isa::store (ahead + bin, nextRe[c][l]);
				Isa::store (ahead + bins + bin, nextIm[c][l]);
			}
		}
}

template <class Isa, bool kAhead>
void sumAllChunks (double* acc, double* ahead, const double* ring, int newestSlot, int ringSize, const double* kernel,
                   int partitions, int bins) noexcept
{
	// Chunks per pass: as many sums as the register file holds with room for the operands.
	constexpr int kPerPass = Isa::kWidth == 8 ? 4 : Isa::kWidth == 4 && !kAhead ? 2 : 1;
	const int chunks = bins / kBinChunk;
	int c = 0;
	for (; c + kPerPass <= chunks; c += kPerPass)
		sumChunks<Isa, kPerPass, kAhead> (c, acc, ahead, ring, newestSlot, ringSize, kernel, partitions, bins);
	for (; c < chunks; ++c)
		sumChunks<Isa, 1, kAhead> (c, acc, ahead, ring, newestSlot, ringSize, kernel, partitions, bins);
}

/**
 * acc (split layout: `bins` real parts, then `bins` imaginary parts; bins a multiple of 8) = the
 * sum over the partitions;
 * ahead, when not null, = the sum of ring[newest - p] * kernel[p + 1] over p < partitions - 1.
 */
template <class Isa>
void spectralSum (double* acc, double* ahead, const double* ring, int newestSlot, int ringSize, const double* kernel,
                  int partitions, int bins) noexcept
{
	if (ahead != nullptr)
		sumAllChunks<Isa, true> (acc, ahead, ring, newestSlot, ringSize, kernel, partitions, bins);
	else
		sumAllChunks<Isa, false> (acc, nullptr, ring, newestSlot, ringSize, kernel, partitions, bins);
}

} // namespace QuenrilEQ::kernels
