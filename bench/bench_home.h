// Controllers save their current state under HOME: benchmarks that make one
// keep those files out of the user's home.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace QuenrilEQ::bench {

/** Points HOME at a fresh temporary folder for the rest of the process, removed at exit. */
inline void useThrowAwayHome ()
{
	static const struct Home
	{
		std::string dir;
		Home ()
		{
			char pattern[] = "/tmp/qeq-bench-XXXXXX";
			if (mkdtemp (pattern) == nullptr)
			{
				std::perror ("qeq_bench: no temporary HOME");
				std::exit (1);
			}
			dir = pattern;
			setenv ("HOME", pattern, 1);
		}
		~Home ()
		{
			std::error_code ignored;
			std::filesystem::remove_all (dir, ignored);
		}
	} home;
}

} // namespace QuenrilEQ::bench
