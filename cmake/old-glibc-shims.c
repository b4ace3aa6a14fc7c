/* Linked into each Linux model library so that it loads with C libraries as
 * old as glibc 2.17, although it is built against this machine's newer one.
 *
 * The static C++ runtime and libm refer to a few functions whose current
 * version came with a recent glibc. The link redirects those references
 * (-Wl,--wrap=NAME turns a reference to NAME into one to __wrap_NAME, see
 * cmake/OldGlibc.cmake) to the functions below, which call the oldest version
 * of the same function, named with .symver, or stand in for it:
 *
 *   exp, log, pow         2.29 versions only dropped the SVID error
 *                         handling; the 2.2.5 versions compute the same values
 *   pthread_once,         moved from libpthread into the C library in 2.34;
 *   __pthread_key_create  the 2.2.5 versions are the same functions
 *   fstat64               a function of its own since 2.33; before, a call of
 *                         __fxstat64 with the kernel's stat layout version
 *   __libc_single_threaded  (2.32) tells the runtime it may skip atomic
 *                         reference counting; 0 keeps it always atomic
 *   _dl_find_object       (2.35) the unwinder's lookup of the unwind tables
 *                         of the object holding a code address; written here
 *                         on dl_iterate_phdr, which the unwinder used before
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <link.h>
#include <pthread.h>
#include <stddef.h>
#include <stdint.h>
#include <sys/stat.h>

#define OLD_GLIBC_SHIM __attribute__((visibility("hidden")))

/* The oldest version of each function, under a name of its own. */
#define OLDEST_VERSION(local, symbol) __asm__(".symver " #local ", " #symbol "@GLIBC_2.2.5")
double old_glibc_exp(double);
double old_glibc_log(double);
double old_glibc_pow(double, double);
int old_glibc_pthread_once(pthread_once_t*, void (*)(void));
int old_glibc_pthread_key_create(pthread_key_t*, void (*)(void*));
int old_glibc_fxstat64(int, int, struct stat64*);
OLDEST_VERSION(old_glibc_exp, exp);
OLDEST_VERSION(old_glibc_log, log);
OLDEST_VERSION(old_glibc_pow, pow);
OLDEST_VERSION(old_glibc_pthread_once, pthread_once);
OLDEST_VERSION(old_glibc_pthread_key_create, __pthread_key_create);
OLDEST_VERSION(old_glibc_fxstat64, __fxstat64);

OLD_GLIBC_SHIM double __wrap_exp(double x) { return old_glibc_exp(x); }
OLD_GLIBC_SHIM double __wrap_log(double x) { return old_glibc_log(x); }
OLD_GLIBC_SHIM double __wrap_pow(double x, double y) { return old_glibc_pow(x, y); }

OLD_GLIBC_SHIM int __wrap_pthread_once(pthread_once_t* control, void (*routine)(void)) {
    return old_glibc_pthread_once(control, routine);
}

OLD_GLIBC_SHIM int __wrap___pthread_key_create(pthread_key_t* key, void (*destructor)(void*)) {
    return old_glibc_pthread_key_create(key, destructor);
}

/* The stat layout version x86-64 Linux has always had (_STAT_VER_LINUX). */
enum { kStatLayoutVersion = 1 };

OLD_GLIBC_SHIM int __wrap_fstat64(int fd, struct stat64* buffer) {
    return old_glibc_fxstat64(kStatLayoutVersion, fd, buffer);
}

OLD_GLIBC_SHIM char __wrap___libc_single_threaded = 0;

/* What the search below looks for and what it finds. */
struct code_address_search {
    uintptr_t address;
    struct dl_find_object* result;
    int found;
};

static int find_object_holding(struct dl_phdr_info* info, size_t size, void* data) {
    struct code_address_search* search = (struct code_address_search*)data;
    (void)size;
    uintptr_t start = UINTPTR_MAX;
    uintptr_t end = 0;
    int holds = 0;
    const void* unwind_tables = NULL;
    for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)* segment = &info->dlpi_phdr[i];
        const uintptr_t segment_start = info->dlpi_addr + segment->p_vaddr;
        if (segment->p_type == PT_LOAD) {
            const uintptr_t segment_end = segment_start + segment->p_memsz;
            if (search->address >= segment_start && search->address < segment_end) holds = 1;
            if (segment_start < start) start = segment_start;
            if (segment_end > end) end = segment_end;
        } else if (segment->p_type == PT_GNU_EH_FRAME) {
            unwind_tables = (const void*)segment_start;
        }
    }
    if (!holds) return 0;
    search->result->dlfo_flags = 0;
    search->result->dlfo_map_start = (void*)start;
    search->result->dlfo_map_end = (void*)end;
    search->result->dlfo_link_map = NULL;
    search->result->dlfo_eh_frame = (void*)unwind_tables;
    search->found = 1;
    return 1;
}

OLD_GLIBC_SHIM int __wrap__dl_find_object(void* address, struct dl_find_object* result) {
    struct code_address_search search = {(uintptr_t)address, result, 0};
    dl_iterate_phdr(find_object_holding, &search);
    return search.found ? 0 : -1;
}
