/*
 * Device profile: Quessa Q3
 * Generated from the vendor's device data sheet.
 */
#ifndef KV_PROFILE_H
#define KV_PROFILE_H

#define KV_PROF_CONST_SCREENSIZE_X 128
#define KV_PROF_CONST_SCREENSIZE_Y 160
#define KV_PROF_CONST_COLOURDEPTH 16
#define KV_PROF_CONST_HEAPSIZE 800
#define KV_PROF_CONST_MAXJARSIZE 150

/* Features */
#define KV_PROF_SUPPORT_MIDP2
#define KV_PROF_SUPPORT_CLDC11
#define KV_PROF_SUPPORT_SOUND_MIDI
#define KV_PROF_SUPPORT_VIBRATION

#endif /* KV_PROFILE_H */
