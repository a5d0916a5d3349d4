// Forced first into every unit of the strict POSIX build check. GCC's standard library is
// configured on Linux for the GNU C library's extensions (clock-based waits, the futex
// system call) and declares them only under _GNU_SOURCE; the check leaves _GNU_SOURCE out,
// so the library is told here to do without them. Nothing of the plug-in's own is changed.
#pragma once
#include <bits/c++config.h>
#undef _GLIBCXX_USE_PTHREAD_COND_CLOCKWAIT
#undef _GLIBCXX_USE_PTHREAD_MUTEX_CLOCKLOCK
#undef _GLIBCXX_USE_PTHREAD_RWLOCK_CLOCKLOCK
#undef _GLIBCXX_HAVE_LINUX_FUTEX
