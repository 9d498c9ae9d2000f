// The interposed system calls: each passes here on its way to the kernel and
// reports to the recorder what it changed.
#include "posix_CrashRecorder.h"

#include <fcntl.h>
#include <sys/syscall.h>

#include <cerrno>
#include <cstdarg>

using namespace yrn::test;
using enum CrashRecorder::Kind;

namespace {

int Fail() {
    errno = EIO;
    return -1;
}

// A change of names: fails when the recorder says so, else is made (the
// system call number with its arguments after AT_FDCWD) and noted.
template <class... Args>
int Change(const char* call, CrashRecorder::Kind kind, const char* path, const char* from, long number, Args... args) {
    if (Recorder().ShouldFail(call, path)) return Fail();
    const int r = static_cast<int>(::syscall(number, AT_FDCWD, args...));
    if (r >= 0) Recorder().Note(kind, path, from, r);
    return r;
}

int Flush(int fd, long call, const char* name) {
    if (!Recorder().Recording()) return skipFlushes ? 0 : static_cast<int>(::syscall(call, fd));
    // The disk model, not the disk, says what is durable: no need to wait for it.
    return Recorder().Flushed(fd, name, call == SYS_syncfs) ? 0 : Fail();
}

}

extern "C" {

int open(const char* path, int flags, ...) {
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list args;
        va_start(args, flags);
        mode = static_cast<mode_t>(va_arg(args, int));
        va_end(args);
    }
    if ((flags & O_CREAT) && ::access(path, F_OK) != 0) return Change("open", Create, path, "", SYS_openat, path, flags, mode);
    return static_cast<int>(::syscall(SYS_openat, AT_FDCWD, path, flags, mode));
}
ssize_t write(int fd, const void* data, size_t size) { return Recorder().Wrote(fd, ::syscall(SYS_write, fd, data, size)); }
ssize_t pwrite(int fd, const void* data, size_t size, off_t offset) {
    return Recorder().Wrote(fd, ::syscall(SYS_pwrite64, fd, data, size, offset));
}
ssize_t copy_file_range(int in, off64_t* inOffset, int out, off64_t* outOffset, size_t size, unsigned flags) {
    return Recorder().Wrote(out, ::syscall(SYS_copy_file_range, in, inOffset, out, outOffset, size, flags));
}
int fsync(int fd) { return Flush(fd, SYS_fsync, "fsync"); }
int fdatasync(int fd) { return Flush(fd, SYS_fdatasync, "fdatasync"); }
int syncfs(int fd) { return Flush(fd, SYS_syncfs, "syncfs"); }
int renameat2(int, const char* from, int, const char* to, unsigned flags) {
    return Change("rename", Rename, to, from, SYS_renameat2, from, AT_FDCWD, to, flags);
}
int rename(const char* from, const char* to) { return renameat2(AT_FDCWD, from, AT_FDCWD, to, 0); }
int link(const char* from, const char* to) { return Change("link", Link, to, from, SYS_linkat, from, AT_FDCWD, to, 0); }
int unlink(const char* path) { return Change("unlink", Unlink, path, "", SYS_unlinkat, path, 0); }
int mkdir(const char* path, mode_t mode) { return Change("mkdir", Mkdir, path, "", SYS_mkdirat, path, mode); }

}
