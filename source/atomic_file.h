// Whole-file replacement that never leaves a half-written file behind, and
// whole-file reading that tells a read error from an empty file. Preset and
// current-state files go through here: a full disk, an unwritable folder or
// a crash during a save must leave the previous file as it was.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace QuenrilEQ {

/** The system calls the writer makes, replaceable so that tests can make any
    of them fail (tests run as root, where permission bits stop nothing). */
struct FileOps
{
	ssize_t (*write) (int fd, const void* data, size_t size);
	int (*fsync) (int fd);
	int (*close) (int fd);
	int (*rename) (const char* from, const char* to);
};

/** The real POSIX calls. */
const FileOps& systemFileOps ();

/** Writes contents to a temporary file in path's folder, flushes it to the
    disk, closes it and renames it over path. Returns false, with path
    untouched and the temporary file removed, when creating, any write, the
    flush, the close or the rename fails. The new file gets the usual
    permissions (0666 less the umask). [UI thread; blocks on the disk] */
bool replaceFileAtomically (const std::string& path, std::string_view contents,
                            const FileOps& ops = systemFileOps ());

/** As replaceFileAtomically, but never replaces anything: false, with the
    existing entry untouched, when something already exists at path (also
    when it appeared while the temporary file was being written).
    [UI thread; blocks on the disk] */
bool createFileAtomically (const std::string& path, std::string_view contents,
                           const FileOps& ops = systemFileOps ());

/** Reads the whole regular file at path into out. False when it cannot be
    opened, is no regular file (a folder, a FIFO, a device), is larger than
    16 MiB, or a read fails; out is then left empty. [UI thread] */
bool readWholeFile (const std::string& path, std::string& out);

} // namespace QuenrilEQ
