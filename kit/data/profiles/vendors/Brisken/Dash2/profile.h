/*
 * Device profile: Brisken Dash2
 * Generated from the vendor's device data sheet.
 */
#ifndef KV_PROFILE_H
#define KV_PROFILE_H

#define KV_PROF_CONST_SCREENSIZE_X 176
#define KV_PROF_CONST_SCREENSIZE_Y 220
#define KV_PROF_CONST_COLOURDEPTH 18
#define KV_PROF_CONST_HEAPSIZE 1536
#define KV_PROF_CONST_MAXJARSIZE 300

/* Features */
#define KV_PROF_SUPPORT_MIDP2
#define KV_PROF_SUPPORT_CLDC11
#define KV_PROF_SUPPORT_SOUND_MIDI
#define KV_PROF_SUPPORT_SOUND_WAV
#define KV_PROF_SUPPORT_VIBRATION

#endif /* KV_PROFILE_H */
