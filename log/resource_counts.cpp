#include "log/resource_counts.h"

static int live[RESOURCE_KINDS];

void count_made(ResourceKind kind)
{
    live[kind]++;
}

void count_released(ResourceKind kind)
{
    live[kind]--;
}

int live_count(ResourceKind kind)
{
    return live[kind];
}

Gdiplus::GpStatus gdiplus_made(Gdiplus::GpStatus status)
{
    if (status == Gdiplus::Ok)
        count_made(RESOURCE_GDIPLUS);
    return status;
}

Gdiplus::GpStatus gdiplus_released(Gdiplus::GpStatus status)
{
    if (status == Gdiplus::Ok)
        count_released(RESOURCE_GDIPLUS);
    return status;
}

UINT resource_counts_message()
{
    static const UINT message = RegisterWindowMessageA(RESOURCE_COUNTS_MESSAGE_NAME);
    return message;
}

// A count below zero would mean a release without its make; it shows as 0xFFFF, not as a small number.
static ULONG64 field(int count)
{
    return count < 0 || count > 0xFFFF ? 0xFFFF : (ULONG64)count;
}

static_assert(sizeof(LRESULT) == 8, "the answer packs four 16-bit fields");

LRESULT packed_resource_counts()
{
    ULONG64 packed = field(live[RESOURCE_GDI]) | field(live[RESOURCE_GDIPLUS]) << 16 |
                     field(live[RESOURCE_USER]) << 32 | (ULONG64)RESOURCE_COUNTS_MARK << 48;
    return (LRESULT)packed;
}
