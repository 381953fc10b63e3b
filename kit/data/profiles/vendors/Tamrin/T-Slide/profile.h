/*
 * Device profile: Tamrin T-Slide
 * Generated from the vendor's device data sheet.
 */
#ifndef KV_PROFILE_H
#define KV_PROFILE_H

#define KV_PROF_CONST_SCREENSIZE_X 240
#define KV_PROF_CONST_SCREENSIZE_Y 320
#define KV_PROF_CONST_COLOURDEPTH 18
#define KV_PROF_CONST_HEAPSIZE 3072
#define KV_PROF_CONST_MAXJARSIZE 800

/* Features */
#define KV_PROF_SUPPORT_MIDP2
#define KV_PROF_SUPPORT_CLDC11
#define KV_PROF_SUPPORT_BLUETOOTH
#define KV_PROF_SUPPORT_CAMERA
#define KV_PROF_SUPPORT_VIBRATION
#define KV_PROF_SUPPORT_SOUND_WAV
#define KV_PROF_SUPPORT_FILE_ACCESS

#endif /* KV_PROFILE_H */
