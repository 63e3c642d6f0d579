// Files on Windows: the C runtime's _sopen with deny-none sharing, _lseeki64 and _read
// for low-level files, and text-mode stdio streams (which turn CR LF into LF and stop at
// Ctrl-Z themselves). A file that may be renamed or removed while open is made with
// CreateFileA and given to the runtime as a handle of its own (_open_osfhandle).
#include "platform/files.h"
#include "platform/faults.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace qx::platform {

struct TextFile {
    std::FILE* stream;
};

namespace {

constexpr int kReadWriteFlags = _O_BINARY | _O_RDWR;                              // 0x8002
constexpr int kAppendCreateFlags = _O_BINARY | _O_CREAT | _O_APPEND | _O_RDWR;    // 0x810A
static_assert(kReadWriteFlags == 0x8002 && kAppendCreateFlags == 0x810A);
constexpr unsigned int kMaxRead = 0x7FFFFFFF;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Sets errno for the system's error `error`, as the runtime's own calls do.
void set_errno(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME: errno = ENOENT; break;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: errno = ENOSPC; break;
        case ERROR_TOO_MANY_OPEN_FILES: errno = EMFILE; break;
        default: errno = EACCES; break;
    }
}

// Opens `path` for appending, created if missing, sharing reading, writing and removal.
int open_shared(const char* path) {
    const HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        set_errno(GetLastError());
        return -1;
    }
    const int handle = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_APPEND | _O_BINARY);
    if (handle < 0) CloseHandle(file);
    return handle;
}

}  // namespace

TextFile* text_open(const char* path, const char* mode) {
    if (fault_now(Fault::Open)) return nullptr;
    std::FILE* stream = _fsopen(path, mode, _SH_DENYNO);
    return stream != nullptr ? new TextFile{stream} : nullptr;
}

bool text_read_line(TextFile* file, char* buffer, int size) {
    if (file == nullptr || size <= 0 || fault_now(Fault::Read)) return false;
    return std::fgets(buffer, size, file->stream) != nullptr;
}

void text_close(TextFile* file) {
    if (file == nullptr) return;
    std::fclose(file->stream);
    delete file;
}

int file_open(const char* path, FileAccess access, int permission) {
    if (fault_now(Fault::Open)) {
        errno = ENOENT;
        return -1;
    }
    if (access == FileAccess::AppendShared) return open_shared(path);
    const int flags = access == FileAccess::AppendCreate ? kAppendCreateFlags : kReadWriteFlags;
    const int mode = (permission & 0400 ? _S_IREAD : 0) | (permission & 0200 ? _S_IWRITE : 0);
    const int handle = _sopen(path, flags, _SH_DENYNO, mode);
    return handle > 32767 ? (_close(handle), -1) : handle;
}

std::int64_t file_seek(int handle, std::int64_t offset) {
    if (offset < 0 || fault_now(Fault::Seek)) return -1;
    return _lseeki64(handle, offset, SEEK_SET);
}

long file_read(int handle, void* buffer, std::size_t count) {
    if (fault_now(Fault::Read)) return -1;
    return _read(handle, buffer, static_cast<unsigned int>(count < kMaxRead ? count : kMaxRead));
}

long file_read_at(int handle, std::int64_t offset, void* buffer, std::size_t count) {
    if (file_seek(handle, offset) != offset) return kReadAtBadOffset;
    return file_read(handle, buffer, count);
}

int file_close(int handle) {
    const int result = _close(handle);
    return fault_now(Fault::Close) ? -1 : result;  // released all the same, as on a real error
}

std::int64_t file_size(int handle) { return _filelengthi64(handle); }

long file_write(int handle, const void* data, std::size_t count) {
    if (fault_now(Fault::Write)) {
        errno = ENOSPC;
        return -1;
    }
    // Binary mode: one WriteFile, after a move to the end for an append-mode file.
    return _write(handle, data, static_cast<unsigned int>(count < kMaxRead ? count : kMaxRead));
}

bool file_sync(int handle) {
    if (fault_now(Fault::Sync)) {
        errno = EIO;
        return false;
    }
    return _commit(handle) == 0;  // FlushFileBuffers
}

AppendResult file_append_durably(int handle, const void* data, std::size_t count, long* written) {
    *written = 0;
    const char* bytes = static_cast<const char*>(data);
    for (std::size_t done = 0; done < count;) {
        const long n = file_write(handle, bytes + done, count - done);
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return AppendResult::NotWritten;
        }
        done += static_cast<std::size_t>(n);
        *written = static_cast<long>(done);
    }
    return file_sync(handle) ? AppendResult::Durable : AppendResult::NotDurable;
}

bool removed_files_keep_their_names_while_open() { return true; }

bool file_replace(const char* path, const void* data, std::size_t count) {
    const std::string next = std::string(path) + ".new";
    const int handle = _sopen(next.c_str(), _O_BINARY | _O_CREAT | _O_TRUNC | _O_WRONLY, _SH_DENYNO,
                              _S_IREAD | _S_IWRITE);
    if (handle < 0) return false;
    const bool written = _write(handle, data, static_cast<unsigned int>(count)) == static_cast<int>(count);
    const bool closed = _close(handle) == 0;
    if (written && closed && MoveFileExA(next.c_str(), path, MOVEFILE_REPLACE_EXISTING)) return true;
    if (written && closed) set_errno(GetLastError());
    const int error = errno;
    _unlink(next.c_str());
    errno = error;
    return false;
}

bool file_truncate(int handle, std::int64_t size) { return _chsize_s(handle, size) == 0; }

bool sync_folder_of(const char* /*path*/) { return true; }

std::string file_error_text() { return std::strerror(errno); }

void read_standard_input_as_bytes() { _setmode(_fileno(stdin), _O_BINARY); }

bool error_output_is_terminal() { return _isatty(_fileno(stderr)) != 0; }

bool paths_are_dos_like() { return true; }

namespace {

bool id_of(HANDLE file, FileId* id) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (file == INVALID_HANDLE_VALUE || GetFileInformationByHandle(file, &info) == 0) return false;
    id->volume = info.dwVolumeSerialNumber;
    id->index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

}  // namespace

bool file_id(int handle, FileId* id) {
    if (fault_now(Fault::Stat)) return false;
    return id_of(reinterpret_cast<HANDLE>(_get_osfhandle(handle)), id);
}

bool path_file_id(const char* path, FileId* id) {
    if (fault_now(Fault::Stat)) return false;
    // No access asked for: only the file's attributes are read. Folders open only with
    // backup semantics, and a folder is a file of its own too.
    HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    const bool known = id_of(file, id);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return known;
}

bool full_path(const char* path, char* out, std::size_t size) {
    if (fault_now(Fault::Stat)) return false;
    return _fullpath(out, path, size) != nullptr && _access(out, 0) == 0;
}

}  // namespace qx::platform
