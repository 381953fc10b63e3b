/*
 * Device profile: Quessa Q1
 * Generated from the vendor's device data sheet.
 */
#ifndef KV_PROFILE_H
#define KV_PROFILE_H

#define KV_PROF_CONST_SCREENSIZE_X 128
#define KV_PROF_CONST_COLOURDEPTH 12
#define KV_PROF_CONST_HEAPSIZE 600
#define KV_PROF_CONST_MAXJARSIZE 100

/* Features */
#define KV_PROF_SUPPORT_MIDP2
#define KV_PROF_SUPPORT_SOUND_MIDI

/* Known problems */
#define KV_PROF_BUG_SLOW_FILL

#endif /* KV_PROFILE_H */
