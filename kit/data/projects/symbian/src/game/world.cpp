// The world: one player block moving with fixed-point speed on the screen.
#include "world.h"

#include "../util/fixed.h"

#include <varnel.h>

namespace {

class World {
public:
    void init(int width, int height)
    {
        m_width = width;
        m_height = height;
        m_x = fixFromInt(width / 2);
        m_y = fixFromInt(height / 2);
    }

    void step(int keys)
    {
        const Fixed speed = fixFromInt(2);
        if (keys & KV_KEY_LEFT)
            m_x -= speed;
        if (keys & KV_KEY_RIGHT)
            m_x += speed;
        if (keys & KV_KEY_UP)
            m_y -= speed;
        if (keys & KV_KEY_DOWN)
            m_y += speed;
        m_x = fixFromInt(kvClamp(fixToInt(m_x), 0, m_width - kSize));
        m_y = fixFromInt(kvClamp(fixToInt(m_y), 0, m_height - kSize));
    }

    void draw() const
    {
        const KVRect block = {fixToInt(m_x), fixToInt(m_y), kSize, kSize};
        kvFillRect(&block, KV_RGB(240, 200, 40));
    }

private:
    static const int kSize = 12;
    int m_width = 0;
    int m_height = 0;
    Fixed m_x = 0;
    Fixed m_y = 0;
};

World g_world;

} // namespace

void worldInit(int width, int height)
{
    g_world.init(width, height);
}

void worldStep(int keys)
{
    g_world.step(keys);
}

void worldDraw(void)
{
    g_world.draw();
}
