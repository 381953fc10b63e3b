/*
 * Device profile: Brisken Nimbus
 * Generated from the vendor's device data sheet.
 */
#ifndef KV_PROFILE_H
#define KV_PROFILE_H

#define KV_PROF_CONST_SCREENSIZE_X 176
#define KV_PROF_CONST_SCREENSIZE_Y 220
#define KV_PROF_CONST_COLOURDEPTH 18
#define KV_PROF_CONST_HEAPSIZE 2048
#define KV_PROF_CONST_MAXJARSIZE 350

/* Features */
#define KV_PROF_SUPPORT_MIDP2
#define KV_PROF_SUPPORT_CLDC11
#define KV_PROF_SUPPORT_BLUETOOTH
#define KV_PROF_SUPPORT_CAMERA
#define KV_PROF_SUPPORT_SOUND_MIDI

/* Known problems */
#define KV_PROF_BUG_SOUND_LAG

#endif /* KV_PROFILE_H */
