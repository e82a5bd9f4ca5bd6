// Where the command-line tools find QuenrilEQ's bundle when none is named:
// beside their own bin folder, as the build tree and the release tarball lay
// it out, or in lib/vst3 of the prefix they were installed into.
#pragma once

#include <string>

namespace QuenrilEQ {
namespace host {

/** "<exe>/../QuenrilEQ.vst3" if it exists, else "<exe>/../lib/vst3/QuenrilEQ.vst3"
 *  if that exists, else the first (so that the error names the build's path). */
std::string defaultQuenrilEQBundle ();

} // namespace host
} // namespace QuenrilEQ
