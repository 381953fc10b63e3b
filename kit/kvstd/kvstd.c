/* The small helpers that varnel.h declares at its end. */
#include <varnel.h>

int kvStrLen(const char* text)
{
    int n = 0;
    if (!text)
        return 0;
    while (text[n])
        ++n;
    return n;
}

int kvClamp(int value, int low, int high)
{
    if (value < low)
        return low;
    return value > high ? high : value;
}

int kvRectContains(const KVRect* rect, int x, int y)
{
    return x >= rect->x && y >= rect->y && x < rect->x + rect->w && y < rect->y + rect->h;
}
