/*
 * string.h - the memory and string functions of the kit's C runtime, in the
 * default library KVStd.lib (demo installation).
 *
 * These are all there is: no strcat, strdup, strtok, strerror or locale
 * functions. C code that calls anything else is warned about when compiled
 * and is refused by lintel with the name it misses.
 */
#ifndef KV_STRING_H
#define KV_STRING_H

#ifdef __cplusplus
/* The C++ library's <cstring> names the host's whole string.h, so C++ sources
   take the host's declarations; what links is still only what is below. */
#include_next <string.h>
#else

#include <stddef.h>

void* memcpy(void* restrict dst, const void* restrict src, size_t n);
void* memmove(void* dst, const void* src, size_t n);
void* memset(void* dst, int c, size_t n);
int memcmp(const void* a, const void* b, size_t n);
void* memchr(const void* s, int c, size_t n);

size_t strlen(const char* s);
int strcmp(const char* a, const char* b);
int strncmp(const char* a, const char* b, size_t n);
char* strcpy(char* restrict dst, const char* restrict src);
char* strncpy(char* restrict dst, const char* restrict src, size_t n);
char* strchr(const char* s, int c);
char* strrchr(const char* s, int c);
char* strstr(const char* haystack, const char* needle);

#endif /* __cplusplus */

#endif /* KV_STRING_H */
