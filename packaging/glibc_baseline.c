// Lets kzr and kzr.wcx, built against a current C library, load on one as old
// as 2.31. A program linked against the current library asks for the newest
// version of every function it calls, even where the function itself is
// decades old; newer versions were added when functions moved between the
// library's parts or changed their calling form. The linker sends each such
// call here (-Wl,--wrap=NAME, see GlibcBaseline.cmake), and from here it goes
// to the symbol's oldest version, which every later library keeps. The C++
// runtime is linked in statically, so its calls come here too.
//
// Compiled with -ffunction-sections and linked with --gc-sections: a wrapper
// that nothing calls leaves no trace in the binary.
#include <pthread.h>
#include <signal.h>
#include <stddef.h>
#include <sys/stat.h>
#include <time.h>

#define OLDEST(name, version) __asm__(".symver " #name "_oldest, " #name "@" version)

// --- stat and friends: before 2.33 they were inline calls of __xstat and its
// siblings, whose first argument names the layout of struct stat.
enum { kStatLayout = 1 };  // _STAT_VER_LINUX on x86-64

int __xstat_oldest(int layout, const char* path, struct stat* info);
int __lxstat_oldest(int layout, const char* path, struct stat* info);
int __fxstat_oldest(int layout, int fd, struct stat* info);
int __fxstatat_oldest(int layout, int dir_fd, const char* path, struct stat* info, int flags);
OLDEST(__xstat, "GLIBC_2.2.5");
OLDEST(__lxstat, "GLIBC_2.2.5");
OLDEST(__fxstat, "GLIBC_2.2.5");
OLDEST(__fxstatat, "GLIBC_2.4");

int __wrap_stat(const char* path, struct stat* info) { return __xstat_oldest(kStatLayout, path, info); }
int __wrap_stat64(const char* path, struct stat* info) { return __xstat_oldest(kStatLayout, path, info); }
int __wrap_lstat(const char* path, struct stat* info) { return __lxstat_oldest(kStatLayout, path, info); }
int __wrap_lstat64(const char* path, struct stat* info) { return __lxstat_oldest(kStatLayout, path, info); }
int __wrap_fstat(int fd, struct stat* info) { return __fxstat_oldest(kStatLayout, fd, info); }
int __wrap_fstat64(int fd, struct stat* info) { return __fxstat_oldest(kStatLayout, fd, info); }
int __wrap_fstatat(int dir_fd, const char* path, struct stat* info, int flags) {
  return __fxstatat_oldest(kStatLayout, dir_fd, path, info, flags);
}
int __wrap_fstatat64(int dir_fd, const char* path, struct stat* info, int flags) {
  return __fxstatat_oldest(kStatLayout, dir_fd, path, info, flags);
}

// --- threads: libpthread.so.0 before 2.34 (so the binaries name it as needed).
int pthread_create_oldest(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
int pthread_join_oldest(pthread_t, void**);
int pthread_detach_oldest(pthread_t);
int pthread_once_oldest(pthread_once_t*, void (*)(void));
int pthread_key_create_oldest(pthread_key_t*, void (*)(void*));
int __pthread_key_create_oldest(pthread_key_t*, void (*)(void*));
int pthread_key_delete_oldest(pthread_key_t);
void* pthread_getspecific_oldest(pthread_key_t);
int pthread_setspecific_oldest(pthread_key_t, const void*);
int pthread_sigmask_oldest(int, const sigset_t*, sigset_t*);
int pthread_cond_clockwait_oldest(pthread_cond_t*, pthread_mutex_t*, clockid_t, const struct timespec*);
int pthread_mutex_clocklock_oldest(pthread_mutex_t*, clockid_t, const struct timespec*);
OLDEST(pthread_create, "GLIBC_2.2.5");
OLDEST(pthread_join, "GLIBC_2.2.5");
OLDEST(pthread_detach, "GLIBC_2.2.5");
OLDEST(pthread_once, "GLIBC_2.2.5");
OLDEST(pthread_key_create, "GLIBC_2.2.5");
OLDEST(__pthread_key_create, "GLIBC_2.2.5");
OLDEST(pthread_key_delete, "GLIBC_2.2.5");
OLDEST(pthread_getspecific, "GLIBC_2.2.5");
OLDEST(pthread_setspecific, "GLIBC_2.2.5");
OLDEST(pthread_sigmask, "GLIBC_2.2.5");
OLDEST(pthread_cond_clockwait, "GLIBC_2.30");
OLDEST(pthread_mutex_clocklock, "GLIBC_2.30");

int __wrap_pthread_create(pthread_t* thread, const pthread_attr_t* attributes,
                          void* (*start)(void*), void* argument) {
  return pthread_create_oldest(thread, attributes, start, argument);
}
int __wrap_pthread_join(pthread_t thread, void** result) { return pthread_join_oldest(thread, result); }
int __wrap_pthread_detach(pthread_t thread) { return pthread_detach_oldest(thread); }
int __wrap_pthread_once(pthread_once_t* once, void (*routine)(void)) {
  return pthread_once_oldest(once, routine);
}
int __wrap_pthread_key_create(pthread_key_t* key, void (*destructor)(void*)) {
  return pthread_key_create_oldest(key, destructor);
}
int __wrap___pthread_key_create(pthread_key_t* key, void (*destructor)(void*)) {
  return __pthread_key_create_oldest(key, destructor);
}
int __wrap_pthread_key_delete(pthread_key_t key) { return pthread_key_delete_oldest(key); }
void* __wrap_pthread_getspecific(pthread_key_t key) { return pthread_getspecific_oldest(key); }
int __wrap_pthread_setspecific(pthread_key_t key, const void* value) {
  return pthread_setspecific_oldest(key, value);
}
int __wrap_pthread_sigmask(int how, const sigset_t* set, sigset_t* old) {
  return pthread_sigmask_oldest(how, set, old);
}
int __wrap_pthread_cond_clockwait(pthread_cond_t* condition, pthread_mutex_t* mutex, clockid_t clock,
                                  const struct timespec* until) {
  return pthread_cond_clockwait_oldest(condition, mutex, clock, until);
}
int __wrap_pthread_mutex_clocklock(pthread_mutex_t* mutex, clockid_t clock, const struct timespec* until) {
  return pthread_mutex_clocklock_oldest(mutex, clock, until);
}

// --- loading modules (kzr --plugin): libdl.so.2 before 2.34.
void* dlopen_oldest(const char*, int);
void* dlsym_oldest(void*, const char*);
char* dlerror_oldest(void);
int dlclose_oldest(void*);
OLDEST(dlopen, "GLIBC_2.2.5");
OLDEST(dlsym, "GLIBC_2.2.5");
OLDEST(dlerror, "GLIBC_2.2.5");
OLDEST(dlclose, "GLIBC_2.2.5");

void* __wrap_dlopen(const char* file, int mode) { return dlopen_oldest(file, mode); }
void* __wrap_dlsym(void* module, const char* name) { return dlsym_oldest(module, name); }
char* __wrap_dlerror(void) { return dlerror_oldest(); }
int __wrap_dlclose(void* module) { return dlclose_oldest(module); }

// --- the C++ runtime's "is the process single-threaded?" flag (2.32). The
// runtime reads it to skip atomic reference counting; ours answers "no", so
// the counting is always atomic, which is always correct.
__attribute__((visibility("hidden"))) char __libc_single_threaded = 0;

// --- program start (kzr only). Since 2.34 the start code passes no
// initialisation function and the library runs the program's constructors
// itself; the oldest entry point expects the program to pass one. This one
// runs what the older start code ran: _init, then the constructor array
// (the dynamic loader runs the pre-init array). Libraries of either age call
// a function that is passed, so the constructors run once on both.
typedef int MainFunction(int, char**, char**);
int __libc_start_main_oldest(MainFunction* main, int argc, char** argv,
                             void (*init)(int, char**, char**), void (*fini)(void),
                             void (*loader_fini)(void), void* stack_end);
OLDEST(__libc_start_main, "GLIBC_2.2.5");

extern void _init(void);
extern void (*__init_array_start[])(int, char**, char**) __attribute__((visibility("hidden")));
extern void (*__init_array_end[])(int, char**, char**) __attribute__((visibility("hidden")));

static void RunConstructors(int argc, char** argv, char** environment) {
  _init();
  const size_t count = (size_t)(__init_array_end - __init_array_start);
  for (size_t i = 0; i < count; ++i) __init_array_start[i](argc, argv, environment);
}

int __wrap___libc_start_main(MainFunction* main, int argc, char** argv,
                             void (*init)(int, char**, char**), void (*fini)(void),
                             void (*loader_fini)(void), void* stack_end) {
  (void)init;
  (void)fini;
  return __libc_start_main_oldest(main, argc, argv, RunConstructors, 0, loader_fini, stack_end);
}
