#include "bundle_location.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace QuenrilEQ {
namespace host {

std::string defaultQuenrilEQBundle ()
{
	std::error_code ec;
	const fs::path self = fs::read_symlink ("/proc/self/exe", ec);
	if (ec)
		return "QuenrilEQ.vst3";
	const fs::path prefix = self.parent_path ().parent_path ();
	const fs::path beside = prefix / "QuenrilEQ.vst3";
	std::vector<fs::path> candidates {beside, prefix / "lib" / "vst3" / "QuenrilEQ.vst3"};
	if (const char* home = std::getenv ("HOME"); home && *home)
		candidates.push_back (fs::path (home) / ".vst3" / "QuenrilEQ.vst3");
	for (const fs::path& candidate : candidates)
		if (fs::exists (candidate, ec))
			return candidate.string ();
	return beside.string ();
}

} // namespace host
} // namespace QuenrilEQ
