/* Preloaded into kzr by the CLI tests: every open of a path that ends in
 * $KZR_TEST_SWAP_FROM after the first opens $KZR_TEST_SWAP_TO instead. So
 * the first job's handle sees one archive and every later one another, as
 * when the archive is replaced while the jobs open it. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdatomic.h>
#include <stdlib.h>
#include <string.h>

static const char* Swapped(const char* path) {
  static atomic_int opens;
  const char* from = getenv("KZR_TEST_SWAP_FROM");
  const char* to = getenv("KZR_TEST_SWAP_TO");
  if (path == NULL || from == NULL || to == NULL) return path;
  const size_t length = strlen(path), suffix = strlen(from);
  if (length < suffix || strcmp(path + length - suffix, from) != 0) return path;
  return atomic_fetch_add(&opens, 1) == 0 ? path : to;
}

typedef int (*OpenFn)(const char*, int, ...);

int open(const char* path, int flags, ...) {
  const OpenFn next = (OpenFn)dlsym(RTLD_NEXT, "open");
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(arguments, mode_t) : 0;
  va_end(arguments);
  return next(Swapped(path), flags, mode);
}

/* Where the large-file name is used, it reaches the same open. */
int open64(const char* path, int flags, ...) __attribute__((alias("open")));
