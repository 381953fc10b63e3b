/*
 * Device profile: Brisken Orbit
 * Generated from the vendor's device data sheet.
 */
#ifndef KV_PROFILE_H
#define KV_PROFILE_H

#define KV_PROF_CONST_SCREENSIZE_X 240
#define KV_PROF_CONST_SCREENSIZE_Y 320
#define KV_PROF_CONST_COLOURDEPTH 24
#define KV_PROF_CONST_HEAPSIZE 4096
#define KV_PROF_CONST_MAXJARSIZE 1024

/* Features */
#define KV_PROF_SUPPORT_MIDP2
#define KV_PROF_SUPPORT_CLDC11
#define KV_PROF_SUPPORT_BLUETOOTH
#define KV_PROF_SUPPORT_CAMERA
#define KV_PROF_SUPPORT_FILE_ACCESS
#define KV_PROF_SUPPORT_SMS
#define KV_PROF_SUPPORT_3D

#endif /* KV_PROFILE_H */
