/* Varnel runtime 1: build configuration */
#ifndef KV_RUNTIME_CONFIG_H
#define KV_RUNTIME_CONFIG_H

#define KV_RUNTIME_ID 1
#define KV_RUNTIME_MAX_SCREEN_X 128
#define KV_RUNTIME_MAX_SCREEN_Y 160

#endif
