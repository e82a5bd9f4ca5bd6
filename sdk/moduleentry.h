// Module entry points shared by every host: the Windows-style InitDll/ExitDll
// pair and the Linux ModuleEntry/ModuleExit pair count loads on one counter.
#pragma once

#include "pluginterfaces/base/fplatform.h"

extern "C" {
SMTG_EXPORT_SYMBOL bool InitDll ();
SMTG_EXPORT_SYMBOL bool ExitDll ();
SMTG_EXPORT_SYMBOL bool ModuleEntry (void* sharedLibraryHandle);
SMTG_EXPORT_SYMBOL bool ModuleExit ();
}
