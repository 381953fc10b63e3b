/* The memory and string functions of the kit's C runtime (string.h).
 *
 * Every definition is weak: a program that brings its own memcpy or strlen
 * (as programs had to before the kit had these) keeps it, and the rest still
 * links. Built with -fno-builtin and -fno-tree-loop-distribute-patterns, so
 * the compiler cannot turn these loops back into calls of themselves. */
#include <string.h>

#define WEAK __attribute__((weak))

WEAK void* memcpy(void* restrict dst, const void* restrict src, size_t n)
{
    unsigned char* d = dst;
    const unsigned char* s = src;
    while (n--)
        *d++ = *s++;
    return dst;
}

WEAK void* memmove(void* dst, const void* src, size_t n)
{
    unsigned char* d = dst;
    const unsigned char* s = src;
    if ((__UINTPTR_TYPE__)d <= (__UINTPTR_TYPE__)s) {
        while (n--)
            *d++ = *s++;
    } else {
        while (n--)
            d[n] = s[n];
    }
    return dst;
}

WEAK void* memset(void* dst, int c, size_t n)
{
    unsigned char* d = dst;
    while (n--)
        *d++ = (unsigned char)c;
    return dst;
}

WEAK int memcmp(const void* a, const void* b, size_t n)
{
    const unsigned char* p = a;
    const unsigned char* q = b;
    for (; n; --n, ++p, ++q)
        if (*p != *q)
            return *p < *q ? -1 : 1;
    return 0;
}

WEAK void* memchr(const void* s, int c, size_t n)
{
    const unsigned char* p = s;
    for (; n; --n, ++p)
        if (*p == (unsigned char)c)
            return (void*)p;
    return NULL;
}

WEAK size_t strlen(const char* s)
{
    const char* p = s;
    while (*p)
        ++p;
    return (size_t)(p - s);
}

WEAK int strcmp(const char* a, const char* b)
{
    const unsigned char* p = (const unsigned char*)a;
    const unsigned char* q = (const unsigned char*)b;
    while (*p && *p == *q)
        ++p, ++q;
    return *p == *q ? 0 : (*p < *q ? -1 : 1);
}

WEAK int strncmp(const char* a, const char* b, size_t n)
{
    const unsigned char* p = (const unsigned char*)a;
    const unsigned char* q = (const unsigned char*)b;
    for (; n; --n, ++p, ++q) {
        if (*p != *q)
            return *p < *q ? -1 : 1;
        if (!*p)
            break;
    }
    return 0;
}

WEAK char* strcpy(char* restrict dst, const char* restrict src)
{
    char* d = dst;
    while ((*d++ = *src++))
        ;
    return dst;
}

/* Pads with NULs up to n, and leaves dst unterminated when src is longer. */
WEAK char* strncpy(char* restrict dst, const char* restrict src, size_t n)
{
    size_t i = 0;
    for (; i < n && src[i]; ++i)
        dst[i] = src[i];
    for (; i < n; ++i)
        dst[i] = '\0';
    return dst;
}

/* The terminating NUL counts as part of the string: strchr(s, 0) finds it. */
WEAK char* strchr(const char* s, int c)
{
    for (;; ++s) {
        if (*s == (char)c)
            return (char*)s;
        if (!*s)
            return NULL;
    }
}

WEAK char* strrchr(const char* s, int c)
{
    const char* found = NULL;
    for (;; ++s) {
        if (*s == (char)c)
            found = s;
        if (!*s)
            return (char*)found;
    }
}

WEAK char* strstr(const char* haystack, const char* needle)
{
    if (!*needle)
        return (char*)haystack;
    for (; *haystack; ++haystack) {
        size_t i = 0;
        while (needle[i] && haystack[i] == needle[i])
            ++i;
        if (!needle[i])
            return (char*)haystack;
    }
    return NULL;
}
