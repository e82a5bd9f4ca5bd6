#include "bundle_location.h"

#include <filesystem>
#include <system_error>

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
	const fs::path installed = prefix / "lib" / "vst3" / "QuenrilEQ.vst3";
	if (!fs::exists (beside, ec) && fs::exists (installed, ec))
		return installed.string ();
	return beside.string ();
}

} // namespace host
} // namespace QuenrilEQ
