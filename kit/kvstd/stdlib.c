/* abs, labs, qsort and bsearch of the kit's C runtime (stdlib.h); weak, as
 * in string.c. */
#include <stdlib.h>

#define WEAK __attribute__((weak))

WEAK int abs(int n)
{
    return n < 0 ? -n : n;
}

WEAK long labs(long n)
{
    return n < 0 ? -n : n;
}

static void swapBytes(unsigned char* a, unsigned char* b, size_t size)
{
    while (size--) {
        const unsigned char t = *a;
        *a++ = *b;
        *b++ = t;
    }
}

/* Moves the element at root down the heap [0, end) until both children
 * compare below it. */
static void siftDown(unsigned char* base, size_t root, size_t end, size_t size, int (*compare)(const void*, const void*))
{
    for (;;) {
        size_t child = 2 * root + 1;
        if (child >= end)
            return;
        if (child + 1 < end && compare(base + child * size, base + (child + 1) * size) < 0)
            ++child;
        if (compare(base + root * size, base + child * size) >= 0)
            return;
        swapBytes(base + root * size, base + child * size, size);
        root = child;
    }
}

/* Heapsort: no recursion and no allocation, and n log n comparisons whatever
 * the input's order. Like every qsort it is not stable. */
WEAK void qsort(void* base, size_t count, size_t size, int (*compare)(const void*, const void*))
{
    unsigned char* b = base;
    if (count < 2 || size == 0)
        return;
    for (size_t start = count / 2; start-- > 0;)
        siftDown(b, start, count, size, compare);
    for (size_t end = count - 1; end > 0; --end) {
        swapBytes(b, b + end * size, size);
        siftDown(b, 0, end, size, compare);
    }
}

WEAK void* bsearch(const void* key, const void* base, size_t count, size_t size,
                   int (*compare)(const void*, const void*))
{
    const unsigned char* b = base;
    size_t low = 0;
    size_t high = count;
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        const int order = compare(key, b + middle * size);
        if (order == 0)
            return (void*)(b + middle * size);
        if (order < 0)
            high = middle;
        else
            low = middle + 1;
    }
    return NULL;
}
