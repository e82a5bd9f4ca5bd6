#include "fft.h"

#include <dlfcn.h>
#include <fftw3.h>

#include <cstring>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>

namespace QuenrilEQ {

//------------------------------------------------------------------------
AlignedBuffer::AlignedBuffer (std::size_t n)
{
	if (n == 0)
		return;
	values = static_cast<double*> (fftw_malloc (n * sizeof (double)));
	if (values == nullptr)
		throw std::bad_alloc ();
	count = n;
	clear ();
}

AlignedBuffer::~AlignedBuffer ()
{
	if (values != nullptr)
		fftw_free (values);
}

AlignedBuffer::AlignedBuffer (AlignedBuffer&& other) noexcept : values (other.values), count (other.count)
{
	other.values = nullptr;
	other.count = 0;
}

AlignedBuffer& AlignedBuffer::operator= (AlignedBuffer&& other) noexcept
{
	if (this != &other)
	{
		if (values != nullptr)
			fftw_free (values);
		values = other.values;
		count = other.count;
		other.values = nullptr;
		other.count = 0;
	}
	return *this;
}

void AlignedBuffer::clear () noexcept
{
	if (values != nullptr)
		std::memset (values, 0, count * sizeof (double));
}

//------------------------------------------------------------------------
namespace {

// FFTW's planner keeps global tables: one lock for every plan this module makes.
std::mutex& plannerMutex ()
{
	static std::mutex m;
	return m;
}

// Those tables live as long as the FFTW library. A host may unload this
// module, and FFTW would go with it when nothing else uses it, losing the
// tables on every reload: the library stays loaded instead.
void keepFftwLoaded ()
{
	static void* const pinned = dlopen ("libfftw3.so.3", RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
	(void)pinned;
}

} // namespace

RealFft::RealFft (int size) : n (size)
{
	// Planning may write into its arrays (FFTW_MEASURE), so it gets its own.
	const std::size_t stride = spectrumStride (n);
	AlignedBuffer time (static_cast<std::size_t> (n));
	AlignedBuffer spectrum (2 * stride);
	double* re = spectrum.data ();
	double* im = re + stride;
	AlignedBuffer bins (interleavedSize (n));
	auto* complexBins = reinterpret_cast<fftw_complex*> (bins.data ());

	fftw_iodim dim;
	dim.n = n;
	dim.is = 1;
	dim.os = 1;
	// The split transforms run once per kernel rebuild or analysis poll: FFTW's estimate is plan
	// enough. The interleaved ones run every convolver block. For its short blocks measuring finds
	// plans half again as fast, for about a tenth of a second once per process; from 2048 points
	// on the estimate comes within an eighth of the measured plan, which would cost a third of a
	// second there and seconds at the kernel sizes.
	const unsigned interleavedFlags = n <= 1024 ? FFTW_MEASURE : FFTW_ESTIMATE;
	forwardPlan = fftw_plan_guru_split_dft_r2c (1, &dim, 0, nullptr, time.data (), re, im, FFTW_ESTIMATE);
	backwardPlan = fftw_plan_guru_split_dft_c2r (1, &dim, 0, nullptr, re, im, time.data (),
	                                             FFTW_ESTIMATE | FFTW_DESTROY_INPUT);
	forwardInterleavedPlan = fftw_plan_dft_r2c_1d (n, time.data (), complexBins, interleavedFlags);
	backwardInterleavedPlan =
	    fftw_plan_dft_c2r_1d (n, complexBins, time.data (), interleavedFlags | FFTW_DESTROY_INPUT);
	if (forwardPlan == nullptr || backwardPlan == nullptr || forwardInterleavedPlan == nullptr
	    || backwardInterleavedPlan == nullptr)
	{
		destroyPlans ();
		throw std::runtime_error ("FFTW could not plan a real transform");
	}
}

RealFft::~RealFft ()
{
	// Runs only at process (module) end, after every engine is gone.
	destroyPlans ();
}

void RealFft::destroyPlans () noexcept
{
	for (void* plan : {forwardPlan, backwardPlan, forwardInterleavedPlan, backwardInterleavedPlan})
		if (plan != nullptr)
			fftw_destroy_plan (static_cast<fftw_plan> (plan));
}

const RealFft& RealFft::forSize (int n)
{
	if (n < 2 || (n % 2) != 0)
		throw std::invalid_argument ("real transform size must be even and at least 2");
	std::lock_guard<std::mutex> lock (plannerMutex ());
	keepFftwLoaded ();
	// Plans are never removed before the process ends, so references handed out stay valid.
	static std::map<int, std::unique_ptr<RealFft>> cache;
	auto it = cache.find (n);
	if (it == cache.end ())
		it = cache.emplace (n, std::make_unique<RealFft> (n)).first;
	return *it->second;
}

void RealFft::forward (const double* in, double* spectrum) const noexcept
{
	// FFTW's interface takes a non-const input; a forward real transform does not write it.
	fftw_execute_split_dft_r2c (static_cast<fftw_plan> (forwardPlan), const_cast<double*> (in), spectrum,
	                            spectrum + spectrumStride (n));
}

void RealFft::backward (double* spectrum, double* out) const noexcept
{
	fftw_execute_split_dft_c2r (static_cast<fftw_plan> (backwardPlan), spectrum, spectrum + spectrumStride (n), out);
}

void RealFft::forwardInterleaved (const double* in, double* bins) const noexcept
{
	fftw_execute_dft_r2c (static_cast<fftw_plan> (forwardInterleavedPlan), const_cast<double*> (in),
	                      reinterpret_cast<fftw_complex*> (bins));
}

void RealFft::backwardInterleaved (double* bins, double* out) const noexcept
{
	fftw_execute_dft_c2r (static_cast<fftw_plan> (backwardInterleavedPlan), reinterpret_cast<fftw_complex*> (bins), out);
}

} // namespace QuenrilEQ
