/*
 * stdlib.h - the memory allocation and utility functions of the kit's C
 * runtime, in the default library KVStd.lib (demo installation).
 *
 * malloc and its kin work in one fixed heap of KV_HEAP_SIZE bytes inside the
 * program's data; a request that does not fit gives NULL. There is no exit,
 * atexit, getenv, rand, strtol or atoi: a program ends by returning from
 * main, and the phone has no environment.
 */
#ifndef KV_STDLIB_H
#define KV_STDLIB_H

/* The heap KVStd.lib was built with (1 MiB): a program's own copy of this
   header cannot change it. */
#define KV_HEAP_SIZE (1024 * 1024)

#ifdef __cplusplus
/* As in string.h: C++ takes the host's declarations. */
#include_next <stdlib.h>
#else

#include <stddef.h>

void* malloc(size_t size);
void* calloc(size_t count, size_t size);
void* realloc(void* p, size_t size);
void free(void* p);

int abs(int n);
long labs(long n);

void qsort(void* base, size_t count, size_t size, int (*compare)(const void*, const void*));
void* bsearch(const void* key, const void* base, size_t count, size_t size,
              int (*compare)(const void*, const void*));

#endif /* __cplusplus */

#endif /* KV_STDLIB_H */
