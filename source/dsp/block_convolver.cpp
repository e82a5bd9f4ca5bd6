#include "block_convolver.h"

#include "kernel_table.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace QuenrilEQ {

namespace {

constexpr double kPi = 3.14159265358979323846264338327950288;

int partitionsFor (int length, int capacity) noexcept
{
	const int taps = std::max (length, 0);
	const int p = (taps + BlockConvolver::kBlockSize - 1) / BlockConvolver::kBlockSize;
	return std::clamp (p, 1, capacity);
}

constexpr int kChunk = 8;  // bins per chunk: one 64-byte line of real parts, one of imaginary parts

// Stored spectra (delay line and kernel partitions) are chunked: [8 real][8 imaginary] per chunk of
// bins, so each partition's share of a chunk is two adjacent cache lines. RealFft's split layout
// (all real parts, then all imaginary parts) is converted on the way in.
void splitToChunked (const double* split, double* chunked, int stride) noexcept
{
	for (int c = 0; c < stride / kChunk; ++c)
		for (int j = 0; j < kChunk; ++j)
		{
			chunked[2 * kChunk * c + j] = split[kChunk * c + j];
			chunked[2 * kChunk * c + kChunk + j] = split[stride + kChunk * c + j];
		}
}

} // namespace

//------------------------------------------------------------------------
BlockConvolver::BlockConvolver (int maxKernelLength)
    : fft (RealFft::forSize (kFftSize)),
      capacity (std::max (1, (std::max (maxKernelLength, 0) + kBlockSize - 1) / kBlockSize)),
      kernelSpectra {AlignedBuffer (static_cast<std::size_t> (capacity) * kSpectrum),
                     AlignedBuffer (static_cast<std::size_t> (capacity) * kSpectrum)},
      inputSpectra (static_cast<std::size_t> (capacity + 1) * kSpectrum),
      outputBlock {AlignedBuffer (kBlockSize), AlignedBuffer (kBlockSize)},
      overlap {AlignedBuffer (kBlockSize), AlignedBuffer (kBlockSize)},
      inputBlock (kFftSize),
      acc (kSpectrum),
      ahead {AlignedBuffer (kSpectrum), AlignedBuffer (kSpectrum)},
      result (kFftSize),
      scratch (kFftSize),
      fadeIn (kCrossfadeLength)
{
	static_assert (kStride == 136, "the spectral sum kernels assume 129 bins padded to 136");
	for (int j = 0; j < kCrossfadeLength; ++j)
		fadeIn[j] = 0.5 - 0.5 * std::cos (kPi * (j + 0.5) / kCrossfadeLength);
	loadKernel (nullptr, 0);
}

BlockConvolver::BlockConvolver (const std::vector<double>& kernel)
    : BlockConvolver (static_cast<int> (kernel.size ()))
{
	loadKernel (kernel.data (), static_cast<int> (kernel.size ()));
}

int BlockConvolver::slotBefore (int slot, int blocks) const noexcept
{
	return (slot - blocks % ringSize + ringSize) % ringSize;
}

void BlockConvolver::transformKernel (int set, const double* kernel, int length) noexcept
{
	const int taps = kernel == nullptr ? 0 : std::clamp (length, 0, partitions * kBlockSize);
	double* t = scratch.data ();
	for (int p = 0; p < partitions; ++p)
	{
		std::fill (t, t + kFftSize, 0.0);
		const int first = p * kBlockSize;
		const int count = std::clamp (taps - first, 0, kBlockSize);
		if (count > 0)
			std::copy (kernel + first, kernel + first + count, t);
		fft.forward (t, acc.data ());
		splitToChunked (acc.data (), kernelSpectra[set].data () + static_cast<std::ptrdiff_t> (p) * kSpectrum, kStride);
	}
}

void BlockConvolver::loadKernel (const double* kernel, int length) noexcept
{
	partitions = partitionsFor (kernel == nullptr ? 0 : length, capacity);
	ringSize = partitions + 1;
	std::fill (inputSpectra.data (), inputSpectra.data () + static_cast<std::ptrdiff_t> (ringSize) * kSpectrum, 0.0);
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
	                              kernelSpectra[set].data (), partitions);
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
	                              kernelSpectra[set].data (), 1);
	const double* known = ahead[set].data ();
	double* sum = acc.data ();
	for (int i = 0; i < kSpectrum; ++i)
		sum[i] += known[i];
}

void BlockConvolver::inverseInto (double* y) noexcept
{
	fft.backward (acc.data (), y);
}

bool BlockConvolver::crossfadeToKernel (const double* kernel, int length) noexcept
{
	if (partitionsFor (kernel == nullptr ? 0 : length, capacity) != partitions)
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
	constexpr double s = 1.0 / kFftSize;
	double* out = outputBlock[incoming].data ();
	double* tail = overlap[incoming].data ();
	const double* y = result.data ();
	// An odd block comes next: it needs the incoming kernel's part of its sum, from the same sweep.
	accumulate (incoming, newest, oddBlock ? ahead[incoming].data () : nullptr);
	inverseInto (result.data ());
	for (int i = 0; i < kBlockSize; ++i)
	{
		out[i] = s * y[i];
		tail[i] = s * y[kBlockSize + i];
	}
	accumulate (incoming, slotBefore (newest, 1));
	inverseInto (result.data ());
	for (int i = 0; i < kBlockSize; ++i)
		out[i] += s * y[kBlockSize + i];

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
	fft.forward (inputBlock.data (), acc.data ());
	splitToChunked (acc.data (), inputSpectra.data () + static_cast<std::ptrdiff_t> (newest) * kSpectrum, kStride);

	constexpr double s = 1.0 / kFftSize;
	const double* y = result.data ();
	for (int n = 0; n < (fading ? 2 : 1); ++n)
	{
		const int set = n == 0 ? current : 1 - current;
		accumulateBlock (set);
		inverseInto (result.data ());
		double* out = outputBlock[set].data ();
		double* tail = overlap[set].data ();
		for (int i = 0; i < kBlockSize; ++i)
		{
			out[i] = s * y[i] + tail[i];
			tail[i] = s * y[kBlockSize + i];
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
	if (++position == kBlockSize)
	{
		runBlock ();
		position = 0;
	}
	return y;
}

void BlockConvolver::process (const float* in, float* out, int numSamples) noexcept
{
	while (numSamples > 0)
	{
		const int run = std::min (numSamples, kBlockSize - position);
		if (fading)
		{
			for (int i = 0; i < run; ++i)
				out[i] = static_cast<float> (processSample (static_cast<double> (in[i])));
		}
		else
		{
			const double* ready = outputBlock[current].data () + position;
			double* pending = inputBlock.data () + position;
			for (int i = 0; i < run; ++i)
			{
				const double x = in[i];  // read before writing: in may be out
				out[i] = static_cast<float> (ready[i]);
				pending[i] = x;
			}
			position += run;
			if (position == kBlockSize)
			{
				runBlock ();
				position = 0;
			}
		}
		in += run;
		out += run;
		numSamples -= run;
	}
}

} // namespace QuenrilEQ
