/* The game world, written in C++ and called from C. */
#ifndef DEMO_WORLD_H
#define DEMO_WORLD_H

#ifdef __cplusplus
extern "C" {
#endif

void worldInit(int width, int height);
void worldStep(int keys);
void worldDraw(void);

#ifdef __cplusplus
}
#endif

#endif
