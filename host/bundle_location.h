// Where the command-line tools find QuenrilEQ's bundle when none is named:
// beside their own bin folder, as the build tree and the release tarball lay
// it out, in lib/vst3 of the prefix they were installed into, or in the
// user's ~/.vst3 (a user install puts the tools into ~/.local/bin).
#pragma once

#include <string>

namespace QuenrilEQ {
namespace host {

/** The first that exists of "<exe>/../QuenrilEQ.vst3", "<exe>/../lib/vst3/QuenrilEQ.vst3"
 *  and "$HOME/.vst3/QuenrilEQ.vst3"; else the first (so that the error names the build's path). */
std::string defaultQuenrilEQBundle ();

} // namespace host
} // namespace QuenrilEQ
