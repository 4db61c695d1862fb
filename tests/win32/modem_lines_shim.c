/* LD_PRELOAD shim for running the Win32 serial test under Wine on a pty.
 *
 * A pty has no modem lines, so TIOCMGET fails on it, and Wine then ends
 * every pending WaitCommEvent with an error. This answers TIOCMGET on pty
 * slaves as a cable with CTS, DSR and DCD up would; every other ioctl, and
 * TIOCMGET on anything else, goes to libc unchanged. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <stddef.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

typedef int (*IoctlFn)(int, unsigned long, void*);

/* Unix98 pty slaves have the character-device majors 136..143. */
static int isPtySlave(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return 0;
    return major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
}

int ioctl(int fd, unsigned long request, ...) {
    /* Looked up once; threads racing here store the same value. */
    static IoctlFn cached;
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    IoctlFn realIoctl = __atomic_load_n(&cached, __ATOMIC_ACQUIRE);
    if (realIoctl == NULL) {
        realIoctl = (IoctlFn)dlsym(RTLD_NEXT, "ioctl");
        if (realIoctl == NULL) {
            errno = ENOSYS;
            return -1;
        }
        __atomic_store_n(&cached, realIoctl, __ATOMIC_RELEASE);
    }
    const int saved = errno;
    const int rc = realIoctl(fd, request, arg);
    if (rc == -1 && request == TIOCMGET && arg != NULL && isPtySlave(fd)) {
        *(int*)arg = TIOCM_CTS | TIOCM_DSR | TIOCM_CAR;
        errno = saved;
        return 0;
    }
    return rc;
}
