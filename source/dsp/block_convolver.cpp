#include "block_convolver.h"

#include "kernel_table.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace QuenrilEQ {

namespace {

constexpr double kPi = 3.14159265358979323846264338327950288;

constexpr int kChunk = 8;  // bins per chunk: one 64-byte line of real parts, one of imaginary parts

// Stored spectra (delay line and kernel partitions) are chunked: [8 real][8 imaginary] per chunk of
// bins, so each partition's share of a chunk is two adjacent cache lines. Transforms come as
// (real, imaginary) pairs, `used` bins of them, and go in converted, the padding zero.
void interleavedToChunked (const double* bins, double* chunked, int used, int stride) noexcept
{
	for (int k = 0; k < stride; ++k)
	{
		double* at = chunked + 2 * kChunk * (k / kChunk) + k % kChunk;
		at[0] = k < used ? bins[2 * k] : 0.0;
		at[kChunk] = k < used ? bins[2 * k + 1] : 0.0;
	}
}

} // namespace

//------------------------------------------------------------------------
BlockConvolver::BlockConvolver (int maxKernelLength, int blockSize)
    : block (blockSize),
      fftSize (2 * blockSize),
      stride (static_cast<int> (RealFft::spectrumStride (2 * blockSize))),
      spectrumSize (2 * stride),
      fft (RealFft::forSize (fftSize)),
      capacity (std::max (1, (std::max (maxKernelLength, 0) + block - 1) / block)),
      kernelSpectra {AlignedBuffer (static_cast<std::size_t> (capacity * spectrumSize)),
                     AlignedBuffer (static_cast<std::size_t> (capacity * spectrumSize))},
      inputSpectra (static_cast<std::size_t> ((capacity + 1) * spectrumSize)),
      outputBlock {AlignedBuffer (static_cast<std::size_t> (block)), AlignedBuffer (static_cast<std::size_t> (block))},
      overlap {AlignedBuffer (static_cast<std::size_t> (block)), AlignedBuffer (static_cast<std::size_t> (block))},
      inputBlock (static_cast<std::size_t> (fftSize)),
      acc (static_cast<std::size_t> (spectrumSize)),
      ahead {AlignedBuffer (static_cast<std::size_t> (spectrumSize)), AlignedBuffer (static_cast<std::size_t> (spectrumSize))},
      result (static_cast<std::size_t> (fftSize)),
      scratch (static_cast<std::size_t> (fftSize)),
      bins (RealFft::interleavedSize (fftSize)),
      fadeIn (kCrossfadeLength)
{
	for (int j = 0; j < kCrossfadeLength; ++j)
		fadeIn[j] = 0.5 - 0.5 * std::cos (kPi * (j + 0.5) / kCrossfadeLength);
	loadKernel (nullptr, 0);
}

int BlockConvolver::partitionsFor (int length) const noexcept
{
	const int taps = std::max (length, 0);
	const int p = (taps + block - 1) / block;
	return std::clamp (p, 1, capacity);
}

bool BlockConvolver::keepsGoingWith (int length) const noexcept
{
	return partitionsFor (length) == partitions;
}

int BlockConvolver::slotBefore (int slot, int blocks) const noexcept
{
	return (slot - blocks % ringSize + ringSize) % ringSize;
}

void BlockConvolver::transformKernel (int set, const double* kernel, int length) noexcept
{
	const int taps = kernel == nullptr ? 0 : std::clamp (length, 0, partitions * block);
	double* t = scratch.data ();
	for (int p = 0; p < partitions; ++p)
	{
		std::fill (t, t + fftSize, 0.0);
		const int first = p * block;
		const int count = std::clamp (taps - first, 0, block);
		if (count > 0)
			std::copy (kernel + first, kernel + first + count, t);
		fft.forwardInterleaved (t, bins.data ());
		interleavedToChunked (bins.data (), kernelSpectra[set].data () + static_cast<std::ptrdiff_t> (p) * spectrumSize,
		                      block + 1, stride);
	}
}

void BlockConvolver::loadKernel (const double* kernel, int length) noexcept
{
	partitions = partitionsFor (kernel == nullptr ? 0 : length);
	ringSize = partitions + 1;
	std::fill (inputSpectra.data (), inputSpectra.data () + static_cast<std::ptrdiff_t> (ringSize) * spectrumSize, 0.0);
	for (int set = 0; set < 2; ++set)
	{
		outputBlock[set].clear ();
		overlap[set].clear ();
	}
	inputBlock.clear ();
	position = 0;
	oddBlock = false;
	newest = 0;
	current = 0;
	fading = false;
	fadePosition = 0;
	transformKernel (current, kernel, length);
}

void BlockConvolver::accumulate (int set, int newestSlot, double* next) noexcept
{
	activeKernels ().spectralSum (acc.data (), next, inputSpectra.data (), newestSlot, ringSize,
	                              kernelSpectra[set].data (), partitions, stride);
}

void BlockConvolver::accumulateBlock (int set) noexcept
{
	if (!oddBlock)
	{
		accumulate (set, newest, ahead[set].data ());
		return;
	}
	// The newest input's partition only, then what the last even block left for this one.
	activeKernels ().spectralSum (acc.data (), nullptr, inputSpectra.data (), newest, ringSize,
	                              kernelSpectra[set].data (), 1, stride);
	const double* known = ahead[set].data ();
	double* sum = acc.data ();
	for (int i = 0; i < spectrumSize; ++i)
		sum[i] += known[i];
}

void BlockConvolver::inverseInto (double* y) noexcept
{
	const double* sum = acc.data ();
	double* b = bins.data ();
	for (int k = 0; k <= block; ++k)
	{
		b[2 * k] = sum[k];
		b[2 * k + 1] = sum[stride + k];
	}
	fft.backwardInterleaved (b, y);
}

bool BlockConvolver::crossfadeToKernel (const double* kernel, int length) noexcept
{
	if (!keepsGoingWith (kernel == nullptr ? 0 : length))
	{
		loadKernel (kernel, length);
		return false;
	}
	// During a fade the incoming set is replaced; otherwise the idle set becomes the incoming one.
	const int incoming = fading ? current : 1 - current;
	transformKernel (incoming, kernel, length);

	// Recompute, with the new kernel, the output block now being handed out and the overlap that
	// follows it: the block sum over the newest history gives this block's head and the next
	// overlap; the sum one block further back gives the overlap this block started with.
	const double s = 1.0 / fftSize;
	double* out = outputBlock[incoming].data ();
	double* tail = overlap[incoming].data ();
	const double* y = result.data ();
	// An odd block comes next: it needs the incoming kernel's part of its sum, from the same sweep.
	accumulate (incoming, newest, oddBlock ? ahead[incoming].data () : nullptr);
	inverseInto (result.data ());
	for (int i = 0; i < block; ++i)
	{
		out[i] = s * y[i];
		tail[i] = s * y[block + i];
	}
	accumulate (incoming, slotBefore (newest, 1));
	inverseInto (result.data ());
	for (int i = 0; i < block; ++i)
		out[i] += s * y[block + i];

	if (!fading)
	{
		current = incoming;
		fading = true;
		fadePosition = 0;
	}
	return true;
}

void BlockConvolver::runBlock () noexcept
{
	newest = newest + 1 == ringSize ? 0 : newest + 1;
	fft.forwardInterleaved (inputBlock.data (), bins.data ());
	interleavedToChunked (bins.data (), inputSpectra.data () + static_cast<std::ptrdiff_t> (newest) * spectrumSize,
	                      block + 1, stride);

	const double s = 1.0 / fftSize;
	const double* y = result.data ();
	for (int n = 0; n < (fading ? 2 : 1); ++n)
	{
		const int set = n == 0 ? current : 1 - current;
		accumulateBlock (set);
		inverseInto (result.data ());
		double* out = outputBlock[set].data ();
		double* tail = overlap[set].data ();
		for (int i = 0; i < block; ++i)
		{
			out[i] = s * y[i] + tail[i];
			tail[i] = s * y[block + i];
		}
	}
	oddBlock = !oddBlock;
}

double BlockConvolver::processSample (double x) noexcept
{
	double y = outputBlock[current][static_cast<std::size_t> (position)];
	if (fading)
	{
		const double old = outputBlock[1 - current][static_cast<std::size_t> (position)];
		y = old + fadeIn[static_cast<std::size_t> (fadePosition)] * (y - old);
		if (++fadePosition == kCrossfadeLength)
			fading = false;
	}
	inputBlock[static_cast<std::size_t> (position)] = x;
	if (++position == block)
	{
		runBlock ();
		position = 0;
	}
	return y;
}

void BlockConvolver::processAdding (const float* in, double* sum, int numSamples) noexcept
{
	while (numSamples > 0)
	{
		const int run = std::min (numSamples, block - position);
		if (fading)
		{
			for (int i = 0; i < run; ++i)
				sum[i] += processSample (static_cast<double> (in[i]));
		}
		else
		{
			const double* ready = outputBlock[current].data () + position;
			double* pending = inputBlock.data () + position;
			for (int i = 0; i < run; ++i)
			{
				sum[i] += ready[i];
				pending[i] = in[i];
			}
			position += run;
			if (position == block)
			{
				runBlock ();
				position = 0;
			}
		}
		in += run;
		sum += run;
		numSamples -= run;
	}
}

} // namespace QuenrilEQ
