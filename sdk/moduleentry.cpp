#include "moduleentry.h"

#include <atomic>

namespace {
std::atomic<int> loadCounter {0};
// Kept as the SDK's module entry keeps it; the editor finds its files by itself.
std::atomic<void*> moduleHandle {nullptr};

bool enterModule ()
{
	++loadCounter;
	return true;
}

bool leaveModule ()
{
	// True while the counter has not dropped below zero: an unmatched exit is reported.
	return --loadCounter >= 0;
}
} // namespace

extern "C" {

SMTG_EXPORT_SYMBOL bool InitDll () { return enterModule (); }
SMTG_EXPORT_SYMBOL bool ExitDll () { return leaveModule (); }

SMTG_EXPORT_SYMBOL bool ModuleEntry (void* sharedLibraryHandle)
{
	if (sharedLibraryHandle)
		moduleHandle.store (sharedLibraryHandle);
	return enterModule ();
}

SMTG_EXPORT_SYMBOL bool ModuleExit () { return leaveModule (); }

} // extern "C"
