// Live counts of the drawing objects the program has made and not yet released, so that
// a long run can show they level off; another process reads them with one registered message.
#pragma once
#include <windows.h>

#include <gdiplus.h>

enum ResourceKind { RESOURCE_GDI, RESOURCE_GDIPLUS, RESOURCE_USER, RESOURCE_KINDS };

// Name of the message the main window answers with packed_resource_counts().
#define RESOURCE_COUNTS_MESSAGE_NAME "Kestrix.ResourceCounts"
// The answer: GDI objects in bits 0-15, GDI+ objects in 16-31, USER objects in 32-47,
// RESOURCE_COUNTS_MARK in 48-63 (a window that does not know the message answers 0).
enum { RESOURCE_COUNTS_MARK = 0x4B58 };

// One object of that kind made, or released; live_count is how many are held now.
void count_made(ResourceKind kind);
void count_released(ResourceKind kind);
int live_count(ResourceKind kind);

// Counts one GDI+ object when the call that makes it succeeded; returns the call's status.
Gdiplus::GpStatus gdiplus_made(Gdiplus::GpStatus status);
// Counts one GDI+ object gone when the call that releases it succeeded; returns the call's status.
Gdiplus::GpStatus gdiplus_released(Gdiplus::GpStatus status);

// The number of RESOURCE_COUNTS_MESSAGE_NAME, registered at the first call.
UINT resource_counts_message();
// The three counts, each held to 0..0xFFFF, with the mark.
LRESULT packed_resource_counts();
