// Files, as the data-file access uses them: buffered text streams read line by line,
// which read the same on every platform (CR LF as LF, a lone CR kept, Ctrl-Z ends the
// text as the Windows runtime's text mode does), and low-level binary files opened
// read-write or append-create with permission 0666 (deny-none sharing on Windows),
// positioned at 64-bit offsets. No state of its own beyond the open files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qx::platform {

struct TextFile;  // an open text stream

// Opens `path` as a text stream with the C `mode` ("r"); null on failure.
TextFile* text_open(const char* path, const char* mode);

// Reads the next line, as fgets does, into `buffer` (size bytes): at most size - 1
// characters, the line feed included when it fits. Returns false at the end of the text.
bool text_read_line(TextFile* file, char* buffer, int size);

void text_close(TextFile* file);

// How a low-level file is opened.
enum class FileAccess {
    ReadWrite,     // read and write, binary, the file must exist (Windows: 0x8002)
    AppendCreate,  // read and write, binary, writes at the end, created if missing (0x810A)
    AppendShared,  // AppendCreate, and the file may be renamed or removed while it is open
                   // (Windows: FILE_SHARE_DELETE; POSIX files always may)
};

inline constexpr int kFilePermission = 0666;  // read and write for everyone, when created

// Opens `path`: a handle from 0 to 32767, or -1.
int file_open(const char* path, FileAccess access, int permission);

// Moves to byte `offset` from the start: the new position, or -1 (a negative offset
// fails and leaves the position unchanged).
std::int64_t file_seek(int handle, std::int64_t offset);

// Reads up to `count` bytes: the number read (0 at the end), or -1.
long file_read(int handle, void* buffer, std::size_t count);

inline constexpr long kReadAtBadOffset = -2;  // file_read_at: the offset cannot be reached

// Reads up to `count` bytes at byte `offset`: the number read (0 at the end), -1 when the
// read fails, or kReadAtBadOffset when the offset cannot be reached. On Linux one
// positioned read that leaves the file position alone; on Windows a seek and a read,
// which leave the position after the bytes read.
long file_read_at(int handle, std::int64_t offset, void* buffer, std::size_t count);

int file_close(int handle);

// The size of the open file in bytes, or -1.
std::int64_t file_size(int handle);

// Durable appends (the booking journal), on a file opened AppendCreate:

// Writes `count` bytes at the end of the file with one write call: the number written
// (fewer than `count` only when the disk filled), or -1.
long file_write(int handle, const void* data, std::size_t count);

// Makes what was written to the file durable, as far as reading it back needs
// (fdatasync; FlushFileBuffers on Windows). False when that fails.
bool file_sync(int handle);

// What file_append_durably did.
enum class AppendResult {
    Durable,     // every byte written and durable
    NotWritten,  // the write failed or took fewer bytes (the disk filled)
    NotDurable,  // written, but making it durable failed
};

// Appends `count` bytes at the end of the file and makes them durable before it returns,
// as file_write and file_sync together do (Linux: one pwritev2 with RWF_DSYNC, a system
// call less; where the kernel lacks it, write and fdatasync). *written is the number of
// bytes the file took (-1 when that is not known: some or all of them may be in the file).
// file_error_text() tells why when the result is not Durable.
AppendResult file_append_durably(int handle, const void* data, std::size_t count, long* written);

// True where a file that is removed while it is open keeps its name until it is closed
// (Windows), so that nothing new can be made at its path before then.
bool removed_files_keep_their_names_while_open();

// Replaces the file `path` by `count` bytes at once: they are written to `path` with
// ".new" appended, which is then renamed over `path`, so a reader sees the old or the new
// contents whole, never a part. False (file_error_text() tells why) when that fails; the
// ".new" file is then removed.
bool file_replace(const char* path, const void* data, std::size_t count);

// Cuts the file to `size` bytes. False when that fails.
bool file_truncate(int handle, std::int64_t size);

// Makes the folder entry of the newly created file `path` durable (an fsync of its
// folder; Windows keeps it with the file's own flush). False when that fails.
bool sync_folder_of(const char* path);

// Why the last file call that failed here failed, in words ("No space left on device").
std::string file_error_text();

// Makes standard input read as bytes, as on Linux: on Windows its text mode would end
// the input at a Ctrl-Z byte and drop the CR of each CR LF.
void read_standard_input_as_bytes();

// True when standard error is a terminal (a person watching), not a pipe or a file.
bool error_output_is_terminal();

// True where paths are spelt as on Windows: a backslash separates as a slash does, and
// names that differ only in letter case name the same file.
bool paths_are_dos_like();

// Which file an open file or an existing path is, as the system knows it: device and
// inode on Linux, volume serial number and file index on Windows. Every name of one
// file (any spelling, a symbolic or a hard link) gives the same identity.
struct FileId {
    std::uint64_t volume = 0;  // st_dev; the volume serial number
    std::uint64_t index = 0;   // st_ino; the file index
    friend bool operator==(const FileId&, const FileId&) = default;
};

// The identity of the open file `handle` into *id. False when the system cannot tell.
bool file_id(int handle, FileId* id);

// The identity of the file at `path` (links followed) into *id. False when there is no
// such file or it cannot be looked at.
bool path_file_id(const char* path, FileId* id);

// The absolute form of the existing `path`, with no "." or ".." pieces and no doubled
// separators (POSIX: symbolic links resolved too), into `out` (`size` bytes). False
// when it cannot be made or does not fit.
bool full_path(const char* path, char* out, std::size_t size);

}  // namespace qx::platform
