/* Varnel runtime 2: build configuration */
#ifndef KV_RUNTIME_CONFIG_H
#define KV_RUNTIME_CONFIG_H

#define KV_RUNTIME_ID 2
#define KV_RUNTIME_MAX_SCREEN_X 176
#define KV_RUNTIME_MAX_SCREEN_Y 220

#endif
