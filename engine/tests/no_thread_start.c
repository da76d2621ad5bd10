/* Preloaded into a process, stands in for pthread_create and refuses every thread, as a
 * process or memory limit does. When the process ends it says on standard error how many
 * threads it refused. */
#include <errno.h>
#include <pthread.h>
#include <stdio.h>
#include <unistd.h>

static int refused;

int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*body)(void*),
                   void* argument) {
    (void)thread;
    (void)attributes;
    (void)body;
    (void)argument;
    __atomic_add_fetch(&refused, 1, __ATOMIC_RELAXED);
    return EAGAIN;
}

__attribute__((destructor)) static void report(void) {
    char line[64];
    const int n = snprintf(line, sizeof line, "threads refused: %d\n", refused);
    if (n > 0 && write(2, line, (size_t)n) < 0) return;
}
