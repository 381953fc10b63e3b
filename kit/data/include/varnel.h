/*
 * varnel.h - the C interface of the Varnel kit (demo installation).
 *
 * A program written against this header runs on every phone the kit
 * supports: the kit's runtime provides the screen, keys, clock and resource
 * functions; the small helpers at the end come from the default library
 * KVStd.lib in lib/pipe.
 */
#ifndef VARNEL_H
#define VARNEL_H

#ifdef __cplusplus
extern "C" {
#endif

#define VARNEL_API_VERSION 3

/* A colour as 0xRRGGBB. */
typedef unsigned int KVColor;
#define KV_RGB(r, g, b) ((KVColor)((((r) & 0xff) << 16) | (((g) & 0xff) << 8) | ((b) & 0xff)))

typedef struct KVRect {
    int x, y, w, h;
} KVRect;

/* Key bits returned by kvReadKeys(). */
enum {
    KV_KEY_UP = 1 << 0,
    KV_KEY_DOWN = 1 << 1,
    KV_KEY_LEFT = 1 << 2,
    KV_KEY_RIGHT = 1 << 3,
    KV_KEY_FIRE = 1 << 4,
    KV_KEY_SOFT1 = 1 << 5,
    KV_KEY_SOFT2 = 1 << 6
};

/* Screen. The size is the device's (or the emulator's -resolution). */
int kvScreenWidth(void);
int kvScreenHeight(void);
void kvFillRect(const KVRect* rect, KVColor color);
void kvDrawText(int x, int y, const char* text, KVColor color);
/* Shows what was drawn since the last call. */
void kvFlip(void);

/* Input and time. */
int kvReadKeys(void);
int kvTimeMillis(void);
/* Gives the phone time to breathe; returns 0 when the program should end. */
int kvYield(void);

/* Resources: the files named in the project's resource lists, in list
   order. Copies up to `size` bytes of resource `index` into `buffer` and
   returns the resource's full size, or -1 for an unknown index. */
int kvResourceCount(void);
int kvLoadResource(int index, void* buffer, int size);

/* KVStd.lib helpers. */
int kvStrLen(const char* text);
int kvClamp(int value, int low, int high);
int kvRectContains(const KVRect* rect, int x, int y);

#ifdef __cplusplus
}
#endif

#endif /* VARNEL_H */
