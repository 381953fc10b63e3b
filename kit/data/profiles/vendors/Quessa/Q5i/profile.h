/*
 * Device profile: Quessa Q5i
 * Generated from the vendor's device data sheet.
 */
#ifndef KV_PROFILE_H
#define KV_PROFILE_H

#define KV_PROF_CONST_SCREENSIZE_X 176
#define KV_PROF_CONST_SCREENSIZE_Y 208
#define KV_PROF_CONST_COLOURDEPTH 16
#define KV_PROF_CONST_HEAPSIZE 2048
#define KV_PROF_CONST_MAXJARSIZE 250

/* Features */
#define KV_PROF_SUPPORT_MIDP2
#define KV_PROF_SUPPORT_CLDC11
#define KV_PROF_SUPPORT_BLUETOOTH
#define KV_PROF_SUPPORT_CAMERA
#define KV_PROF_SUPPORT_SOUND_MIDI
#define KV_PROF_SUPPORT_SOUND_WAV

#endif /* KV_PROFILE_H */
