/* Demo game: a block that walks over a small map. */
#include <varnel.h>

#include "game/world.h"
#include "util/fixed.h"

static const KVColor kBackground = KV_RGB(16, 24, 48);

int main(void)
{
    KVRect screen;
    int frames = 0;

    screen.x = 0;
    screen.y = 0;
    screen.w = kvScreenWidth();
    screen.h = kvScreenHeight();

    worldInit(screen.w, screen.h);
    while (kvYield()) {
        worldStep(kvReadKeys());
        kvFillRect(&screen, kBackground);
        worldDraw();
        kvDrawText(4, 4, "Varnel demo", KV_RGB(255, 255, 255));
        kvFlip();
        ++frames;
    }
    return frames > 0 ? 0 : 1;
}
