// Helpers for driving QuenrilEQController the way a host does: a temporary
// HOME, a controller with the host harness's recording handler, memory
// streams built byte by byte, and file helpers.
#pragma once

#include "component_handler.h"
#include "controller.h"

#include "base/source/fobject.h"
#include "public.sdk/source/common/memorystream.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace QuenrilEQ::testing {

// Points HOME at a fresh temporary folder (withFolder false: no HOME at all)
// while it lives, so that no test reaches the real documents folder.
class TempHome
{
public:
	explicit TempHome (bool withFolder = true)
	{
		if (const char* old = std::getenv ("HOME"))
			previous = old;
		char pattern[] = "/tmp/qeq-home-XXXXXX";
		if (withFolder && mkdtemp (pattern))
			dir = pattern, setenv ("HOME", pattern, 1);
		else
			unsetenv ("HOME");
	}
	~TempHome ()
	{
		previous ? setenv ("HOME", previous->c_str (), 1) : unsetenv ("HOME");
		std::error_code ignored;
		if (!dir.empty ())
			std::filesystem::remove_all (dir, ignored);
	}
	TempHome (const TempHome&) = delete;
	TempHome& operator= (const TempHome&) = delete;

	const std::string& path () const { return dir; }
	std::string presets () const { return dir + "/Documents/QuenrilEQ/presets"; }
	std::string state () const { return dir + "/Documents/QuenrilEQ/state"; }

private:
	std::string dir;
	std::optional<std::string> previous;
};

// An initialised controller with a recording component handler, owned the SDK way.
struct HostedController
{
	HostedController ()
	: controller (Steinberg::owned (new QuenrilEQController ())), handler (Steinberg::owned (new host::RecordingComponentHandler ()))
	{
		controller->initialize (nullptr);
		controller->setComponentHandler (handler);
	}
	~HostedController () { controller->terminate (); }
	Steinberg::Vst::IEditController* edit () const { return controller; }  // the interface a host holds

	Steinberg::IPtr<QuenrilEQController> controller;
	Steinberg::IPtr<host::RecordingComponentHandler> handler;
};

// Little-endian byte builder for hand-made state streams.
struct Bytes
{
	Bytes& i32 (std::int32_t v)
	{
		for (int b = 0; b < 4; ++b)
			data.push_back (static_cast<char> ((static_cast<std::uint32_t> (v) >> (8 * b)) & 0xFFu));
		return *this;
	}
	Bytes& f32 (float v)
	{
		std::uint32_t bits = 0;
		std::memcpy (&bits, &v, 4);
		return i32 (static_cast<std::int32_t> (bits));
	}
	Bytes& raw (const std::string& s)
	{
		data.insert (data.end (), s.begin (), s.end ());
		return *this;
	}
	std::vector<char> data;
};

// A stream holding a copy of bytes, positioned at the start.
inline Steinberg::IPtr<Steinberg::MemoryStream> streamOf (const std::vector<char>& bytes)
{
	auto stream = Steinberg::owned (new Steinberg::MemoryStream ());
	Steinberg::int32 written = 0;
	if (!bytes.empty ())
		stream->write (const_cast<char*> (bytes.data ()), static_cast<Steinberg::int32> (bytes.size ()), &written);
	stream->seek (0, Steinberg::IBStream::kIBSeekSet, nullptr);
	return stream;
}

inline std::string readFile (const std::string& path)
{
	std::ostringstream out;
	out << std::ifstream (path, std::ios::binary).rdbuf ();
	return out.str ();
}

inline void writeFile (const std::string& path, const std::string& text)
{
	std::filesystem::create_directories (std::filesystem::path (path).parent_path ());
	std::ofstream (path, std::ios::binary) << text;
}

// Every regular file below folder, by its path relative to the folder, with its contents.
inline std::map<std::string, std::string> filesBelow (const std::string& folder)
{
	std::map<std::string, std::string> files;
	for (const auto& e : std::filesystem::recursive_directory_iterator (folder))
		if (e.is_regular_file ())
			files[std::filesystem::relative (e.path (), folder).string ()] = readFile (e.path ().string ());
	return files;
}
using Files = std::map<std::string, std::string>;

} // namespace QuenrilEQ::testing
