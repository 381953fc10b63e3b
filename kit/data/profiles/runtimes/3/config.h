/* Varnel runtime 3: build configuration */
#ifndef KV_RUNTIME_CONFIG_H
#define KV_RUNTIME_CONFIG_H

#define KV_RUNTIME_ID 3
#define KV_RUNTIME_MAX_SCREEN_X 240
#define KV_RUNTIME_MAX_SCREEN_Y 320

#endif
