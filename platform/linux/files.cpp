// Files on Linux: open/lseek/read and pread for low-level files, stdio for text streams, with the
// Windows text-mode rules applied while reading (CR LF to LF, Ctrl-Z ends the text).
#include "platform/files.h"
#include "platform/faults.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace qx::platform {

struct TextFile {
    std::FILE* stream;
    bool ended;  // a Ctrl-Z was met: nothing more is read
};

namespace {

constexpr int kCtrlZ = 0x1A;
constexpr int kMaxHandle = 32767;  // handles are 16-bit numbers

}  // namespace

TextFile* text_open(const char* path, const char* mode) {
    if (fault_now(Fault::Open)) return nullptr;
    std::FILE* stream = std::fopen(path, mode);
    if (stream == nullptr) return nullptr;
    // The C library opens a directory for reading; Windows' does not, and no text is one.
    struct stat status {};
    if (::fstat(::fileno(stream), &status) != 0 || S_ISDIR(status.st_mode)) {
        std::fclose(stream);
        errno = EISDIR;
        return nullptr;
    }
    return new TextFile{stream, false};
}

bool text_read_line(TextFile* file, char* buffer, int size) {
    if (file == nullptr || size <= 0 || file->ended) return false;
    if (fault_now(Fault::Read)) return false;
    int length = 0;
    while (length < size - 1) {
        int c = std::getc(file->stream);
        if (c == EOF) break;
        if (c == kCtrlZ) {
            file->ended = true;
            break;
        }
        if (c == '\r') {
            const int next = std::getc(file->stream);
            if (next == '\n') {
                c = '\n';
            } else if (next != EOF) {
                std::ungetc(next, file->stream);
            }
        }
        buffer[length++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    buffer[length] = '\0';
    return length > 0;
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
    const int flags = access != FileAccess::ReadWrite ? O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC
                                                      : O_RDWR | O_CLOEXEC;
    int handle;
    do {
        handle = ::open(path, flags, static_cast<mode_t>(permission));
    } while (handle < 0 && errno == EINTR);
    if (handle > kMaxHandle) {
        ::close(handle);
        return -1;
    }
    return handle;
}

std::int64_t file_seek(int handle, std::int64_t offset) {
    if (offset < 0 || fault_now(Fault::Seek)) return -1;
    return static_cast<std::int64_t>(::lseek(handle, static_cast<off_t>(offset), SEEK_SET));
}

long file_read(int handle, void* buffer, std::size_t count) {
    if (fault_now(Fault::Read)) return -1;
    ssize_t n;
    do {
        n = ::read(handle, buffer, count);
    } while (n < 0 && errno == EINTR);
    return static_cast<long>(n);
}

long file_read_at(int handle, std::int64_t offset, void* buffer, std::size_t count) {
    if (offset < 0) return kReadAtBadOffset;
    if (fault_now(Fault::Read)) return -1;
    ssize_t n;
    do {
        n = ::pread(handle, buffer, count, static_cast<off_t>(offset));
    } while (n < 0 && errno == EINTR);
    if (n < 0 && (errno == ESPIPE || errno == EINVAL || errno == EOVERFLOW)) return kReadAtBadOffset;
    return static_cast<long>(n);
}

int file_close(int handle) {
    const int result = ::close(handle);
    return fault_now(Fault::Close) ? -1 : result;  // released all the same, as on a real error
}

std::int64_t file_size(int handle) {
    struct stat status {};
    return ::fstat(handle, &status) == 0 ? static_cast<std::int64_t>(status.st_size) : -1;
}

long file_write(int handle, const void* data, std::size_t count) {
    if (fault_now(Fault::Write)) {
        errno = ENOSPC;
        return -1;
    }
    ssize_t n;
    do {
        n = ::write(handle, data, count);
    } while (n < 0 && errno == EINTR);
    return static_cast<long>(n);
}

bool file_sync(int handle) {
    if (fault_now(Fault::Sync)) {
        errno = EIO;
        return false;
    }
    return ::fdatasync(handle) == 0;
}

namespace {

bool dsync_writes_work = true;  // false once the kernel refused RWF_DSYNC

// One write of `count` bytes at the end that is durable when it returns (RWF_DSYNC), or a
// write and a flush where the kernel lacks that. Returns what write returns; `flushed`
// false when the flush of the second way failed.
ssize_t durable_write(int handle, const void* data, std::size_t count, bool* flushed) {
    *flushed = true;
    ssize_t n;
    if (dsync_writes_work) {
        iovec piece{const_cast<void*>(data), count};
        do {
            n = ::pwritev2(handle, &piece, 1, -1, RWF_DSYNC);
        } while (n < 0 && errno == EINTR);
        if (n >= 0 || (errno != EOPNOTSUPP && errno != ENOSYS)) return n;
        dsync_writes_work = false;
    }
    do {
        n = ::write(handle, data, count);
    } while (n < 0 && errno == EINTR);
    if (n > 0) *flushed = ::fdatasync(handle) == 0;
    return n;
}

}  // namespace

AppendResult file_append_durably(int handle, const void* data, std::size_t count, long* written) {
    *written = 0;
    if (fault_now(Fault::Write)) {
        errno = ENOSPC;
        return AppendResult::NotWritten;
    }
    if (fault_now(Fault::Sync)) {  // written, as a failed flush leaves it
        *written = file_write(handle, data, count);
        errno = EIO;
        return AppendResult::NotDurable;
    }
    const char* bytes = static_cast<const char*>(data);
    for (std::size_t done = 0; done < count;) {
        bool flushed = true;
        const ssize_t n = durable_write(handle, bytes + done, count - done, &flushed);
        if (n < 0 && errno != ENOSPC && errno != EDQUOT && errno != EFBIG) {
            *written = -1;  // a failed RWF_DSYNC flush reports the write's bytes as an error
            return AppendResult::NotDurable;
        }
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;  // a write that takes nothing: the disk is full
            return AppendResult::NotWritten;
        }
        done += static_cast<std::size_t>(n);
        *written = static_cast<long>(done);
        if (!flushed) return AppendResult::NotDurable;
    }
    return AppendResult::Durable;
}

bool file_replace(const char* path, const void* data, std::size_t count) {
    const std::string next = std::string(path) + ".new";
    const int handle = file_open(next.c_str(), FileAccess::AppendCreate, kFilePermission);
    if (handle < 0) return false;
    bool ok = ::ftruncate(handle, 0) == 0;
    const char* bytes = static_cast<const char*>(data);
    for (std::size_t done = 0; ok && done < count;) {
        const long n = file_write(handle, bytes + done, count - done);
        ok = n > 0;
        done += ok ? static_cast<std::size_t>(n) : 0;
    }
    ok = ::close(handle) == 0 && ok && ::rename(next.c_str(), path) == 0;
    const int error = errno;
    if (!ok) ::unlink(next.c_str());
    errno = error;
    return ok;
}

bool file_truncate(int handle, std::int64_t size) { return ::ftruncate(handle, static_cast<off_t>(size)) == 0; }

bool sync_folder_of(const char* path) {
    std::string folder(path);
    const std::size_t slash = folder.rfind('/');
    folder = slash == std::string::npos ? "." : slash == 0 ? "/" : folder.substr(0, slash);
    const int handle = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle < 0) return false;
    const bool synced = ::fsync(handle) == 0;
    const int error = errno;
    ::close(handle);
    errno = error;
    return synced;
}

std::string file_error_text() { return std::strerror(errno); }

void read_standard_input_as_bytes() {}

bool error_output_is_terminal() { return ::isatty(STDERR_FILENO) != 0; }

bool paths_are_dos_like() { return false; }

bool removed_files_keep_their_names_while_open() { return false; }

namespace {

FileId id_of(const struct stat& status) {
    return {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

}  // namespace

bool file_id(int handle, FileId* id) {
    struct stat status {};
    if (fault_now(Fault::Stat) || ::fstat(handle, &status) != 0) return false;
    *id = id_of(status);
    return true;
}

bool path_file_id(const char* path, FileId* id) {
    struct stat status {};
    if (fault_now(Fault::Stat) || ::stat(path, &status) != 0) return false;
    *id = id_of(status);
    return true;
}

bool full_path(const char* path, char* out, std::size_t size) {
    if (fault_now(Fault::Stat)) return false;
    char* resolved = ::realpath(path, nullptr);
    if (resolved == nullptr) return false;
    const std::size_t length = std::strlen(resolved);
    const bool fits = length < size;
    if (fits) std::memcpy(out, resolved, length + 1);
    std::free(resolved);
    return fits;
}

}  // namespace qx::platform
