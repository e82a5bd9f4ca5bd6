#include "atomic_file.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace QuenrilEQ {

namespace {
// Keeps temporary names short enough for the file system even when the
// target's own name is close to the 255-byte limit.
constexpr size_t kMaxTempStem = 64;
constexpr int kTempAttempts = 16;
// Far above any real preset (about 4 KB); keeps a stray huge file from
// filling the memory of the host.
constexpr off_t kMaxReadSize = 16 * 1024 * 1024;

std::string folderOf (const std::string& path)
{
	const size_t slash = path.rfind ('/');
	if (slash == std::string::npos)
		return ".";
	return slash == 0 ? "/" : path.substr (0, slash);
}

std::string fileNameOf (const std::string& path)
{
	const size_t slash = path.rfind ('/');
	return slash == std::string::npos ? path : path.substr (slash + 1);
}

/** A name in the target's folder that no listing mistakes for a preset:
    hidden, and with the extension ".tmp". */
std::string temporaryPathFor (const std::string& path)
{
	static std::atomic<unsigned> counter {0};
	std::string folder = folderOf (path);
	if (folder.back () != '/')
		folder += '/';
	return folder + "." + fileNameOf (path).substr (0, kMaxTempStem) + "." + std::to_string (getpid ()) + "." +
	       std::to_string (counter.fetch_add (1)) + ".tmp";
}

bool writeAll (const FileOps& ops, int fd, std::string_view contents)
{
	const char* data = contents.data ();
	size_t left = contents.size ();
	while (left > 0)
	{
		const ssize_t n = ops.write (fd, data, left);
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0)
			return false;
		data += n;
		left -= static_cast<size_t> (n);
	}
	return true;
}

ssize_t systemWrite (int fd, const void* data, size_t size) { return ::write (fd, data, size); }
int systemFsync (int fd) { return ::fsync (fd); }
int systemClose (int fd) { return ::close (fd); }
int systemRename (const char* from, const char* to) { return ::rename (from, to); }
} // namespace

const FileOps& systemFileOps ()
{
	static const FileOps ops {systemWrite, systemFsync, systemClose, systemRename};
	return ops;
}

namespace {
/** Moves the finished temporary file to its name; 0 on success, else -1 with errno set. */
using Publish = int (*) (const FileOps& ops, const char* temp, const char* path);

int publishReplacing (const FileOps& ops, const char* temp, const char* path) { return ops.rename (temp, path); }

int publishIfAbsent (const FileOps&, const char* temp, const char* path)
{
	if (::renameat2 (AT_FDCWD, temp, AT_FDCWD, path, RENAME_NOREPLACE) == 0)
		return 0;
	if (errno != EINVAL && errno != ENOSYS)
		return -1;
	// File systems without the no-replace rename still refuse to link over a name.
	if (::link (temp, path) != 0)
		return -1;
	::unlink (temp);
	return 0;
}

bool writeAndPublish (const std::string& path, std::string_view contents, const FileOps& ops, Publish publish)
{
	if (path.empty () || path.back () == '/')
		return false;
	std::string temp;
	int fd = -1;
	for (int attempt = 0; attempt < kTempAttempts && fd < 0; ++attempt)
	{
		temp = temporaryPathFor (path);
		fd = ::open (temp.c_str (), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
		if (fd < 0 && errno != EEXIST)
			return false;
	}
	if (fd < 0)
		return false;

	bool ok = writeAll (ops, fd, contents);
	// On the disk before the rename, or a power cut could leave an empty file under the old name.
	ok = ok && ops.fsync (fd) == 0;
	// Closed in every case; a failing close can mean lost data (e.g. on NFS).
	ok = (ops.close (fd) == 0) && ok;
	ok = ok && publish (ops, temp.c_str (), path.c_str ()) == 0;
	if (!ok)
	{
		::unlink (temp.c_str ());
		return false;
	}
	// The folder itself is not flushed: after a power cut the rename may be
	// lost, which leaves the old complete file, and the UI thread waits less.
	return true;
}
} // namespace

bool replaceFileAtomically (const std::string& path, std::string_view contents, const FileOps& ops)
{
	return writeAndPublish (path, contents, ops, publishReplacing);
}

bool createFileAtomically (const std::string& path, std::string_view contents, const FileOps& ops)
{
	return writeAndPublish (path, contents, ops, publishIfAbsent);
}

bool readWholeFile (const std::string& path, std::string& out)
{
	out.clear ();
	// Non-blocking open: a FIFO under a preset's name must not hang the UI thread.
	const int fd = ::open (path.c_str (), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
	if (fd < 0)
		return false;
	struct stat info {};
	if (::fstat (fd, &info) != 0 || !S_ISREG (info.st_mode) || info.st_size > kMaxReadSize)
	{
		::close (fd);
		return false;
	}
	char buffer[16384];
	bool ok = true;
	for (;;)
	{
		const ssize_t n = ::read (fd, buffer, sizeof (buffer));
		if (n < 0 && errno == EINTR)
			continue;
		if (n < 0)
		{
			ok = false;  // EISDIR for a folder, EIO for a failing disk
			break;
		}
		if (n == 0)
			break;
		if (out.size () + static_cast<size_t> (n) > static_cast<size_t> (kMaxReadSize))
		{
			ok = false;  // grew while being read
			break;
		}
		out.append (buffer, static_cast<size_t> (n));
	}
	::close (fd);
	if (!ok)
		out.clear ();
	return ok;
}

} // namespace QuenrilEQ
