/* malloc, calloc, realloc and free of the kit's C runtime, over one fixed
 * heap of KV_HEAP_SIZE bytes in the program's data (zero-filled storage, so
 * it costs the program file nothing).
 *
 * Blocks lie end to end from the start of the heap up to heapTop; above it
 * the heap is untouched. Each block starts with a header: the size of the
 * block before it and its own size, both counting the header. Sizes are
 * multiples of 16, so every payload is aligned for any type. The lowest bit
 * of a size marks the block in use. A freed block is merged at once with
 * free neighbours, and given back to the untouched part when it is the last,
 * so no two free blocks touch and the last block is always in use. */
#include <stdlib.h>

#define WEAK __attribute__((weak))
#define HEAP_ALIGN 16
#define IN_USE ((size_t)1)

typedef struct Header {
    size_t previous; /* 0 for the first block */
    size_t size;
} Header;

static unsigned char heap[KV_HEAP_SIZE] __attribute__((aligned(HEAP_ALIGN)));
static size_t heapTop;
static size_t freeBlocks;

static size_t offsetOf(const Header* h) { return (size_t)((const unsigned char*)h - heap); }
static Header* headerAt(size_t offset) { return (Header*)(void*)(heap + offset); }
static size_t sizeOf(const Header* h) { return h->size & ~IN_USE; }
static int inUse(const Header* h) { return (h->size & IN_USE) != 0; }
static void* payloadOf(Header* h) { return h + 1; }

static Header* nextOf(const Header* h)
{
    const size_t end = offsetOf(h) + sizeOf(h);
    return end < heapTop ? headerAt(end) : NULL;
}

static Header* previousOf(const Header* h)
{
    return h->previous ? headerAt(offsetOf(h) - h->previous) : NULL;
}

/* Tells the block after h (or the header that the next block at the top
 * will get) where h starts. */
static void linkFollowing(const Header* h)
{
    const size_t end = offsetOf(h) + sizeOf(h);
    if (end + sizeof(Header) <= KV_HEAP_SIZE)
        headerAt(end)->previous = sizeOf(h);
}

/* Block size for a request of n bytes; 0 when it can never fit. */
static size_t blockSizeFor(size_t n)
{
    if (n > KV_HEAP_SIZE - sizeof(Header))
        return 0;
    if (n == 0)
        n = 1; /* a distinct pointer for every malloc(0) */
    return ((n + HEAP_ALIGN - 1) & ~(size_t)(HEAP_ALIGN - 1)) + sizeof(Header);
}

/* The header of a pointer that malloc gave and free has not taken back;
 * NULL for anything else that can be told apart cheaply. */
static Header* blockOf(void* p)
{
    const unsigned char* u = p;
    if (u < heap + sizeof(Header) || u >= heap + heapTop || (size_t)(u - heap) % HEAP_ALIGN != 0)
        return NULL;
    Header* h = (Header*)p - 1;
    return inUse(h) ? h : NULL;
}

/* Merges the free block b into a, which lies just before it. */
static void absorb(Header* a, Header* b)
{
    a->size += sizeOf(b);
    --freeBlocks;
    linkFollowing(a);
}

static void release(Header* h)
{
    h->size &= ~IN_USE;
    ++freeBlocks;
    Header* next = nextOf(h);
    if (next && !inUse(next))
        absorb(h, next);
    Header* previous = previousOf(h);
    if (previous && !inUse(previous)) {
        absorb(previous, h);
        h = previous;
    }
    if (offsetOf(h) + sizeOf(h) == heapTop) {
        heapTop = offsetOf(h);
        --freeBlocks;
    }
}

/* Cuts the block in use h down to size bytes and frees the rest, when the
 * rest can be a block of its own. */
static void shrink(Header* h, size_t size)
{
    const size_t whole = sizeOf(h);
    if (whole - size < sizeof(Header) + HEAP_ALIGN)
        return;
    h->size = size | IN_USE;
    Header* rest = headerAt(offsetOf(h) + size);
    rest->previous = size;
    rest->size = (whole - size) | IN_USE;
    linkFollowing(rest);
    if (offsetOf(h) + whole == heapTop) {
        /* h was the last block: the rest goes straight back to the top. */
        heapTop = offsetOf(rest);
        return;
    }
    release(rest);
}

static Header* firstFit(size_t size)
{
    if (freeBlocks == 0)
        return NULL;
    for (Header* h = headerAt(0); h; h = nextOf(h))
        if (!inUse(h) && sizeOf(h) >= size)
            return h;
    return NULL;
}

WEAK void* malloc(size_t n)
{
    const size_t size = blockSizeFor(n);
    if (size == 0)
        return NULL;
    Header* h = firstFit(size);
    if (h) {
        h->size |= IN_USE;
        --freeBlocks;
        shrink(h, size);
        return payloadOf(h);
    }
    if (KV_HEAP_SIZE - heapTop < size)
        return NULL;
    h = headerAt(heapTop);
    /* h->previous was set when the block before it last changed. */
    h->size = size | IN_USE;
    heapTop += size;
    linkFollowing(h);
    return payloadOf(h);
}

WEAK void* calloc(size_t count, size_t size)
{
    if (size != 0 && count > (size_t)-1 / size)
        return NULL;
    unsigned char* p = malloc(count * size);
    if (p)
        for (size_t i = 0; i < count * size; ++i)
            p[i] = 0;
    return p;
}

/* A pointer that malloc did not give (or gave and got back) is ignored where
 * it can be recognised, instead of damaging the heap. */
WEAK void free(void* p)
{
    Header* h = p ? blockOf(p) : NULL;
    if (h)
        release(h);
}

WEAK void* realloc(void* p, size_t n)
{
    if (!p)
        return malloc(n);
    if (n == 0) {
        free(p);
        return NULL;
    }
    Header* h = blockOf(p);
    const size_t size = blockSizeFor(n);
    if (!h || size == 0)
        return NULL;
    Header* next = nextOf(h);
    if (size > sizeOf(h) && next && !inUse(next) && sizeOf(h) + sizeOf(next) >= size) {
        h->size += sizeOf(next);
        --freeBlocks;
        linkFollowing(h);
    } else if (size > sizeOf(h) && !next && KV_HEAP_SIZE - offsetOf(h) >= size) {
        /* The last block grows into the untouched part. */
        h->size = size | IN_USE;
        heapTop = offsetOf(h) + size;
        linkFollowing(h);
    }
    if (size <= sizeOf(h)) {
        shrink(h, size);
        return p;
    }
    unsigned char* q = malloc(n);
    if (!q)
        return NULL;
    const unsigned char* from = p;
    for (size_t i = 0; i < sizeOf(h) - sizeof(Header); ++i)
        q[i] = from[i];
    release(h);
    return q;
}
